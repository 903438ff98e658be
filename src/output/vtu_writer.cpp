#include "output/vtu_writer.hpp"

#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace quorix {

namespace {

constexpr std::uint8_t kLagrangeTriangle = 69;  // VTK_LAGRANGE_TRIANGLE

// Collects the raw bytes of the appended arrays and writes them in large
// pieces: an array of the 100,000-element plate holds tens of megabytes.
class RawWriter {
 public:
  explicit RawWriter(std::ostream& out) : out_(out), buffer_(new char[kChunk]) {}
  RawWriter(const RawWriter&) = delete;
  RawWriter& operator=(const RawWriter&) = delete;
  ~RawWriter() { flush(); }
  template <class T>
  void put(T value) {
    if (used_ + sizeof(T) > kChunk) flush();
    std::memcpy(buffer_.get() + used_, &value, sizeof(T));
    used_ += sizeof(T);
  }
  void flush() {
    out_.write(buffer_.get(), static_cast<std::streamsize>(used_));
    used_ = 0;
  }

 private:
  static constexpr std::size_t kChunk = std::size_t{1} << 20;
  std::ostream& out_;
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
};

// One appended array: its XML element and its size in bytes.
struct ArrayEntry {
  std::string type;
  std::string name;  // empty for the points
  int components;
  std::uint64_t bytes;
  std::string component_names;  // attributes, or empty
};

void write_array_element(std::ostream& out, const ArrayEntry& a, std::uint64_t offset) {
  out << "        <DataArray type=\"" << a.type << '"';
  if (!a.name.empty()) out << " Name=\"" << a.name << '"';
  if (a.components != 1) out << " NumberOfComponents=\"" << a.components << '"';
  out << a.component_names << " format=\"appended\" offset=\"" << offset << "\"/>\n";
}

}  // namespace

