#pragma once
// Helpers shared by the tests.

#include <string>

namespace quorix::testing {

// The built program and the source tree, from the test environment.
std::string quorix_executable();
std::string source_dir();

}  // namespace quorix::testing
