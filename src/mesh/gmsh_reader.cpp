#include "mesh/gmsh_reader.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <map>
#include <utility>

#include "model/input_error.hpp"
#include "model/input_reader.hpp"

namespace quorix {

std::string place_prefix(const std::string& file_name, const FilePlace& place) {
  return place.binary ? file_name + ": byte " + std::to_string(place.at) + ": "
                      : file_name + ":" + std::to_string(place.at) + ": ";
}

namespace {

// The element types of the MSH format up to order 5, for reading past them
// and for naming them in messages.
struct ElementKind {
  int type;
  int nodes;
  int dimension;
  const char* name;
};

constexpr ElementKind kKinds[] = {
    {1, 2, 1, "2-node lines"},
    {2, 3, 2, "3-node triangles"},
    {3, 4, 2, "4-node quadrangles"},
    {4, 4, 3, "4-node tetrahedra"},
    {5, 8, 3, "8-node hexahedra"},
    {6, 6, 3, "6-node prisms"},
    {7, 5, 3, "5-node pyramids"},
    {8, 3, 1, "3-node lines"},
    {9, 6, 2, "6-node triangles"},
    {10, 9, 2, "9-node quadrangles"},
    {11, 10, 3, "10-node tetrahedra"},
    {12, 27, 3, "27-node hexahedra"},
    {13, 18, 3, "18-node prisms"},
    {14, 14, 3, "14-node pyramids"},
    {15, 1, 0, "points"},
    {16, 8, 2, "8-node quadrangles"},
    {17, 20, 3, "20-node hexahedra"},
    {18, 15, 3, "15-node prisms"},
    {19, 13, 3, "13-node pyramids"},
    {20, 9, 2, "9-node cubic triangles"},
    {21, 10, 2, "cubic triangles"},
    {22, 12, 2, "12-node quartic triangles"},
    {23, 15, 2, "15-node quartic triangles"},
    {24, 15, 2, "15-node quintic triangles"},
    {25, 21, 2, "21-node quintic triangles"},
    {26, 4, 1, "4-node cubic lines"},
    {27, 5, 1, "5-node lines"},
    {28, 6, 1, "6-node lines"},
    {29, 20, 3, "20-node tetrahedra"},
    {30, 35, 3, "35-node tetrahedra"},
    {31, 56, 3, "56-node tetrahedra"},
    {36, 16, 2, "16-node quadrangles"},
};

const ElementKind* element_kind(std::int64_t type) {
  for (const ElementKind& kind : kKinds)
    if (kind.type == type) return &kind;
  return nullptr;
}

// Why an element type cannot make a quorix model, and what to do about it.
struct Refusal {
  std::string expected;
  std::string found;  // with the advice
};

// Empty for the three types a model is made of.
Refusal refusal(const ElementKind& kind) {
  const std::string found = std::string(kind.name) + " (type " + std::to_string(kind.type) + ")";
  if (kind.type == kGmshPoint || kind.type == kGmshCubicLine || kind.type == kGmshCubicTriangle) return {};
  if (kind.type == 20)
    return {"cubic triangles with their centre node (type 21)",
            found + ": mesh again without Mesh.SecondOrderIncomplete"};
  if (kind.dimension == 3)
    return {"a surface mesh", found + ": quorix analyses plates, so mesh with gmsh -2"};
  if (kind.type == 3 || kind.type == 10 || kind.type == 16 || kind.type == 36)
    return {"triangles", found + ": quorix has triangles only, so mesh without Recombine"};
  return {"elements of order 3 (cubic triangles, type 21, and their 4-node lines, type 26)",
          found + ": mesh with gmsh -2 -order 3"};
}

// A section marker as messages name it: "$Nodes", in double quotes. A marker
// made from what the file holds may carry any bytes: they are shown escaped,
// and cut, as quoted_for_message shows them.
std::string in_quotes(std::string_view name) {
  const std::string shown = quoted_for_message(name);
  return '"' + shown.substr(1, shown.size() - 2) + '"';
}

// What an item is expected to be, for a message. Made for every item read,
// so it holds its parts and is written out only when a message needs it:
// "the x coordinate of node 12", "the tag of element 3 of 200".
class Expected {
 public:
  Expected(const char* what) : what_(what) {}          // NOLINT: plain texts convert implicitly
  Expected(const std::string& what) : text_(&what) {}  // NOLINT
  Expected(const char* what, const char* kind, std::uint64_t number, std::uint64_t total = 0)
      : what_(what), kind_(kind), number_(number), total_(total) {}
  std::string text() const {
    if (text_) return *text_;
    std::string text = what_;
    if (kind_) text += std::string(" of ") + kind_ + ' ' + std::to_string(number_);
    if (total_ != 0) text += " of " + std::to_string(total_);
    return text;
  }

