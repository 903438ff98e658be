#include "output/size_field_writer.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <limits>
#include <ostream>
#include <string>

namespace quorix {

void write_size_field(const Model& model, const std::vector<double>& sizes, std::ostream& out) {
  std::vector<double> at_node(static_cast<std::size_t>(model.nodes.size()) + 1,
                              std::numeric_limits<double>::infinity());
  for (std::size_t e = 0; e < sizes.size(); ++e)
    for (std::size_t a = 0; a < 3; ++a) {
      double& size = at_node[static_cast<std::size_t>(model.elements[e].nodes[a])];
      size = std::min(size, sizes[e]);
    }
  std::string line;
  const auto add = [&](double value, char after) {
    std::array<char, 32> chars{};
    const auto result = std::to_chars(chars.data(), chars.data() + chars.size(), value);
    line.append(chars.data(), result.ptr);
    line += after;
  };
  out << "// Element sizes from quorix: gmsh -bgm FILE.pos -2 -order 3 plate.geo\n"
      << "View \"element size\" {\n";
  for (std::size_t e = 0; e < sizes.size(); ++e) {
    const Element& element = model.elements[e];
    line = "ST(";
    for (std::size_t a = 0; a < 3; ++a) {
      const Node& node = model.nodes(element.nodes[a]);
      add(node.x, ',');
      add(node.y, ',');
      add(0.0, a < 2 ? ',' : ')');
    }
    line += '{';
    for (std::size_t a = 0; a < 3; ++a)
      add(at_node[static_cast<std::size_t>(element.nodes[a])], a < 2 ? ',' : '}');
    line += ";\n";
    out << line;
  }
  out << "};\n";
}

}  // namespace quorix
