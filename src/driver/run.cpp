#include "driver/run.hpp"

namespace quorix {

int run_program(int, char**) { return 1; }

}  // namespace quorix