 private:
  const std::string* text_ = nullptr;
  const char* what_ = "";
  const char* kind_ = nullptr;
  std::uint64_t number_ = 0;
  std::uint64_t total_ = 0;
};

// The file's bytes with a read position. ASCII files are read as items
// separated by white space, binary ones as fixed-size numbers in the
// machine's byte order (checked against the header's 1). Section markers are
// lines in both, and so are the few counts that a 2.2 binary file writes as
// text.
class MshInput {
 public:
  MshInput(std::string_view bytes, const std::string& file_name) : bytes_(bytes), file_name_(file_name) {}

  void set_binary(bool binary) { binary_ = binary; }
  bool binary() const { return binary_; }
  bool at_end() const { return pos_ >= bytes_.size(); }

  // Where the next item starts: past white space in an ASCII file.
  std::size_t next_start() const {
    std::size_t i = pos_;
    if (!binary_)
      while (i < bytes_.size() && is_space(bytes_[i])) ++i;
    return i;
  }
  // Lines are counted on from the last place asked for, since the places
  // asked for mostly move forward with the reading.
  FilePlace place_at(std::size_t pos) const {
    const std::size_t end = std::min(pos, bytes_.size());
    if (binary_) return FilePlace{true, static_cast<std::int64_t>(end)};
    if (end < counted_to_) {
      counted_to_ = 0;
      lines_before_ = 0;
    }
    lines_before_ += std::count(bytes_.begin() + static_cast<std::ptrdiff_t>(counted_to_),
                                bytes_.begin() + static_cast<std::ptrdiff_t>(end), '\n');
    counted_to_ = end;
    std::int64_t line = 1 + lines_before_;
    // At the very end of a file that ends with a line end, name its last line.
    if (end == bytes_.size() && end > 0 && bytes_[end - 1] == '\n') --line;
    return FilePlace{false, line};
  }
  FilePlace next_place() const { return place_at(next_start()); }

  [[noreturn]] void fail_at(std::size_t pos, const std::string& expected, const std::string& found) const {
    throw InputError(place_prefix(file_name_, place_at(pos)) + "expected " + expected + ", found " + found);
  }

  // ---- Lines
  // The next line, without its line end (and a CR before it).
  std::string_view line(const std::string& expected) {
    if (at_end()) fail_at(pos_, expected, "the end of the file");
    std::size_t end = bytes_.find('\n', pos_);
    if (end == std::string_view::npos) end = bytes_.size();
    std::string_view text = bytes_.substr(pos_, end - pos_);
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    line_start_ = pos_;
    pos_ = std::min(end + 1, bytes_.size());
    return text;
  }
  std::size_t line_start() const { return line_start_; }

  void skip_blank_lines() {
    for (;;) {
      std::size_t i = pos_;
      while (i < bytes_.size() && (bytes_[i] == ' ' || bytes_[i] == '\t' || bytes_[i] == '\r')) ++i;
      if (i >= bytes_.size() || bytes_[i] != '\n') return;
      pos_ = i + 1;
    }
  }

  // A section marker line such as "$EndNodes"; what is left of the current
  // line (in a binary file, the line end after the data) comes first.
  void marker(std::string_view name) {
    skip_blank_lines();
    const std::string expected = in_quotes(name);
    const std::string_view text = line(expected);
    if (trimmed(text) != name) fail_at(line_start_, expected, quoted_for_message(text));
  }

  // Skips everything up to and including the line `end_marker`.
  void skip_section(const std::string& end_marker, std::size_t section_start) {
    std::string wanted(1, '\n');
    wanted += end_marker;
    const std::size_t found = bytes_.find(wanted, pos_ == 0 ? 0 : pos_ - 1);
    if (found == std::string_view::npos)
      fail_at(section_start, in_quotes(end_marker) + " to close the section", "the end of the file");
    pos_ = found + 1;
    line("");
  }

