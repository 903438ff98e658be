#include "support/test_support.hpp"

#include <cstdlib>

namespace quorix::testing {

std::string quorix_executable() {
  const char* exe = std::getenv("QUORIX_EXE");
  return exe ? exe : "quorix";
}

std::string source_dir() {
  const char* dir = std::getenv("QUORIX_SOURCE");
  return dir ? dir : ".";
}

}  // namespace quorix::testing
