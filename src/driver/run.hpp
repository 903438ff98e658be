#pragma once

namespace quorix {

// The whole run for the command line: read the model, analyse it, write the
// result file. Returns the process exit status:
//   0 success; 1 missing or unreadable input, invalid model, unknown analysis
//   type, result file not writable, out of memory; 2 wrong argument count;
//   3 results written but not to be trusted (solver failure, singular matrix,
//   diverged iterations).
int run_program(int argc, char** argv);

}  // namespace quorix
