// Any bytes as a model file: the reader and the model checks must either
// accept them or reject them with an InputError, never crash, hang or read
// out of bounds.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "driver/load_model.hpp"
#include "model/input_error.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const quorix::ElementTables tables = quorix::init_element_tables();
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  quorix::Model model;
  quorix::AnalysisSettings settings;
  try {
    quorix::load_model(text, "fuzz.dat", tables, model, settings);
  } catch (const quorix::InputError& error) {
    const std::string_view message = error.what();
    // Every rejection names the file.
    if (message.substr(0, 9) != "fuzz.dat:") __builtin_trap();
  }
  return 0;
}
