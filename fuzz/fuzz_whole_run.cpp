// Any bytes as a model file, run through the whole program as a user would
// run it: read, checked, analysed, solved and every output written. Whatever
// model the checks let through must be analysed and written without a
// crash, a hang or a read out of bounds. Beyond that:
//   - the exit status is 0, 1 or 3 (never 2: the command line is sound);
//   - a run that ends with 1 leaves no file beside the model, and one that
//     ends with 0 or 3 leaves the result file and every file asked for.
// Every other input asks for every output file, at a point and along a line
// inside the unit square, and every fourth one orders by nested dissection.
// A nonlinear model of more than 50 load steps is left out: it would only
// spend the fuzzer's time on as many solves as it asks for.
// A failed check stops the run with a trap, which libFuzzer reports. Run
// with -close_fd_mask=3: the program's console and messages are not wanted.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "driver/load_model.hpp"
#include "driver/run.hpp"
#include "fuzz/fuzz_checks.hpp"
#include "model/input_error.hpp"
#include "parallel/task_pool.hpp"
#include "support/test_support.hpp"

namespace {

using quorix::fuzz::require;

bool too_many_steps(std::string_view text) {
  static const quorix::ElementTables tables = quorix::init_element_tables();
  quorix::Model model;
  quorix::AnalysisSettings settings;
  try {
    quorix::load_model(text, "fuzz.dat", tables, model, settings, quorix::shared_task_pool());
  } catch (const quorix::InputError&) {
    return false;  // the run refuses it too
  }
  return settings.analysis_type == "NONLINEAR" && settings.load_increments > 50;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (too_many_steps(std::string_view(reinterpret_cast<const char*>(data), size))) return 0;
  static int round = 0;
  ++round;
  // A folder of its own for the model and its outputs, removed at the end.
  static const quorix::testing::ScratchDir folder;
  for (const std::string& name : folder.entries()) std::filesystem::remove(folder / name);
  const std::string model = (folder / "m.dat").string();
  std::ofstream(model, std::ios::binary)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

  std::vector<std::string> args = {"quorix"};
  const bool every_output = round % 2 == 1;
  if (every_output)
    args.insert(args.end(),
                {"--report", "--csv", "--vtu", "--svg", "--sizes", "--at", "0.5,0.5", "--line", "0,0,1,1,7"});
  if (round % 4 == 3) args.insert(args.end(), {"--ordering", "nested"});
  args.push_back(model);
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const int status = quorix::run_program(static_cast<int>(args.size()), argv.data());

  require(status == 0 || status == 1 || status == 3);
  if (status == 1) {
    require(folder.entries() == std::vector<std::string>{"m.dat"});
  } else {
    const auto written = [&](const char* extension) {
      return std::filesystem::is_regular_file(model + extension);
    };
    require(written(".out"));
    if (every_output)
      for (const char* extension : {".report", ".csv", ".vtu", ".svg", ".line.csv"})
        require(written(extension));
  }
  return 0;
}
