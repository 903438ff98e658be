#pragma once
#include <stdexcept>

namespace quorix {

// An input file that cannot be used as it stands. The text is one line for a
// person: "FILE:LINE: expected ..., found '...'".
class InputError : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

}  // namespace quorix
