#pragma once

namespace quorix {

// The whole run for the command line "quorix [OPTIONS] FILE": read the model
// from FILE, analyse it, write the result file FILE.out and the files the
// options ask for. Returns the process exit status:
//   0 success;
//   1 missing or unreadable input, a read error, a model that fails its tests
//     (including an unknown analysis type), a result file that cannot be
//     written, or no memory left;
//   2 not exactly one file name, or an unknown option;
//   3 results written but not to be trusted (the solver failed or found the
//     matrix singular, or the iterations diverged).
// Console lines go to standard output, error lines to standard error.
int run_program(int argc, char** argv);

}  // namespace quorix