  // ---- Numbers. `Stored` is the binary type; an ASCII file writes the
  // number as text. Values outside [low, high] are refused.
  template <class Stored>
  std::int64_t integer(const Expected& expected, std::int64_t low, std::int64_t high) {
    return binary_ ? binary_integer<Stored>(expected, low, high) : text_integer(expected, low, high);
  }
  // A count or tag written as text even in a binary file.
  std::int64_t text_integer(const Expected& expected, std::int64_t low, std::int64_t high) {
    const std::string_view text = item(expected);
    std::int64_t value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size())
      fail_at(item_start_, expected.text(), quoted_for_message(text));
    if (value < low || value > high) fail_at(item_start_, expected.text(), std::to_string(value));
    return value;
  }
  // Node and element tags: size_t in 4.1 binary files, int in 2.2 ones.
  std::uint64_t tag(const Expected& expected, bool wide) {
    if (binary_ && wide) return raw<std::uint64_t>(expected);
    return static_cast<std::uint64_t>(binary_ ? binary_integer<std::int32_t>(expected, 0, kIntMax)
                                              : text_integer(expected, 0, INT64_MAX));
  }
  double real(const Expected& expected) {
    const std::size_t start = next_start();
    double value = 0.0;
    if (binary_) {
      value = raw<double>(expected);
    } else {
      const std::string_view text = item(expected);
      const char* first = text.data() + (text[0] == '+' ? 1 : 0);
      const auto result = std::from_chars(first, text.data() + text.size(), value);
      if (result.ec != std::errc() || result.ptr != text.data() + text.size())
        fail_at(start, expected.text(), quoted_for_message(text));
    }
    if (!std::isfinite(value))
      fail_at(start, expected.text() + " (a finite number)", "a number that is not finite");
    return value;
  }

  template <class T>
  T raw(const Expected& expected) {
    if (bytes_.size() - std::min(pos_, bytes_.size()) < sizeof(T))
      fail_at(pos_, expected.text() + " (" + std::to_string(sizeof(T)) + " bytes)", "the end of the file");
    T value;
    std::memcpy(&value, bytes_.data() + pos_, sizeof(T));
    pos_ += sizeof(T);
    return value;
  }

  static constexpr std::int64_t kIntMax = 2147483647;

 private:
  static bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
  static std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    return text;
  }

  std::string_view item(const Expected& expected) {
    pos_ = next_start_text();
    if (pos_ >= bytes_.size()) fail_at(pos_, expected.text(), "the end of the file");
    item_start_ = pos_;
    while (pos_ < bytes_.size() && !is_space(bytes_[pos_])) ++pos_;
    return bytes_.substr(item_start_, pos_ - item_start_);
  }
  std::size_t next_start_text() const {
    std::size_t i = pos_;
    while (i < bytes_.size() && is_space(bytes_[i])) ++i;
    return i;
  }

  template <class Stored>
  std::int64_t binary_integer(const Expected& expected, std::int64_t low, std::int64_t high) {
    const std::size_t start = pos_;
    const Stored stored = raw<Stored>(expected);
    if constexpr (std::is_unsigned_v<Stored>) {
      if (stored > static_cast<std::uint64_t>(high)) fail_at(start, expected.text(), std::to_string(stored));
    }
    const auto value = static_cast<std::int64_t>(stored);
    if (value < low || value > high) fail_at(start, expected.text(), std::to_string(value));
    return value;
  }

  std::string_view bytes_;
  const std::string& file_name_;
  std::size_t pos_ = 0;
  std::size_t item_start_ = 0;
  std::size_t line_start_ = 0;
  bool binary_ = false;
  mutable std::size_t counted_to_ = 0;     // line ends before this byte are counted
  mutable std::int64_t lines_before_ = 0;  // how many
};

constexpr std::int64_t kIntMax = MshInput::kIntMax;
constexpr std::int64_t kCountMax = std::int64_t{1} << 40;  // far beyond any mesh that fits in memory
constexpr std::int64_t kTagMax = INT64_MAX;

