#include "output/result_writer.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
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

// The doubles nearest 10^-14 .. 10^29: ten(e) = kTens[e + 14]. Those of
// 10^0 .. 10^22 are exact.
constexpr double kTens[44] = {1e-14, 1e-13, 1e-12, 1e-11, 1e-10, 1e-9, 1e-8, 1e-7, 1e-6, 1e-5, 1e-4,
                              1e-3,  1e-2,  1e-1,  1e0,   1e1,   1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                              1e8,   1e9,   1e10,  1e11,  1e12,  1e13, 1e14, 1e15, 1e16, 1e17, 1e18,
                              1e19,  1e20,  1e21,  1e22,  1e23,  1e24, 1e25, 1e26, 1e27, 1e28, 1e29};
constexpr double ten(int e) { return kTens[e + 14]; }

// "00", "01", .. "99".
constexpr auto kDigitPairs = [] {
  std::array<char, 200> pairs{};
  for (int i = 0; i < 100; ++i) {
    pairs[2 * i] = static_cast<char>('0' + i / 10);
    pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
  }
  return pairs;
}();

void put_eight_digits(std::uint32_t n, char digits[8]) {
  const std::uint32_t pairs[4] = {n / 1000000u, n / 10000u % 100u, n / 100u % 100u, n % 100u};
  for (int i = 0; i < 4; ++i) {
    digits[2 * i] = kDigitPairs[2 * pairs[i]];
    digits[2 * i + 1] = kDigitPairs[2 * pairs[i] + 1];
  }
}

// The 8 significant digits of a positive finite `magnitude`, correctly
// rounded (ties to even), and its decimal exponent as in d.ddddddd x 10^e,
// which it returns. This is what the library's scientific conversion gives,
// in a fraction of its time for the magnitudes a result file holds: the
// value is scaled by an exact power of ten into [10^7, 10^8) in one rounded
// operation, and the rounding is taken when the scaled value's fraction is
// clearly off one half; otherwise, and for very large or small magnitudes,
// the library decides.
int eight_digits(double magnitude, char digits[8]) {
  const int binary = static_cast<int>((std::bit_cast<std::uint64_t>(magnitude) >> 52) & 0x7ff) - 1023;
  const int estimate = (binary * 78913) >> 18;  // floor(binary * log10(2)): the exponent or one less
  if (estimate >= -15 && estimate <= 28) {      // the exponent in [-15, 29], so |7 - exponent| <= 22
    const int decimal = estimate + (magnitude >= ten(estimate + 1) ? 1 : 0);
    // x = magnitude 10^(7 - decimal) exactly, and hi = x rounded: |x - hi| <
    // 2^-27, half an ulp of hi. So hi's fraction tells x's when it is not
    // within 1e-8 of one half; and with hi in [10^7, 10^8), x is there too or
    // so close below 10^7 that its eight digits are 10000000 all the same.
    const int k = 7 - decimal;
    const double hi = k >= 0 ? magnitude * ten(k) : magnitude / ten(-k);
    const double whole = std::floor(hi);
    const double fraction = hi - whole;  // exact
    const bool eight = hi >= 1e7 && hi < 1e8;
    if (eight && std::fabs(fraction - 0.5) > 1e-8) {
      std::uint32_t n = static_cast<std::uint32_t>(whole) + (fraction > 0.5 ? 1u : 0u);
      int exponent = decimal;
      if (n == 100000000u) {  // rounded up to the next power of ten
        n = 10000000u;
        ++exponent;
      }
      put_eight_digits(n, digits);
      return exponent;
    }
  }
  char buffer[32];
  const std::to_chars_result r =
      std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific, 7);
  digits[0] = buffer[0];
  for (int i = 0; i < 7; ++i) digits[i + 1] = buffer[2 + i];
  int size = 0;
  for (const char* c = buffer + 11; c < r.ptr; ++c) size = 10 * size + (*c - '0');
  return buffer[10] == '-' ? -size : size;
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
  if (value != 0.0) exponent = eight_digits(std::fabs(value), digits) + 1;

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
// formatted on `pool` into a ring of buffers, and written one after the
// other as they come, so that the pool formats the next blocks while this
// thread writes.
template <class Format>
void write_rows(std::ostream& out, TaskPool& pool, int count, std::size_t longest, const Format& format) {
  constexpr int kBlockRows = 4096;
  const int blocks = (count + kBlockRows - 1) / kBlockRows;
  const int ring = std::min(blocks, 2 * pool.threads());
  // A buffer's group waits for its block's task, also when this function is
  // left early: the task writes into the buffer.
  struct Buffer {
    std::unique_ptr<char[]> chars;
    std::size_t length = 0;
    std::optional<TaskGroup> task;
  };
  std::vector<Buffer> buffers(static_cast<std::size_t>(ring));
  for (Buffer& buffer : buffers) buffer.chars = std::make_unique_for_overwrite<char[]>(kBlockRows * longest);
  const auto format_block = [&](int block) {
    Buffer& buffer = buffers[static_cast<std::size_t>(block % ring)];
    buffer.task.emplace(&pool);
    buffer.task->run([&buffer, &format, block, count] {
      const int from = 1 + block * kBlockRows;
      const int to = std::min(count, from + kBlockRows - 1);
      char* end = buffer.chars.get();
      for (int i = from; i <= to; ++i) end = format(i, end);
      buffer.length = static_cast<std::size_t>(end - buffer.chars.get());
    });
  };
  for (int block = 0; block < ring; ++block) format_block(block);
  for (int block = 0; block < blocks; ++block) {
    Buffer& buffer = buffers[static_cast<std::size_t>(block % ring)];
    buffer.task->wait();
    out.write(buffer.chars.get(), static_cast<std::streamsize>(buffer.length));
    if (block + ring < blocks) format_block(block + ring);
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
