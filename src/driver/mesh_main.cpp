// quorix-mesh: turns a Gmsh mesh and conditions given by physical group name
// into a model file for quorix (quorix-mesh --help).

#include "driver/mesh_run.hpp"

int main(int argc, char** argv) { return quorix::run_mesh_program(argc, argv); }
