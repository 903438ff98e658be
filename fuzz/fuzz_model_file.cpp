// Any bytes as a model file: the reader and the model checks must either
// accept them or reject them with an InputError, never crash, hang or read
// out of bounds. Beyond that, both outcomes are checked for what the rest of
// the program relies on:
//   - a rejection is at most kMaxListedProblems + 1 lines, each "fuzz.dat:N: ..."
//     with N a line of the file (or the closing "fuzz.dat: K more problems not
//     listed"), and holds no control or non-ASCII bytes, which the messages
//     escape;
//   - an accepted model has node k numbered k, every reference inside its
//     table, and a global system of two equations per node.
// A failed check stops the run with a trap, which libFuzzer reports.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "driver/load_model.hpp"
#include "fuzz/fuzz_checks.hpp"
#include "model/input_error.hpp"
#include "model/input_reader.hpp"
#include "model/model_check.hpp"
#include "parallel/task_pool.hpp"

namespace {

constexpr std::string_view kName = "fuzz.dat";

using quorix::fuzz::require;

bool all_digits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

void check_message(std::string_view message, int line_count) {
  require(!message.empty());
  int lines = 0;
  while (!message.empty()) {
    const std::size_t end = message.find('\n');
    const std::string_view line = message.substr(0, end);
    message = end == std::string_view::npos ? std::string_view() : message.substr(end + 1);
    ++lines;
    for (char c : line) require(c >= 0x20 && c < 0x7F);
    require(line.substr(0, kName.size() + 1) == "fuzz.dat:");
    const std::string_view rest = line.substr(kName.size() + 1);
    if (rest.substr(0, 1) == " ") {  // the count of unlisted problems, always last
      require(message.empty() && lines == quorix::kMaxListedProblems + 1);
      continue;
    }
    const std::size_t colon = rest.find(": ");
    require(colon != std::string_view::npos && all_digits(rest.substr(0, colon)) && colon <= 10);
    const long number = std::stol(std::string(rest.substr(0, colon)));
    require(number >= 1 && number <= (line_count > 0 ? line_count : 1));
    require(rest.size() > colon + 2);  // something is said
  }
  require(lines <= quorix::kMaxListedProblems + 1);
}

void check_model(const quorix::Model& model, const quorix::AnalysisSettings& settings) {
  require(settings.analysis_type == "LINEAR" || settings.analysis_type == "NONLINEAR");
  quorix::fuzz::require_sound_references(model);
  const int nodes = model.nodes.size();
  require(model.rhs.size64() == 2 * static_cast<std::int64_t>(nodes));
  require(model.solution.size64() == model.rhs.size64());
  require(model.matrix.order == 2 * nodes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const quorix::ElementTables tables = quorix::init_element_tables();
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  quorix::Model model;
  quorix::AnalysisSettings settings;
  quorix::TaskPool& pool = quorix::shared_task_pool();
  try {
    quorix::load_model(text, std::string(kName), tables, model, settings, pool);
  } catch (const quorix::InputError& error) {
    check_message(error.what(), quorix::InputLines(text, pool).count());
    return 0;
  }
  check_model(model, settings);
  return 0;
}
