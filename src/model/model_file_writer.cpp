#include "model/model_file_writer.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <vector>

namespace quorix {

std::string model_file_real(double value) {
  std::array<char, 40> chars{};
  const auto result =
      std::to_chars(chars.data(), chars.data() + chars.size(), value, std::chars_format::general, 16);
  std::string text(chars.data(), result.ptr);
  if (text.find_first_of(".e") == std::string::npos) text += ".0";
  return text;
}

namespace {

// A text item: bare when the reader would take it back whole, in quotes
// (with doubled quotes inside) otherwise.
std::string text_item(std::string_view text) {
  const bool bare = !text.empty() && text.find_first_of(" \t,/'\"") == std::string_view::npos;
  if (bare) return std::string(text);
  std::string quoted = "\"";
  for (const char c : text) {
    quoted += c;
    if (c == '"') quoted += '"';
  }
  return quoted + "\"";
}

using Row = std::vector<std::string>;

// One section: keyword, ruler, heading, ruler, records, ruler. The columns
// are as wide as their widest entry.
class SectionWriter {
 public:
  SectionWriter(std::ostream& out, int& line) : out_(out), line_(line) {}

  void write(std::string_view keyword, const Row& heading, const std::vector<Row>& rows,
             std::vector<int>* record_lines) {
    std::vector<std::size_t> widths(heading.size(), 0);
    for (std::size_t c = 0; c < heading.size(); ++c) widths[c] = heading[c].size();
    for (const Row& row : rows)
      for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
    const auto format = [&](const Row& row) {
      std::string text;
      for (std::size_t c = 0; c < row.size(); ++c) {
        text += c == 0 ? " " : "   ";
        text += row[c];
        if (c + 1 < row.size()) text.append(widths[c] - row[c].size(), ' ');
      }
      return text;
    };
    // The longest line: a full row whose every column is as wide as it gets.
    std::size_t width = 1 + 3 * (widths.size() - 1);
    for (const std::size_t w : widths) width += w;
    const std::string ruler(std::max<std::size_t>(width + 1, 72), '-');
    put(std::string(keyword));
    put(ruler);
    put(format(heading));
    put(ruler);
    for (const Row& row : rows) {
      if (record_lines) record_lines->push_back(line_ + 1);
      put(format(row));
    }
    put(ruler);
  }

 private:
  void put(const std::string& text) {
    out_ << text << '\n';
    ++line_;
  }

  std::ostream& out_;
  int& line_;
};

std::string integer(int value) { return std::to_string(value); }

}  // namespace

SourceLines write_model_file(std::ostream& out, const Model& model, const AnalysisSettings& settings,
                             std::string_view remark, const std::vector<std::string>& more_remarks) {
  SourceLines source;
  int line = 0;
  const auto write_remark = [&](std::string_view text) {
    std::string shown(text);
    std::replace_if(
        shown.begin(), shown.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; },
        ' ');
    out << shown << '\n';
    ++line;
  };
  write_remark(remark);
  for (const std::string& more : more_remarks) write_remark(more);
  SectionWriter section(out, line);

  section.write("GENERAL", {"type", "stress state", "increments", "tolerance", "penalty"},
                {{text_item(settings.analysis_type.trimmed()), text_item(settings.stress_state.trimmed()),
                  integer(settings.load_increments), model_file_real(settings.displacement_tolerance),
                  model_file_real(settings.penalty_factor)}},
                nullptr);
  source.general.fill(line - 1);

  source.node_keyword = line + 1;
  std::vector<Row> rows;
  for (const Node& node : model.nodes)
    rows.push_back({integer(node.id), model_file_real(node.x), model_file_real(node.y)});
  section.write("NODE", {"number", "x", "y"}, rows, &source.nodes);

  rows.clear();
  for (const Material& material : model.materials)
    rows.push_back({integer(material.id), model_file_real(material.young_modulus),
                    model_file_real(material.poisson_ratio), model_file_real(material.specific_weight)});
  section.write("MATERIAL", {"number", "E", "nu", "weight"}, rows, &source.materials);

  rows.clear();
  for (const Thickness& thickness : model.thicknesses)
    rows.push_back({integer(thickness.id), model_file_real(thickness.value)});
  section.write("THICKNESS", {"number", "thickness"}, rows, &source.thicknesses);

  rows.clear();
  for (const Element& element : model.elements) {
    Row row = {integer(element.id)};
    for (const int node : element.nodes) row.push_back(integer(node));
    row.push_back(integer(element.material));
    row.push_back(integer(element.thickness));
    rows.push_back(std::move(row));
  }
  section.write(
      "ELEMENT",
      {"number", "n1", "n2", "n3", "n4", "n5", "n6", "n7", "n8", "n9", "n10", "material", "thickness"}, rows,
      &source.elements);

  rows.clear();
  for (const NodalForce& force : model.forces)
    rows.push_back(
        {integer(force.id), integer(force.node), model_file_real(force.fx), model_file_real(force.fy)});
  section.write("FORCE", {"number", "node", "fx", "fy"}, rows, &source.forces);

  rows.clear();
  for (const EdgePressure& pressure : model.pressures)
    rows.push_back({integer(pressure.id), integer(pressure.element), integer(pressure.edge),
                    text_item(pressure.system.trimmed()), model_file_real(pressure.q1_start),
                    model_file_real(pressure.q1_end), model_file_real(pressure.q2_start),
                    model_file_real(pressure.q2_end)});
  section.write("PRESSURE",
                {"number", "element", "edge", "system", "q1 start", "q1 end", "q2 start", "q2 end"}, rows,
                &source.pressures);

  rows.clear();
  for (const PrescribedDisplacement& displacement : model.prescribed_displacements)
    rows.push_back({integer(displacement.id), integer(displacement.node),
                    text_item(displacement.direction.trimmed()), model_file_real(displacement.value)});
  section.write("DISPLACEMENT", {"number", "node", "direction", "value"}, rows, &source.displacements);

  source.last_line = line;
  return source;
}

}  // namespace quorix