void read_mesh_format(MshInput& in, GmshMesh& mesh) {
  in.skip_blank_lines();
  const std::string_view first = in.line("\"$MeshFormat\" (a Gmsh mesh file)");
  if (first != "$MeshFormat")
    in.fail_at(in.line_start(), "\"$MeshFormat\" on the first line (a Gmsh .msh file)",
               quoted_for_message(first));
  const std::string_view header = in.line("the format version, file type and data size");
  const std::size_t header_start = in.line_start();
  std::array<std::string_view, 3> words;
  std::string_view rest = header;
  for (std::string_view& word : words) {
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
    std::size_t end = 0;
    while (end < rest.size() && rest[end] != ' ' && rest[end] != '\t') ++end;
    word = rest.substr(0, end);
    rest.remove_prefix(end);
  }
  if (words[0] != "2.2" && words[0] != "4.1")
    in.fail_at(header_start, "MSH version 2.2 or 4.1 (gmsh -format msh41 or -format msh22)",
               "version " + quoted_for_message(words[0]));
  if ((words[1] != "0" && words[1] != "1") || words[2] != "8")
    in.fail_at(header_start, "the file type 0 or 1 and the data size 8 after the version",
               quoted_for_message(header));
  mesh.version = std::string(words[0]);
  mesh.binary = words[1] == "1";
  if (mesh.binary) {
    in.set_binary(true);
    const std::size_t start = in.next_start();
    const auto one = in.raw<std::int32_t>("the integer 1 that shows the byte order");
    if (one != 1)
      in.fail_at(start, "the integer 1 in this machine's byte order",
                 one == 0x01000000 ? "it in the other byte order" : std::to_string(one));
  }
  in.marker("$EndMeshFormat");
}

// "dimension tag "name"" lines; text even in binary files.
void read_physical_names(MshInput& in, GmshMesh& mesh) {
  const std::int64_t count = in.text_integer("the number of physical names", 0, kIntMax);
  in.line("the end of the line");
  for (std::int64_t i = 0; i < count; ++i) {
    const std::string_view text = in.line("a physical name (dimension, tag and quoted name)");
    const std::size_t open = text.find('"');
    const std::size_t close = text.rfind('"');
    PhysicalName name;
    const char* end = text.data() + (open == std::string_view::npos ? text.size() : open);
    const char* p = text.data();
    bool ok = open != std::string_view::npos && close != open;
    for (int* field : {&name.dimension, &name.tag}) {
      while (p < end && (*p == ' ' || *p == '\t')) ++p;
      const auto result = std::from_chars(p, end, *field);
      ok = ok && result.ec == std::errc();
      p = result.ptr;
    }
    if (!ok || name.dimension < 0 || name.dimension > 3)
      in.fail_at(in.line_start(), "a physical name: dimension (0 to 3), tag and a name in quotes",
                 quoted_for_message(text));
    name.name = std::string(text.substr(open + 1, close - open - 1));
    mesh.names.push_back(std::move(name));
  }
  in.marker("$EndPhysicalNames");
}

using EntityGroups = std::map<std::pair<int, int>, std::vector<int>>;  // (dimension, tag) -> physical tags

void read_entities(MshInput& in, EntityGroups& groups) {
  static constexpr std::array<const char*, 4> kKindNames = {"points", "curves", "surfaces", "volumes"};
  std::array<std::int64_t, 4> counts{};
  for (std::size_t d = 0; d < 4; ++d)
    counts[d] = in.integer<std::uint64_t>(std::string("the number of ") + kKindNames[d], 0, kCountMax);
  for (std::size_t d = 0; d < 4; ++d) {
    for (std::int64_t i = 0; i < counts[d]; ++i) {
      const auto tag = static_cast<int>(
          in.integer<std::int32_t>(std::string("the tag of one of the ") + kKindNames[d], 0, kIntMax));
      const std::string of = " of entity " + std::to_string(tag) + " of the " + kKindNames[d];
      // A point has its coordinates, the others their bounding box.
      for (int k = 0; k < (d == 0 ? 3 : 6); ++k) in.real("a coordinate" + of);
      const std::int64_t physical =
          in.integer<std::uint64_t>("the number of physical tags" + of, 0, kCountMax);
      std::vector<int>& tags = groups[{static_cast<int>(d), tag}];
      for (std::int64_t k = 0; k < physical; ++k)
        tags.push_back(
            static_cast<int>(std::abs(in.integer<std::int32_t>("a physical tag" + of, -kIntMax, kIntMax))));
      if (d == 0) continue;
      const std::int64_t bounding =
          in.integer<std::uint64_t>("the number of bounding entities" + of, 0, kCountMax);
      for (std::int64_t k = 0; k < bounding; ++k)
        in.integer<std::int32_t>("a bounding entity" + of, -kIntMax, kIntMax);
    }
  }
  in.marker("$EndEntities");
}

void read_nodes_v2(MshInput& in, GmshMesh& mesh) {
  const std::int64_t count = in.text_integer("the number of nodes", 0, kIntMax);
  if (in.binary()) in.line("the end of the line after the number of nodes");
  for (std::int64_t i = 0; i < count; ++i) {
    const auto number = static_cast<std::uint64_t>(i + 1), total = static_cast<std::uint64_t>(count);
    MeshNode node;
    node.place = in.next_place();
    node.tag = in.tag(Expected("the tag", "node", number, total), false);
    node.x = in.real(Expected("the x coordinate", "node", number, total));
    node.y = in.real(Expected("the y coordinate", "node", number, total));
    node.z = in.real(Expected("the z coordinate", "node", number, total));
    mesh.nodes.push_back(node);
  }
  in.marker("$EndNodes");
}

