#pragma once
// Fixed-width, blank-padded texts of the input (settings, pressure systems,
// displacement directions). A longer text is cut to the width, a shorter one
// padded with blanks. Comparing with a keyword ignores trailing blanks and is
// otherwise exact: leading blanks and case count.

#include <array>
#include <cstddef>
#include <string_view>

namespace quorix {

// An ASCII letter in upper case; anything else as it is.
inline char upper_ascii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

template <std::size_t Width>
class FixedText {
 public:
  FixedText() { chars_.fill(' '); }
  FixedText(std::string_view text) { assign(text); }  // NOLINT: texts convert implicitly

  void assign(std::string_view text) {
    chars_.fill(' ');
    for (std::size_t i = 0; i < Width && i < text.size(); ++i) chars_[i] = text[i];
  }
  // The text without its trailing blanks.
  std::string_view trimmed() const {
    std::size_t n = Width;
    while (n > 0 && chars_[n - 1] == ' ') --n;
    return std::string_view(chars_.data(), n);
  }
  std::string_view padded() const { return std::string_view(chars_.data(), Width); }
  static constexpr std::size_t width() { return Width; }

  friend bool operator==(const FixedText& text, std::string_view keyword) {
    return text.trimmed() == keyword;
  }
  friend bool operator==(const FixedText& a, const FixedText& b) { return a.chars_ == b.chars_; }

 private:
  std::array<char, Width> chars_;
};

}  // namespace quorix
