#pragma once
// quorix-mesh from its command line to its exit status:
//   0 model file written; 1 a mesh, a condition or a file that cannot be used
//   (nothing is written); 2 a command line that cannot be read.

namespace quorix {

int run_mesh_program(int argc, char** argv);

}  // namespace quorix