void read_nodes_v4(MshInput& in, GmshMesh& mesh) {
  const std::int64_t blocks = in.integer<std::uint64_t>("the number of node blocks", 0, kCountMax);
  in.integer<std::uint64_t>("the number of nodes", 0, kCountMax);
  in.integer<std::uint64_t>("the smallest node tag", 0, kTagMax);
  in.integer<std::uint64_t>("the largest node tag", 0, kTagMax);
  std::vector<std::uint64_t> tags;
  for (std::int64_t b = 0; b < blocks; ++b) {
    const std::string of = " of node block " + std::to_string(b + 1);
    const auto dimension = static_cast<int>(in.integer<std::int32_t>("the entity dimension" + of, 0, 3));
    in.integer<std::int32_t>("the entity tag" + of, 0, kIntMax);
    const auto parametric =
        static_cast<int>(in.integer<std::int32_t>("the parametric flag (0 or 1)" + of, 0, 1));
    const std::int64_t count = in.integer<std::uint64_t>("the number of nodes" + of, 0, kCountMax);
    tags.clear();
    for (std::int64_t i = 0; i < count; ++i)
      tags.push_back(in.tag(Expected("a node tag", "node block", static_cast<std::uint64_t>(b + 1)), true));
    // Parametric coordinates follow x, y, z: one per dimension of the entity.
    const int extra = parametric == 1 ? dimension : 0;
    for (const std::uint64_t tag : tags) {
      MeshNode node;
      node.tag = tag;
      node.place = in.next_place();
      node.x = in.real(Expected("the x coordinate", "node", tag));
      node.y = in.real(Expected("the y coordinate", "node", tag));
      node.z = in.real(Expected("the z coordinate", "node", tag));
      for (int k = 0; k < extra; ++k) in.real(Expected("a parametric coordinate", "node", tag));
      mesh.nodes.push_back(node);
    }
  }
  in.marker("$EndNodes");
}

// The kind of an element type read at `start`, refused unless a model is made
// of it.
const ElementKind& usable_kind(const MshInput& in, std::int64_t type, std::size_t start) {
  const ElementKind* kind = element_kind(type);
  if (kind == nullptr)
    in.fail_at(start, "an element type of Gmsh's MSH format", "type " + std::to_string(type));
  if (const Refusal refused = refusal(*kind); !refused.expected.empty())
    in.fail_at(start, refused.expected, refused.found);
  return *kind;
}

void read_element_nodes(MshInput& in, const ElementKind& kind, MeshElement& element, bool wide_tags) {
  element.type = kind.type;
  element.node_count = kind.nodes;
  for (std::size_t k = 0; k < static_cast<std::size_t>(kind.nodes); ++k)
    element.nodes[k] = in.tag(Expected("a node tag", "element", element.tag), wide_tags);
}

// The tags of a 2.2 element: the physical group first (0 for none), then the
// geometric entity, then partitions.
void read_element_tags_v2(MshInput& in, std::int64_t count, MeshElement& element) {
  for (std::int64_t t = 0; t < count; ++t) {
    const auto value = static_cast<int>(
        in.integer<std::int32_t>(Expected("a tag", "element", element.tag), -kIntMax, kIntMax));
    if (t == 0 && value != 0) element.physical.push_back(value);
    if (t == 1) element.entity = value;
  }
}

