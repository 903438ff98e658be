// The picture as a real SVG renderer draws it.

#include "output/svg_writer.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "model/input_reader.hpp"
#include "parallel/task_pool.hpp"
#include "support/test_support.hpp"

namespace quorix {
namespace {

using testing::read_file;
using testing::ScratchDir;
using testing::write_file;

// Parses FILE.svg as XML, then reads the PNG that the renderer made of it and
// prints how many pixels left of column RIGHT (the plot, not the colour bar)
// have nearly the hottest colour of the scale, and where their centre lies
// (pixels from the top left corner).
const char* const kPixelProbe = R"(
import sys, vtk, xml.etree.ElementTree as xml
xml.parse(sys.argv[1])
hot = tuple(int(sys.argv[4][i:i + 2], 16) for i in (1, 3, 5))
right = float(sys.argv[3])
reader = vtk.vtkPNGReader()
reader.SetFileName(sys.argv[2])
reader.Update()
image = reader.GetOutput()
width, height, _ = image.GetDimensions()
channels = image.GetNumberOfScalarComponents()
pixels = memoryview(image.GetPointData().GetScalars()).tobytes()
count, sx, sy = 0, 0.0, 0.0
for row in range(height):
    for x in range(int(right)):
        at = (row * width + x) * channels
        if sum((pixels[at + c] - hot[c]) ** 2 for c in range(3)) < 30 ** 2:
            count, sx, sy = count + 1, sx + x + 0.5, sy + (height - 1 - row) + 0.5
print(count, sx / max(count, 1), sy / max(count, 1))
)";

TEST(WriteSvg, TheHottestColourIsWhereTheStressPeaks) {
  ScratchDir dir;
  const std::string text = testing::example_text("hole_plate.dat");
  write_file(dir / "hole.dat", text);
  const testing::ProgramRun run = testing::run_quorix({"--svg", "hole.dat"}, dir.path());
  ASSERT_EQ(run.status, 0) << run.err;
  const testing::ProgramRun rendered =
      testing::run_program("rsvg-convert", {"hole.dat.svg", "-o", "hole.png"}, dir.path());
  ASSERT_EQ(rendered.status, 0) << rendered.err;

  // The deformed model as the picture drew it, from the result file, and the
  // node where the von Mises stress peaks.
  Model model;
  AnalysisSettings settings;
  read_input_text(text, "hole.dat", model, settings, shared_task_pool());
  std::istringstream rows(read_file(dir / "hole.dat.out"));
  std::string row;
  std::getline(rows, row);
  int peak = 0;
  double highest = -1.0;
  for (int i = 1; i <= model.nodes.size() && std::getline(rows, row); ++i) {
    std::vector<double> fields;
    std::istringstream items(row);
    for (std::string item; std::getline(items, item, ',');) fields.push_back(std::stod(item));
    model.nodes(i).u = fields.at(3);
    model.nodes(i).v = fields.at(4);
    if (fields.at(12) > highest) {
      highest = fields.at(12);
      peak = i;
    }
  }
  const PictureLayout layout = picture_layout(model);
  const std::array<double, 2> at = layout.page(model.nodes(peak));
  ASSERT_GT(model.nodes(peak).y, 19.0);  // at the top of the hole, not at its side
  ASSERT_LT(model.nodes(peak).x, 2.0);
  // The page's y axis points down, the model's up.
  EXPECT_LT(layout.page(0.0, 100.0)[1], layout.page(0.0, 20.0)[1]);
  EXPECT_LT(layout.page(0.0, 20.0)[0], layout.page(100.0, 20.0)[0]);

  write_file(dir / "probe.py", kPixelProbe);
  const testing::ProgramRun probed =
      testing::run_program(QUORIX_PYTHON,
                           {"probe.py", "hole.dat.svg", "hole.png",
                            std::to_string(layout.plot_left + layout.plot_width + 1.0), stress_colour(1.0)},
                           dir.path());
  ASSERT_EQ(probed.status, 0) << probed.err;
  std::istringstream found(probed.out);
  double count = 0.0, x = 0.0, y = 0.0;
  found >> count >> x >> y;
  EXPECT_GT(count, 10.0) << probed.out;
  EXPECT_NEAR(x, at[0], 15.0) << probed.out;
  EXPECT_NEAR(y, at[1], 15.0) << probed.out;
}

// The baseline (y) of the first text element that ends with `ending`.
double text_baseline(const std::string& svg, const std::string& ending) {
  const std::size_t end = svg.find(ending + "</text>");
  const std::size_t y = svg.rfind(" y=\"", end);
  return end == std::string::npos || y == std::string::npos ? NAN : std::stod(svg.substr(y + 4));
}

TEST(WriteSvg, TheColourBarTitleStandsClearOfTheTopLabel) {
  // Pages of different heights: a square plate and a long strip.
  for (const std::string name : {"hole_plate.dat", "cantilever.dat"}) {
    SCOPED_TRACE(name);
    ScratchDir dir;
    write_file(dir / name, testing::example_text(name));
    ASSERT_EQ(testing::run_quorix({"--svg", name}, dir.path()).status, 0);
    const std::string svg = read_file(dir / (name + ".svg"));
    // Letters of 13 pixels reach about 10 above their baseline and 3 below.
    const double title = text_baseline(svg, "von Mises"), top_label = text_baseline(svg, " max");
    EXPECT_GT(top_label - 10.0, title + 3.0 + 4.0) << title << " " << top_label;
  }
}

}  // namespace
}  // namespace quorix