void write_vtu(const Model& model, const NodalResults& results, std::ostream& out) {
  const std::uint64_t n = static_cast<std::uint64_t>(model.nodes.size());
  const std::uint64_t e = static_cast<std::uint64_t>(model.elements.size());
  const std::string tensor_names =
      " ComponentName0=\"XX\" ComponentName1=\"YY\" ComponentName2=\"ZZ\" ComponentName3=\"XY\""
      " ComponentName4=\"YZ\" ComponentName5=\"XZ\"";
  const std::string principal_names = " ComponentName0=\"S11\" ComponentName1=\"S22\" ComponentName2=\"S33\"";
  // The arrays in the order their data follow one another.
  const ArrayEntry point_data[] = {
      {"Float64", "displacement", 3, 3 * n * 8, ""},
      {"Float64", "stress", 6, 6 * n * 8, tensor_names},
      {"Float64", "von_mises", 1, n * 8, ""},
      {"Float64", "principal_stress", 3, 3 * n * 8, principal_names},
      {"Float64", "reaction", 3, 3 * n * 8, ""},
  };
  const bool has_indicator = !results.error_indicator.empty();
  const ArrayEntry cell_data[] = {
      {"Int32", "element", 1, e * 4, ""},
      {"Int32", "material", 1, e * 4, ""},
      {"Float64", "thickness", 1, e * 8, ""},
      {"Float64", "error_indicator", 1, e * 8, ""},
  };
  const std::size_t cell_arrays = has_indicator ? 4 : 3;
  const ArrayEntry points = {"Float64", "", 3, 3 * n * 8, ""};
  const ArrayEntry cells[] = {
      {"Int64", "connectivity", 1, 10 * e * 8, ""},
      {"Int64", "offsets", 1, e * 8, ""},
      {"UInt8", "types", 1, e, ""},
  };

  // ---- The XML part: every array's offset in the appended data, each array
  //      preceded there by its size as an 8-byte integer. ----
  std::uint64_t offset = 0;
  auto entry = [&](const ArrayEntry& a) {
    write_array_element(out, a, offset);
    offset += 8 + a.bytes;
  };
  out << "<?xml version=\"1.0\"?>\n"
      << "<VTKFile type=\"UnstructuredGrid\" version=\"1.0\" byte_order=\""
      << (std::endian::native == std::endian::little ? "LittleEndian" : "BigEndian")
      << "\" header_type=\"UInt64\">\n"
      << "  <UnstructuredGrid>\n"
      << "    <Piece NumberOfPoints=\"" << n << "\" NumberOfCells=\"" << e << "\">\n"
      << "      <PointData Vectors=\"displacement\" Tensors=\"stress\" Scalars=\"von_mises\">\n";
  for (const ArrayEntry& a : point_data) entry(a);
  out << "      </PointData>\n      <CellData Scalars=\"element\">\n";
  for (std::size_t a = 0; a < cell_arrays; ++a) entry(cell_data[a]);
  out << "      </CellData>\n      <Points>\n";
  entry(points);
  out << "      </Points>\n      <Cells>\n";
  for (const ArrayEntry& a : cells) entry(a);
  out << "      </Cells>\n    </Piece>\n  </UnstructuredGrid>\n  <AppendedData encoding=\"raw\">\n   _";

  // ---- The data, in the same order. ----
  {
    RawWriter raw(out);
    auto each_node = [&](std::uint64_t bytes, auto&& put_node) {
      raw.put(bytes);
      for (int i = 1; i <= model.nodes.size(); ++i) put_node(i, results.stress(i));
    };
    each_node(point_data[0].bytes, [&](int i, const NodeStress&) {
      raw.put(model.nodes(i).u);
      raw.put(model.nodes(i).v);
      raw.put(0.0);
    });
    each_node(point_data[1].bytes, [&](int, const NodeStress& s) {
      for (double value : {s.sxx, s.syy, s.szz, s.sxy, 0.0, 0.0}) raw.put(value);
    });
    each_node(point_data[2].bytes, [&](int, const NodeStress& s) { raw.put(s.principal.von_mises); });
    each_node(point_data[3].bytes, [&](int, const NodeStress& s) {
      for (double value : {s.principal.s11, s.principal.s22, s.principal.s33}) raw.put(value);
    });
    const bool has_reactions = !results.reactions.empty();
    each_node(point_data[4].bytes, [&](int i, const NodeStress&) {
      const std::int64_t x = 2 * static_cast<std::int64_t>(i) - 1;
      raw.put(has_reactions ? results.reactions(x) : 0.0);
      raw.put(has_reactions ? results.reactions(x + 1) : 0.0);
      raw.put(0.0);
    });

    raw.put(cell_data[0].bytes);
    for (const Element& element : model.elements) raw.put<std::int32_t>(element.id);
    raw.put(cell_data[1].bytes);
    for (const Element& element : model.elements) raw.put<std::int32_t>(element.material);
    raw.put(cell_data[2].bytes);
    for (const Element& element : model.elements) raw.put(model.thicknesses(element.thickness).value);
    if (has_indicator) {
      raw.put(cell_data[3].bytes);
      for (const double share : results.error_indicator) raw.put(share);
    }

    each_node(points.bytes, [&](int i, const NodeStress&) {
      raw.put(model.nodes(i).x);
      raw.put(model.nodes(i).y);
      raw.put(0.0);
    });

    raw.put(cells[0].bytes);
    for (const Element& element : model.elements)
      for (int node : element.nodes) raw.put<std::int64_t>(model.nodes(node).id - 1);
    raw.put(cells[1].bytes);
    for (std::uint64_t k = 1; k <= e; ++k) raw.put<std::int64_t>(static_cast<std::int64_t>(10 * k));
    raw.put(cells[2].bytes);
    for (std::uint64_t k = 1; k <= e; ++k) raw.put(kLagrangeTriangle);
  }
  out << "\n  </AppendedData>\n</VTKFile>\n";
}

}  // namespace quorix
