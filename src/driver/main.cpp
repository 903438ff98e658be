#include "driver/run.hpp"

int main(int argc, char** argv) { return quorix::run_program(argc, argv); }
