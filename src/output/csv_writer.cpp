#include "output/csv_writer.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <ostream>
#include <string>

namespace quorix {

namespace {

// Appends ",value" (or the value alone first) in its shortest exact form.
class Row {
 public:
  void add(double value) {
    if (!text_.empty()) text_ += ',';
    std::array<char, 32> chars{};
    const auto result = std::to_chars(chars.data(), chars.data() + chars.size(), value);
    text_.append(chars.data(), result.ptr);
  }
  void add(int value) {
    if (!text_.empty()) text_ += ',';
    text_ += std::to_string(value);
  }
  void add_stresses(const NodeStress& s) {
    for (const double value : {s.sxx, s.syy, s.szz, s.sxy, s.principal.s11, s.principal.s22, s.principal.s33,
                               s.principal.von_mises})
      add(value);
  }
  // Writes the row with its line end and starts the next.
  void end(std::ostream& out) {
    text_ += '\n';
    out << text_;
    text_.clear();
  }

 private:
  std::string text_;
};

constexpr const char* kStressNames = "sxx,syy,szz,sxy,s1,s2,s3,von_mises";

}  // namespace

void write_node_csv(const Model& model, const NodalResults& results, std::ostream& out) {
  out << "node,x,y,u,v," << kStressNames << ",rx,ry\n";
  const bool has_reactions = !results.reactions.empty();
  Row row;
  for (int k = 1; k <= model.nodes.size(); ++k) {
    const Node& node = model.nodes(k);
    row.add(k);
    for (const double value : {node.x, node.y, node.u, node.v}) row.add(value);
    row.add_stresses(results.stress(k));
    const std::int64_t x = 2 * static_cast<std::int64_t>(k) - 1;
    row.add(has_reactions ? results.reactions(x) : 0.0);
    row.add(has_reactions ? results.reactions(x + 1) : 0.0);
    row.end(out);
  }
}

void write_line_csv(const std::vector<PointValues>& points, double x0, double y0, std::ostream& out) {
  out << "distance,x,y,u,v," << kStressNames << '\n';
  Row row;
  for (const PointValues& p : points) {
    if (p.element == 0) continue;
    for (const double value : {std::hypot(p.x - x0, p.y - y0), p.x, p.y, p.u, p.v}) row.add(value);
    row.add_stresses(p.stress);
    row.end(out);
  }
}

}  // namespace quorix
