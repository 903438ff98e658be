#include "driver/load_model.hpp"

#include "element/element_check.hpp"
#include "model/input_error.hpp"
#include "model/model_check.hpp"

namespace quorix {

namespace {

[[noreturn]] void throw_problems(const std::vector<std::string>& problems) {
  std::string text;
  for (const std::string& line : problems) text += (text.empty() ? "" : "\n") + line;
  throw InputError(text);
}

}  // namespace

SourceLines load_model(std::string_view text, const std::string& file_name, const ElementTables& tables,
                       Model& model, AnalysisSettings& settings, TaskPool& pool) {
  const SourceLines source = read_input_text(text, file_name, model, settings, pool);
  if (const auto problems = check_model(model, settings, source, file_name); !problems.empty())
    throw_problems(problems);
  // Only now are the element references known to lie within their tables.
  if (const auto problems = check_element_geometry(model, tables, source, file_name); !problems.empty())
    throw_problems(problems);
  return source;
}

}  // namespace quorix