void read_elements_v2(MshInput& in, GmshMesh& mesh) {
  const std::int64_t count = in.text_integer("the number of elements", 0, kIntMax);
  if (!in.binary()) {
    // One element a line: tag, type, number of tags, tags, nodes.
    for (std::int64_t i = 0; i < count; ++i) {
      MeshElement element;
      element.place = in.next_place();
      element.tag = in.tag(Expected("the tag", "element", static_cast<std::uint64_t>(i + 1),
                                    static_cast<std::uint64_t>(count)),
                           false);
      const std::size_t start = in.next_start();
      const ElementKind& kind = usable_kind(
          in, in.integer<std::int32_t>(Expected("the type", "element", element.tag), 0, kIntMax), start);
      read_element_tags_v2(
          in, in.integer<std::int32_t>(Expected("the number of tags", "element", element.tag), 0, kIntMax),
          element);
      read_element_nodes(in, kind, element, false);
      mesh.elements.push_back(std::move(element));
    }
  } else {
    // Groups headed by type, number of elements and number of tags; then
    // each element's tag, tags and nodes.
    in.line("the end of the line after the number of elements");
    for (std::int64_t read = 0; read < count;) {
      const std::size_t start = in.next_start();
      const ElementKind& kind =
          usable_kind(in, in.integer<std::int32_t>("the element type of a group", 0, kIntMax), start);
      const std::int64_t in_group =
          in.integer<std::int32_t>("the number of elements of the group", 1, count - read);
      const std::int64_t tag_count = in.integer<std::int32_t>("the number of tags of the group", 0, kIntMax);
      for (std::int64_t e = 0; e < in_group; ++e) {
        MeshElement element;
        element.place = in.next_place();
        element.tag = in.tag("an element tag", false);
        read_element_tags_v2(in, tag_count, element);
        read_element_nodes(in, kind, element, false);
        mesh.elements.push_back(std::move(element));
      }
      read += in_group;
    }
  }
  in.marker("$EndElements");
}

void read_elements_v4(MshInput& in, GmshMesh& mesh, const EntityGroups& groups) {
  const std::int64_t blocks = in.integer<std::uint64_t>("the number of element blocks", 0, kCountMax);
  in.integer<std::uint64_t>("the number of elements", 0, kCountMax);
  in.integer<std::uint64_t>("the smallest element tag", 0, kTagMax);
  in.integer<std::uint64_t>("the largest element tag", 0, kTagMax);
  for (std::int64_t b = 0; b < blocks; ++b) {
    const std::string of = " of element block " + std::to_string(b + 1);
    const auto dimension = static_cast<int>(in.integer<std::int32_t>("the entity dimension" + of, 0, 3));
    const auto entity = static_cast<int>(in.integer<std::int32_t>("the entity tag" + of, 0, kIntMax));
    const std::size_t type_start = in.next_start();
    const ElementKind& kind =
        usable_kind(in, in.integer<std::int32_t>("the element type" + of, 0, kIntMax), type_start);
    const std::int64_t count = in.integer<std::uint64_t>("the number of elements" + of, 0, kCountMax);
    // Elements carry no physical tags here: their entity's are in $Entities.
    const auto found = groups.find({dimension, entity});
    for (std::int64_t e = 0; e < count; ++e) {
      MeshElement element;
      element.place = in.next_place();
      element.tag =
          in.tag(Expected("an element tag", "element block", static_cast<std::uint64_t>(b + 1)), true);
      element.entity = entity;
      if (found != groups.end()) element.physical = found->second;
      read_element_nodes(in, kind, element, true);
      mesh.elements.push_back(std::move(element));
    }
  }
  in.marker("$EndElements");
}

}  // namespace

GmshMesh read_gmsh_mesh(std::string_view bytes, const std::string& file_name) {
  MshInput in(bytes, file_name);
  GmshMesh mesh;
  read_mesh_format(in, mesh);
  const bool v4 = mesh.version == "4.1";
  EntityGroups groups;
  bool seen_nodes = false;
  bool seen_elements = false;
  for (;;) {
    in.skip_blank_lines();
    if (in.at_end()) break;
    const std::string_view header = in.line("a section");
    const std::size_t section_start = in.line_start();
    if (header.empty() || header[0] != '$')
      in.fail_at(section_start, "a section such as \"$Nodes\"", quoted_for_message(header));
    const std::string name(header.substr(1));
    if (name == "PhysicalNames" && mesh.names.empty()) {
      read_physical_names(in, mesh);
    } else if (name == "Entities" && v4 && groups.empty()) {
      read_entities(in, groups);
    } else if (name == "Nodes" && !seen_nodes) {
      seen_nodes = true;
      v4 ? read_nodes_v4(in, mesh) : read_nodes_v2(in, mesh);
    } else if (name == "Elements" && !seen_elements) {
      seen_elements = true;
      v4 ? read_elements_v4(in, mesh, groups) : read_elements_v2(in, mesh);
    } else {
      // Node data, periodic links, partitions and the like do not concern a
      // model.
      in.skip_section("$End" + name, section_start);
    }
  }
  if (!seen_nodes || !seen_elements)
    in.fail_at(bytes.size(), seen_nodes ? "a section \"$Elements\"" : "a section \"$Nodes\"",
               "the end of the file");
  return mesh;
}

}  // namespace quorix
