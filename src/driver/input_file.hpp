#pragma once
// Reading a whole input file into memory, as both programs do before they
// parse it.

#include <string>

namespace quorix {

// The whole content of the file. On failure returns false and sets `error`
// to the reason.
bool read_whole_file(const std::string& name, std::string& text, std::string& error);

}  // namespace quorix
