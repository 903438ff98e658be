#include "output/result_writer.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "parallel/task_pool.hpp"

namespace quorix {

namespace {

constexpr int kRealWidth = 18;
constexpr int kIntWidth = 6;

// Writes `text` right-justified in `width` columns (in full when longer) and
// returns the end of what was written.
char* put_right_justified(char* out, const char* text, int length, int width) {
  for (int i = length; i < width; ++i) *out++ = ' ';
  for (int i = 0; i < length; ++i) *out++ = text[i];
  return out;
}

// The real in 18 columns: "0." and 8 significant digits, then "E" with a sign
// and two exponent digits, or a sign and three digits without the "E" when
// the exponent needs them. Returns the end of the field.
char* put_result_real(char* out, double value) {
  if (std::isnan(value)) return put_right_justified(out, "NaN", 3, kRealWidth);
  if (std::isinf(value))
    return value > 0.0 ? put_right_justified(out, "Infinity", 8, kRealWidth)
                       : put_right_justified(out, "-Infinity", 9, kRealWidth);

  // Correctly rounded to 8 significant digits as d.ddddddd, carrying into the
  // exponent (0.999999999 gives 1.0000000e+00); as 0.dddddddd the exponent is
  // one larger.
  char digits[8] = {'0', '0', '0', '0', '0', '0', '0', '0'};
  int exponent = 0;
  if (value != 0.0) {
    char buffer[32];
    const std::to_chars_result r =
        std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::scientific, 7);
    digits[0] = buffer[0];
    for (int i = 0; i < 7; ++i) digits[i + 1] = buffer[2 + i];
    int magnitude = 0;
    for (const char* c = buffer + 11; c < r.ptr; ++c) magnitude = 10 * magnitude + (*c - '0');
    exponent = (buffer[10] == '-' ? -magnitude : magnitude) + 1;
  }

  char text[16];
  int length = 0;
  if (std::signbit(value)) text[length++] = '-';  // a negative zero keeps its sign
  text[length++] = '0';
  text[length++] = '.';
  for (char digit : digits) text[length++] = digit;
  const int magnitude = exponent < 0 ? -exponent : exponent;
  if (magnitude <= 99) {
    text[length++] = 'E';
    text[length++] = exponent < 0 ? '-' : '+';
  } else {
    text[length++] = exponent < 0 ? '-' : '+';
    text[length++] = static_cast<char>('0' + magnitude / 100);
  }
  text[length++] = static_cast<char>('0' + magnitude / 10 % 10);
  text[length++] = static_cast<char>('0' + magnitude % 10);
  return put_right_justified(out, text, length, kRealWidth);
}

// An integer right-justified in 6 columns; a wider one is written in full
// rather than as asterisks, so labels and node numbers are never lost.
char* put_result_int(char* out, long long value) {
  char buffer[24];
  const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, value);
  return put_right_justified(out, buffer, static_cast<int>(r.ptr - buffer), kIntWidth);
}

}  // namespace

std::string format_result_real(double value) {
  char buffer[kRealWidth];
  return std::string(buffer, put_result_real(buffer, value));
}

std::string format_result_int(long long value) {
  char buffer[32];
  return std::string(buffer, put_result_int(buffer, value));
}

namespace {

// Writes rows 1..count, formatted by format(i, row) (which returns the end of
// what it wrote, at most `longest` characters), in order. Blocks of rows are
// formatted side by side on `pool`, into buffers made beforehand, and
// written one after the other.
template <class Format>
void write_rows(std::ostream& out, TaskPool& pool, int count, std::size_t longest, const Format& format) {
  constexpr int kBlockRows = 4096;
  const int group = 2 * pool.threads();
  std::vector<std::unique_ptr<char[]>> blocks(static_cast<std::size_t>(group));
  std::vector<std::size_t> lengths(static_cast<std::size_t>(group));
  for (auto& block : blocks) block = std::make_unique_for_overwrite<char[]>(kBlockRows * longest);
  for (int first = 1; first <= count; first += kBlockRows * group) {
    const int units = std::min(group, (count - first) / kBlockRows + 1);
    pool.for_each_unit(units, [&](int unit) {
      char* const start = blocks[static_cast<std::size_t>(unit)].get();
      const int from = first + unit * kBlockRows;
      const int to = std::min(count, from + kBlockRows - 1);
      char* end = start;
      for (int i = from; i <= to; ++i) end = format(i, end);
      lengths[static_cast<std::size_t>(unit)] = static_cast<std::size_t>(end - start);
    });
    for (std::size_t unit = 0; unit < static_cast<std::size_t>(units); ++unit)
      out.write(blocks[unit].get(), static_cast<std::streamsize>(lengths[unit]));
  }
}

}  // namespace

void write_results(const Model& model, const NodalResults& results, std::ostream& out, TaskPool& pool) {
  out << " node,x,y,u,v,Sxx,Syy,Szz,Sxy,S11,S22,S33,Svm\n";
  // A label of at most 11 characters, then 12 fields of 19; then 10 of at most 12.
  write_rows(out, pool, model.nodes.size(), 11 + 12 * 19 + 1, [&](int i, char* end) {
    const NodeStress& s = results.listed(i);
    const PrincipalStresses& p = s.principal;
    const Node& node = model.nodes(i);
    end = put_result_int(end, i - 1);
    for (double value :
         {node.x, node.y, node.u, node.v, s.sxx, s.syy, s.szz, s.sxy, p.s11, p.s22, p.s33, p.von_mises}) {
      *end++ = ',';
      end = put_result_real(end, value);
    }
    *end++ = '\n';
    return end;
  });

  out << " element,node0,node2,...node9\n";
  write_rows(out, pool, model.elements.size(), 11 + 10 * 12 + 1, [&](int j, char* end) {
    end = put_result_int(end, j - 1);
    for (int node : model.elements(j).nodes) {
      *end++ = ',';
      end = put_result_int(end, model.nodes(node).id - 1);
    }
    *end++ = '\n';
    return end;
  });
}

}  // namespace quorix
