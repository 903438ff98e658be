#pragma once
// Everything between the input file's bytes and a model the analyses can
// trust: the reader, the tests on numbers and keywords, and the test that every
// element is turned counter-clockwise and not degenerate.

#include <string>
#include <string_view>
#include <vector>

#include "element/element_tables.hpp"
#include "model/input_reader.hpp"
#include "model/model.hpp"

namespace quorix {

// Reads and tests the model in `text`, the whole content of the file
// `file_name` (used in messages). Throws InputError, whose text holds one line
// per problem, when the file cannot be read or the model fails a test. The
// reader works on `pool`.
SourceLines load_model(std::string_view text, const std::string& file_name, const ElementTables& tables,
                       Model& model, AnalysisSettings& settings, TaskPool& pool);

}  // namespace quorix
