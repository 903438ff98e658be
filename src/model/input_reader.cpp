#include "model/input_reader.hpp"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <exception>
#include <limits>
#include <system_error>

#include "model/file_kind.hpp"
#include "model/global_system.hpp"
#include "model/input_error.hpp"
#include "parallel/task_pool.hpp"

namespace quorix {

// ---- Items -------------------------------------------------------------------
//
// The rules of free-format items, shared by the section search and the
// records:
//   - blanks and tabs separate items; so does one comma, with blanks around it
//     or not; two commas with nothing between them leave an empty (null) item,
//     and so does a comma at the start of a record;
//   - a slash ends the record;
//   - a bare item runs to the next blank, tab, comma or slash; an item that
//     starts with ' or " runs to the matching quote, a doubled quote inside it
//     standing for one;
//   - r*item stands for r copies of the item; r* alone for r null items.

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool ends_bare_item(char c) { return is_blank(c) || c == ',' || c == '/'; }
bool is_quote(char c) { return c == '\'' || c == '"'; }

std::string line_prefix(const std::string& file_name, int line) {
  return file_name + ":" + std::to_string(line) + ": ";
}

// The end of the quoted item starting at `start` (one past its closing
// quote), or npos when the line ends first.
std::size_t quoted_item_end(std::string_view line, std::size_t start) {
  const char quote = line[start];
  std::size_t i = start + 1;
  for (;;) {
    i = line.find(quote, i);
    if (i == std::string_view::npos) return i;
    if (i + 1 < line.size() && line[i + 1] == quote) {
      i += 2;  // a doubled quote inside the text
      continue;
    }
    return i + 1;
  }
}

std::size_t bare_item_end(std::string_view line, std::size_t start) {
  std::size_t i = start;
  while (i < line.size() && !ends_bare_item(line[i])) ++i;
  return i;
}

// A repeat count r* at `start`: returns the position after the '*' and sets
// `count`, or returns `start` when there is none. Counts beyond what any
// record could use are held at a large value.
std::size_t repeat_prefix(std::string_view line, std::size_t start, std::int64_t& count) {
  std::size_t i = start;
  std::int64_t r = 0;
  while (i < line.size() && is_digit(line[i])) {
    r = std::min<std::int64_t>(r * 10 + (line[i] - '0'), std::int64_t{1} << 40);
    ++i;
  }
  if (i == start || i >= line.size() || line[i] != '*') return start;
  count = r;
  return i + 1;
}

// An item as found on a line.
enum class ItemKind { value, null, slash, end_of_line, end_of_file, malformed };

struct Item {
  ItemKind kind = ItemKind::end_of_line;
  std::string_view text;     // a value's characters, inside the quotes for a quoted one
  std::string_view shown;    // the item as written, quotes included
  char quote = 0;            // the quote character of a quoted value, else 0
  const char* problem = "";  // what is wrong with a malformed item
  int line = 0;
};

// How an item is named after "found" in a message.
std::string found_text(const Item& item) {
  switch (item.kind) {
    case ItemKind::value:
      return quoted_for_message(item.shown);
    case ItemKind::malformed:
      return quoted_for_message(item.shown) + item.problem;
    case ItemKind::null:
      return item.shown.empty() ? "an empty item" : "empty items (" + quoted_for_message(item.shown) + ")";
    case ItemKind::slash:
      return "'/'";
    case ItemKind::end_of_line:
      return "the end of the line";
    case ItemKind::end_of_file:
      break;
  }
  return "the end of the file";
}

// Copies a text value into its fixed-width field, undoubling quotes.
template <std::size_t Width>
void store_text(const Item& item, FixedText<Width>& field) {
  std::array<char, Width> chars{};
  std::size_t n = 0;
  for (std::size_t i = 0; i < item.text.size() && n < Width; ++i) {
    chars[n++] = item.text[i];
    if (item.quote != 0 && item.text[i] == item.quote) ++i;  // skip the second of a pair
  }
  field.assign(std::string_view(chars.data(), n));
}

using FirstItem = InputLines::Start;

// The first item of a line as the section search reads it: a text of 20
// characters. A null first item or a slash gives none. An unclosed quote runs
// to the end of the line.
FirstItem read_first_item(std::string_view line, FixedText<20>& text) {
  std::size_t i = 0;
  while (i < line.size() && is_blank(line[i])) ++i;
  if (i == line.size()) return FirstItem::blank_line;
  std::int64_t repeat = 0;
  i = repeat_prefix(line, i, repeat);
  if (i == line.size() || ends_bare_item(line[i])) return FirstItem::none;
  Item item;
  if (is_quote(line[i])) {
    std::size_t end = quoted_item_end(line, i);
    item.quote = line[i];
    item.text = end == std::string_view::npos ? line.substr(i + 1) : line.substr(i + 1, end - i - 2);
  } else {
    item.text = line.substr(i, bare_item_end(line, i) - i);
  }
  store_text(item, text);
  return FirstItem::text;
}

}  // namespace

// ---- Lines -------------------------------------------------------------------

InputLines::InputLines(std::string_view text, TaskPool& pool, int max_lines) : text_(text) {
  std::size_t pos = 0;
  if (text_.substr(0, 3) == "\xEF\xBB\xBF") pos = 3;  // byte-order mark written by some editors
  const auto newlines = static_cast<std::size_t>(std::count(text_.begin() + pos, text_.end(), '\n'));
  const std::size_t room =
      std::min<std::size_t>(newlines + 1, static_cast<std::size_t>(std::max(max_lines, 0)));
  starts_.reserve(room);
  lengths_.reserve(room);
  while (pos < text_.size()) {
    const void* found = std::memchr(text_.data() + pos, '\n', text_.size() - pos);
    const std::size_t newline =
        found ? static_cast<std::size_t>(static_cast<const char*>(found) - text_.data()) : text_.size();
    std::size_t end = newline;
    if (end > pos && text_[end - 1] == '\r') --end;
    if (starts_.size() >= static_cast<std::size_t>(std::max(max_lines, 0))) {
      cut_ = true;
      break;
    }
    starts_.push_back(pos);
    lengths_.push_back(end - pos);
    pos = newline + 1;
  }
  // The first items, a group of lines to a thread.
  first_kinds_.resize(starts_.size(), Start::blank_line);
  first_texts_.resize(starts_.size());
  constexpr int kGroup = 1 << 14;
  pool.for_each_unit((count() + kGroup - 1) / kGroup, [&](int g) {
    for (int n = g * kGroup + 1; n <= std::min(count(), (g + 1) * kGroup); ++n) {
      const auto i = static_cast<std::size_t>(n - 1);
      first_kinds_[i] = read_first_item(line(n), first_texts_[i]);
    }
  });
}

std::string_view InputLines::line(int number) const {
  const auto i = static_cast<std::size_t>(number - 1);
  return text_.substr(starts_[i], lengths_[i]);
}

namespace {

// Walks the items of one record. A data record stays on its line; the
// "GENERAL" record may continue over the following lines.
class ItemCursor {
 public:
  ItemCursor(const InputLines& lines, const std::string& file_name, int line_number, bool may_continue)
      : lines_(lines), file_name_(file_name), line_number_(line_number), may_continue_(may_continue) {
    if (line_number_ <= lines_.count()) line_ = lines_.line(line_number_);
  }

  int line_number() const { return std::min(line_number_, std::max(lines_.count(), 1)); }

  // The next item. Repeats are handed out one copy at a time.
  Item next() {
    if (repeats_left_ > 0) {
      --repeats_left_;
      return repeated_;
    }
    const std::size_t before = pos_;
    const int line_before = line_number_;
    skip_space();
    if (after_value_ && pos_ < line_.size() && line_[pos_] == ',') {
      note_digit_comma();
      ++pos_;  // the comma that separates the previous item from this one
      skip_space();
    } else if (after_value_ && pos_ > before && pos_ < line_.size() && line_number_ == line_before) {
      blank_separated_ = true;
    }
    Item item;
    item.line = line_number();
    if (line_number_ > lines_.count()) {
      item.kind = ItemKind::end_of_file;
      return item;
    }
    if (pos_ == line_.size()) {
      item.kind = ItemKind::end_of_line;
      return item;
    }
    after_value_ = true;
    if (line_[pos_] == ',') {
      item.kind = ItemKind::null;  // the comma stays: it separates this null from the next item
      return item;
    }
    if (line_[pos_] == '/') {
      item.kind = ItemKind::slash;
      item.shown = line_.substr(pos_, 1);
      return item;
    }
    std::int64_t repeat = 1;
    const std::size_t start = pos_;
    pos_ = repeat_prefix(line_, pos_, repeat);
    if (pos_ > start && (pos_ == line_.size() || ends_bare_item(line_[pos_]))) {
      item.kind = ItemKind::null;  // r* alone: r null items
      item.shown = line_.substr(start, pos_ - start);
    } else {
      read_value(item, start);
    }
    if (repeat == 0) {
      item.kind = ItemKind::malformed;
      item.problem = " (a repeat count is at least 1)";
      return item;
    }
    if (repeat > std::numeric_limits<int>::max()) {
      item.kind = ItemKind::malformed;
      item.problem = " (a repeat count is an integer from 1 to 2147483647)";
      return item;
    }
    if (repeat > 1) {
      repeated_ = item;
      repeats_left_ = repeat - 1;
    }
    return item;
  }

  // The first separating comma read so far that has a digit on both sides,
  // with the items around it ("0,3"), or empty. A comma right after the last
  // item counts too, though nothing has read past it.
  std::string_view digit_comma() {
    if (digit_comma_.empty() && repeats_left_ == 0 && line_number_ <= lines_.count() && pos_ < line_.size() &&
        line_[pos_] == ',')
      note_digit_comma();
    return digit_comma_;
  }

  bool has_digit_comma() const { return !digit_comma_.empty(); }

  // Whether two items of the record so far were separated by blanks alone.
  bool blank_separated() const { return blank_separated_; }

  // Throws "FILE:LINE: TEXT" for the current line.
  [[noreturn]] void refuse(const std::string& text) const {
    throw InputError(line_prefix(file_name_, line_number()) + text);
  }

  // What follows on the current line, after blanks and one comma, up to the
  // next blank; nothing is consumed. Empty while copies of a repeat are left.
  std::string_view text_after() const {
    if (repeats_left_ > 0 || line_number_ > lines_.count()) return {};
    std::size_t i = pos_;
    while (i < line_.size() && is_blank(line_[i])) ++i;
    if (i < line_.size() && line_[i] == ',') ++i;
    while (i < line_.size() && is_blank(line_[i])) ++i;
    std::size_t end = i;
    while (end < line_.size() && !is_blank(line_[end])) ++end;
    return line_.substr(i, end - i);
  }

  // Throws "FILE:LINE: RECORD: expected EXPECTED, found FOUND" for the
  // current line.
  [[noreturn]] void fail(std::string_view record, std::string_view expected, std::string_view found) const {
    throw InputError(line_prefix(file_name_, line_number()) + std::string(record) + ": expected " +
                     std::string(expected) + ", found " + std::string(found));
  }

 private:
  // Passes over blanks and, in a record that may continue, over line ends.
  void skip_space() {
    for (;;) {
      while (pos_ < line_.size() && is_blank(line_[pos_])) ++pos_;
      if (pos_ < line_.size() || !may_continue_ || line_number_ > lines_.count()) return;
      ++line_number_;
      pos_ = 0;
      line_ = line_number_ <= lines_.count() ? lines_.line(line_number_) : std::string_view();
    }
  }

  // Called with pos_ on a separating comma.
  void note_digit_comma() {
    if (!digit_comma_.empty() || pos_ == 0 || pos_ + 1 >= line_.size() || !is_digit(line_[pos_ - 1]) ||
        !is_digit(line_[pos_ + 1]))
      return;
    std::size_t first = pos_;
    while (first > 0 && !ends_bare_item(line_[first - 1])) --first;
    digit_comma_ = line_.substr(first, bare_item_end(line_, pos_ + 1) - first);
  }

  // The value at pos_; `start` is where the item began, repeat count included.
  void read_value(Item& item, std::size_t start) {
    item.kind = ItemKind::value;
    if (is_quote(line_[pos_])) {
      std::size_t end = quoted_item_end(line_, pos_);
      if (end == std::string_view::npos) {
        item.kind = ItemKind::malformed;
        item.problem = " without its closing quote";
        end = line_.size();
      } else if (end < line_.size() && !ends_bare_item(line_[end])) {
        item.kind = ItemKind::malformed;
        item.problem = " (no blank, comma or slash after the closing quote)";
        end = bare_item_end(line_, end);
      } else {
        item.quote = line_[pos_];
        item.text = line_.substr(pos_ + 1, end - pos_ - 2);
      }
      pos_ = end;
    } else {
      const std::size_t value_start = pos_;
      pos_ = bare_item_end(line_, pos_);
      item.text = line_.substr(value_start, pos_ - value_start);
    }
    item.shown = line_.substr(start, pos_ - start);
  }

  const InputLines& lines_;
  const std::string& file_name_;
  int line_number_;
  bool may_continue_;
  std::string_view line_;
  std::size_t pos_ = 0;
  bool after_value_ = false;  // a value or null has been read: a comma now separates
  Item repeated_;
  std::int64_t repeats_left_ = 0;
  std::string_view digit_comma_;
  bool blank_separated_ = false;
};

// ---- Numbers -----------------------------------------------------------------

// [+-]digits
bool parse_int(std::string_view text, int& value, bool& out_of_range) {
  out_of_range = false;
  std::size_t i = 0;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) i = 1;
  if (i == text.size()) return false;
  for (std::size_t k = i; k < text.size(); ++k)
    if (!is_digit(text[k])) return false;
  // from_chars takes a minus sign but not a plus sign.
  const char* first = text.data() + (text[0] == '+' ? 1 : 0);
  const auto result = std::from_chars(first, text.data() + text.size(), value);
  if (result.ec == std::errc::result_out_of_range) {
    out_of_range = true;
    return false;
  }
  return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

// [+-] (digits [. [digits]] | . digits) [(E|e|D|d) [+-] digits], written into
// `buffer` with a plain 'e' exponent and no plus sign so that from_chars reads
// it; from_chars rounds correctly. A value too large for a double fails; one
// too small becomes a zero of the same sign.
bool parse_real(std::string_view text, double& value, std::string& buffer) {
  buffer.clear();
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    if (negative) buffer.push_back('-');
    ++i;
  }
  // Decimal order of the first non-zero digit, to tell overflow from underflow.
  std::int64_t order = 0;
  bool seen_nonzero = false;
  int digits = 0;
  while (i < text.size() && is_digit(text[i])) {
    if (seen_nonzero || text[i] != '0') {
      if (!seen_nonzero) order = -1;
      seen_nonzero = true;
      ++order;
    }
    buffer.push_back(text[i++]);
    ++digits;
  }
  if (i < text.size() && text[i] == '.') {
    buffer.push_back(text[i++]);
    while (i < text.size() && is_digit(text[i])) {
      if (!seen_nonzero) {
        --order;
        if (text[i] != '0') seen_nonzero = true;
      }
      buffer.push_back(text[i++]);
      ++digits;
    }
  }
  if (digits == 0) return false;
  std::int64_t exponent = 0;
  if (i < text.size()) {
    const char marker = text[i];
    if (marker != 'E' && marker != 'e' && marker != 'D' && marker != 'd') return false;
    buffer.push_back('e');
    ++i;
    bool exponent_negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
      exponent_negative = text[i] == '-';
      if (exponent_negative) buffer.push_back('-');
      ++i;
    }
    if (i == text.size()) return false;
    for (; i < text.size(); ++i) {
      if (!is_digit(text[i])) return false;
      exponent = std::min<std::int64_t>(exponent * 10 + (text[i] - '0'), std::int64_t{1} << 40);
      buffer.push_back(text[i]);
    }
    if (exponent_negative) exponent = -exponent;
  }
  const auto result = std::from_chars(buffer.data(), buffer.data() + buffer.size(), value);
  if (result.ec == std::errc::result_out_of_range) {
    if (!seen_nonzero || order + exponent < 0) {
      value = negative ? -0.0 : 0.0;
      return true;
    }
    return false;
  }
  return result.ec == std::errc() && result.ptr == buffer.data() + buffer.size();
}

// A record may be followed by a remark, even one that starts with a number.
// But a number left over together with a comma between two digits is what
// decimal commas leave behind: "0,3" reads as the two items 0 and 3, every
// later item moves one place on, and the last one lands in the remark. The
// values read would be wrong without any other sign, so the record is
// refused.
//
// Even when nothing is left over, a line whose items are separated by blanks
// has no business with a comma between two runs of digits ("1 1000.0 0,3"
// gives nu = 0 and a weight of 3): that too is refused. A line with commas
// between all its items keeps its meaning.
void refuse_decimal_commas(ItemCursor& cursor, std::string_view record, std::string_view last_field,
                           std::string& buffer, bool comma_after_real) {
  const std::string_view comma = cursor.digit_comma();
  if (comma.empty()) return;
  const std::string_view after = cursor.text_after();
  const std::string_view item = after.substr(0, bare_item_end(after, 0));
  double ignored = 0.0;
  if (!item.empty() && parse_real(item, ignored, buffer))
    cursor.fail(record, "no more numbers after " + std::string(last_field),
                quoted_for_message(after) + " (a comma separates items, so " + quoted_for_message(comma) +
                    " is read as two numbers; write decimals with a point)");
  const std::size_t at = comma.find(',');
  const std::string_view whole = comma.substr(0, at);
  const std::string_view fraction = comma.substr(at + 1);
  const std::string_view digits = whole.substr(whole.empty() || (whole[0] != '-' && whole[0] != '+') ? 0 : 1);
  const auto all_digits = [](std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), is_digit);
  };
  if (!comma_after_real || !cursor.blank_separated() || !all_digits(digits) || !all_digits(fraction)) return;
  cursor.refuse(std::string(record) + ": " + quoted_for_message(comma) + " reads as the two numbers " +
                std::string(whole) + " and " + std::string(fraction) + ": write decimals with a point (" +
                std::string(whole) + "." + std::string(fraction) +
                "), or separate every item of the line with commas");
}

// ---- Records -----------------------------------------------------------------

// Reads the items of one data record in order, naming the field in every
// message. The descriptions are only put together when something fails.
class RecordReader {
 public:
  RecordReader(const InputLines& lines, const std::string& file_name, std::string_view section, int record,
               int line, std::string& buffer)
      : cursor_(lines, file_name, line, false), section_(section), record_(record), buffer_(buffer) {}

  int integer(std::string_view field) {
    const Item item = value_item(field, "an integer");
    int value = 0;
    bool out_of_range = false;
    if (item.quote == 0 && parse_int(item.text, value, out_of_range)) return value;
    fail(field, out_of_range ? "an integer from -2147483648 to 2147483647" : "an integer", found_text(item));
  }

  double real(std::string_view field) {
    const Item item = value_item(field, "a finite real number");
    previous_real_ = true;
    double value = 0.0;
    if (item.quote == 0 && parse_real(item.text, value, buffer_)) return value;
    fail(field, "a finite real number", found_text(item));
  }

  template <std::size_t Width>
  void text(std::string_view field, FixedText<Width>& target) {
    store_text(value_item(field, "a text"), target);
  }

  // After the last item of the record.
  void finish() {
    if (!cursor_.has_digit_comma() && !cursor_.digit_comma().empty()) comma_after_real_ = previous_real_;
    refuse_decimal_commas(cursor_, std::string(section_) + " record " + std::to_string(record_), last_field_,
                          buffer_, comma_after_real_);
  }

 private:
  [[noreturn]] void fail(std::string_view field, std::string_view kind, const std::string& found) const {
    cursor_.fail(std::string(section_) + " record " + std::to_string(record_),
                 std::string(field) + " (" + std::string(kind) + ")", found);
  }

  // The next item, which must be a value: data records give every item on
  // their own line.
  Item value_item(std::string_view field, std::string_view kind) {
    last_field_ = field;
    const bool had_digit_comma = cursor_.has_digit_comma();
    const Item item = cursor_.next();
    // A comma between digits right after a real is where a decimal comma
    // would be; between integers (node lists) it merely separates.
    if (!had_digit_comma && cursor_.has_digit_comma()) comma_after_real_ = previous_real_;
    previous_real_ = false;
    if (item.kind == ItemKind::value) return item;
    std::string found = found_text(item);
    if (item.kind == ItemKind::end_of_line || item.kind == ItemKind::null || item.kind == ItemKind::slash)
      found += " (a data record gives all its items on its own line)";
    fail(field, kind, found);
  }

  ItemCursor cursor_;
  std::string_view section_;
  int record_;
  std::string& buffer_;
  std::string_view last_field_;
  bool previous_real_ = false;     // the item read last was a real
  bool comma_after_real_ = false;  // the first comma between digits came after a real
};

// ---- Keywords written another way, sections given twice ---------------------
//
// The search knows a keyword only as written in the table below, so "Force",
// "FORCE:" or "FORCES" leaves its section to be passed over as text outside
// the sections, records and all. Such a line is refused when what follows it
// is laid out as that section would be: three free lines, then data lines up
// to a terminator, one of which at least reads as the section's record. A
// remark that merely starts with the word ("Material: steel") stays a remark.

struct SectionKind {
  std::string_view keyword;
  // The items a record starts with: i an integer, r a real, t a text.
  std::string_view items;
};

constexpr std::array<SectionKind, 8> kSections = {{{"GENERAL", "ttirr"},
                                                   {"NODE", "irr"},
                                                   {"MATERIAL", "irrr"},
                                                   {"THICKNESS", "ir"},
                                                   {"ELEMENT", "iiiiiiiiiiiii"},
                                                   {"FORCE", "iirr"},
                                                   {"PRESSURE", "iiitrrrr"},
                                                   {"DISPLACEMENT", "iitr"}}};
constexpr std::size_t kGeneral = 0;
constexpr std::size_t kNode = 1;

bool same_ignoring_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return upper_ascii(x) == upper_ascii(y); });
}

// How `item` departs from `keyword` when it is the keyword in another case,
// with a trailing colon or in the plural ("upper case, without the colon");
// empty when it is something else, the keyword itself included.
std::string keyword_slip(std::string_view item, std::string_view keyword) {
  const bool colon = !item.empty() && item.back() == ':';
  if (colon) item.remove_suffix(1);
  std::string_view plural;
  if (item.size() == keyword.size() + 1 && upper_ascii(item.back()) == 'S')
    plural = "S";
  else if (keyword.back() == 'S' && item.size() == keyword.size() + 2 && upper_ascii(item.back()) == 'S' &&
           upper_ascii(item[item.size() - 2]) == 'E')
    plural = "ES";
  item.remove_suffix(plural.size());
  if (!same_ignoring_case(item, keyword)) return "";
  std::string how;
  const auto add = [&how](const std::string& part) { how += (how.empty() ? "" : ", ") + part; };
  if (item != keyword) add("upper case");
  if (!plural.empty()) add("without the " + std::string(plural));
  if (colon) add("without the colon");
  return how;
}

[[noreturn]] void refuse_keyword_slip(const std::string& file_name, int line, std::string_view item,
                                      std::string_view keyword, const std::string& how) {
  throw InputError(line_prefix(file_name, line) + quoted_for_message(item) +
                   " is not a section keyword; did you mean " + std::string(keyword) + " (" + how + ")?");
}

// Lines first..last of one section: keyword line, free lines, data lines and
// terminator.
struct Span {
  int first = 0;
  int last = -1;
  bool contains(int n) const { return first <= n && n <= last; }
};

// True when line n's first item begins with '-': the line that ends a section.
bool is_terminator(const InputLines& lines, int n) {
  return lines.first_kind(n) == FirstItem::text && lines.first_text(n).padded()[0] == '-';
}

// The first line from `from` on whose first item begins with '-', or 0.
int terminator_line(const InputLines& lines, int from) {
  for (int n = from; n <= lines.count(); ++n)
    if (is_terminator(lines, n)) return n;
  return 0;
}

// The span of the section `s` whose keyword stands on `keyword_line`. A
// "GENERAL" section has no terminator: it ends with its record, on
// `general_last` when that is known.
Span section_span(const InputLines& lines, std::size_t s, int keyword_line, int general_last) {
  const int first_data = keyword_line + 4;
  if (s == kGeneral) return Span{keyword_line, std::min(std::max(first_data, general_last), lines.count())};
  const int terminator = terminator_line(lines, first_data);
  return Span{keyword_line, terminator > 0 ? terminator : lines.count()};
}

// The sections the reader reads: the first of each keyword.
std::array<Span, kSections.size()> first_sections(const InputLines& lines, int general_last) {
  std::array<Span, kSections.size()> spans{};
  for (std::size_t s = 0; s < kSections.size(); ++s)
    if (const SectionStart start = find_section(lines, kSections[s].keyword); start.found)
      spans[s] = section_span(lines, s, start.keyword_line, general_last);
  return spans;
}

bool in_any(const std::array<Span, kSections.size()>& spans, int n) {
  return std::any_of(spans.begin(), spans.end(), [n](const Span& span) { return span.contains(n); });
}

// Whether line `n` starts with the items of a record of section `s`.
bool reads_as_record(const InputLines& lines, const std::string& file_name, int n, std::size_t s,
                     std::string& buffer) {
  ItemCursor cursor(lines, file_name, n, false);
  for (const char kind : kSections[s].items) {
    const Item item = cursor.next();
    int integer = 0;
    bool out_of_range = false;
    double real = 0.0;
    if (item.kind != ItemKind::value || (kind != 't' && item.quote != 0) ||
        (kind == 'i' && !parse_int(item.text, integer, out_of_range)) ||
        (kind == 'r' && !parse_real(item.text, real, buffer)))
      return false;
  }
  return true;
}

// Whether the lines after line `n` are laid out as section `s`. `searched`
// remembers the last stretch of data lines found to hold no such record, up
// to its terminator (or the end of the file): a line whose data would start
// inside it need not be searched again.
bool laid_out_as_section(const InputLines& lines, const std::string& file_name, int n, std::size_t s,
                         Span& searched, std::string& buffer) {
  const int from = n + 4;
  if (searched.contains(from)) return false;
  bool record = false;
  for (int m = from; m <= lines.count(); ++m) {
    if (lines.first_kind(m) == FirstItem::blank_line) continue;
    if (is_terminator(lines, m)) {
      if (record) return true;
      searched = Span{from, m};
      return false;
    }
    record = record || reads_as_record(lines, file_name, m, s, buffer);
  }
  searched = Span{from, lines.count()};
  return false;
}

// For section `s`, which every file needs and this one lacks: the first line
// outside the sections that is its keyword written another way is named,
// whatever follows it.
void refuse_slip_of_missing_section(const InputLines& lines, const std::string& file_name, std::size_t s,
                                    int general_last) {
  const auto sections = first_sections(lines, general_last);
  FixedText<20> item;
  for (int n = 1; n <= lines.count(); ++n) {
    if (in_any(sections, n) || lines.first_item(n, item) != FirstItem::text) continue;
    if (const std::string how = keyword_slip(item.trimmed(), kSections[s].keyword); !how.empty())
      refuse_keyword_slip(file_name, n, item.trimmed(), kSections[s].keyword, how);
  }
}

// Refuses a keyword written another way with its section under it, and warns
// of each section whose keyword has already started one (only the first is
// read; the lines of the others are passed over).
void check_section_keywords(const InputLines& lines, const std::string& file_name, int general_last,
                            std::vector<std::string>& warnings, std::string& buffer) {
  const auto sections = first_sections(lines, general_last);
  std::array<Span, kSections.size()> searched{};
  int ignored_until = 0;  // the last line of the latest section passed over
  FixedText<20> item;
  for (int n = 1; n <= lines.count(); ++n) {
    if (n <= ignored_until || in_any(sections, n) || lines.first_item(n, item) != FirstItem::text) continue;
    const std::string_view text = item.trimmed();
    for (std::size_t s = 0; s < kSections.size(); ++s) {
      // A later line that merely starts with a keyword ("NODE numbering as
      // drawn") is a remark; one laid out as a section is a second section.
      if (text == kSections[s].keyword) {
        if (!laid_out_as_section(lines, file_name, n, s, searched[s], buffer)) break;
        warnings.push_back(line_prefix(file_name, n) + "warning: this \"" + std::string(text) +
                           "\" section is ignored; only the first one, on line " +
                           std::to_string(sections[s].first) + ", is read");
        ignored_until = section_span(lines, s, n, 0).last;
        break;
      }
      if (const std::string how = keyword_slip(text, kSections[s].keyword);
          !how.empty() && laid_out_as_section(lines, file_name, n, s, searched[s], buffer))
        refuse_keyword_slip(file_name, n, text, kSections[s].keyword, how);
    }
  }
}

// Reads the one "GENERAL" record. It may run over several lines; a null item
// keeps the setting's current value, a slash keeps all the remaining ones.
void read_general(const InputLines& lines, const std::string& file_name, AnalysisSettings& settings,
                  SourceLines& source, std::string& buffer) {
  const SectionStart start = find_section(lines, "GENERAL");
  if (!start.found) {
    refuse_slip_of_missing_section(lines, file_name, kGeneral, 0);
    // A Gmsh file given to quorix by mistake is named as such.
    if (lines.count() > 0) {
      const std::string_view last = lines.line(lines.count());
      const std::string_view whole(
          lines.line(1).data(), static_cast<std::size_t>(last.data() + last.size() - lines.line(1).data()));
      if (const std::string message = wrong_program_message(file_name, guess_file_kind(whole), "quorix");
          !message.empty())
        throw InputError(message);
    }
    throw InputError(line_prefix(file_name, std::max(lines.count(), 1)) +
                     "expected a section \"GENERAL\", found the end of the file without one");
  }
  // The file may end within the three free lines: then no record has started.
  const std::string record_start =
      start.first_data_line > lines.count()
          ? " (within the three lines after the keyword on line " + std::to_string(start.keyword_line) + ")"
          : " (the record started at line " + std::to_string(start.first_data_line) + ")";
  // A record written straight under the keyword is skipped as a free line, and
  // what follows is read in its place. When the record read does not start
  // with an analysis type but a free line does, the message says so.
  bool starts_with_type = false;
  const auto skipped_record = [&]() -> std::string {
    if (starts_with_type) return "";
    for (int n = start.keyword_line + 1; n < start.first_data_line; ++n) {
      FixedText<20> item;
      if (lines.first_item(n, item) == FirstItem::text && (item == "LINEAR" || item == "NONLINEAR"))
        return " (line " + std::to_string(n) +
               " looks like the record, but the three lines after the keyword are skipped)";
    }
    return "";
  };
  static constexpr std::array<const char*, 5> kExpected = {
      "the analysis type (a text)", "the stress state (a text)", "the load increments (an integer)",
      "the displacement tolerance (a finite real number)", "the penalty factor (a finite real number)"};
  ItemCursor cursor(lines, file_name, start.first_data_line, true);
  for (std::size_t i = 0; i < kExpected.size(); ++i) {
    const Item item = cursor.next();
    source.general[i] = item.line;
    if (item.kind == ItemKind::end_of_file)
      cursor.fail("GENERAL record", kExpected[i], "the end of the file" + record_start + skipped_record());
    if (item.kind == ItemKind::slash) {
      std::fill(source.general.begin() + static_cast<std::ptrdiff_t>(i), source.general.end(), item.line);
      return;
    }
    if (item.kind == ItemKind::null) continue;
    bool ok = item.kind == ItemKind::value && (item.quote == 0 || i < 2);
    bool out_of_range = false;
    if (ok) switch (i) {
        case 0:
          store_text(item, settings.analysis_type);
          starts_with_type = settings.analysis_type == "LINEAR" || settings.analysis_type == "NONLINEAR";
          break;
        case 1:
          store_text(item, settings.stress_state);
          break;
        case 2:
          ok = parse_int(item.text, settings.load_increments, out_of_range);
          break;
        case 3:
          ok = parse_real(item.text, settings.displacement_tolerance, buffer);
          break;
        default:
          ok = parse_real(item.text, settings.penalty_factor, buffer);
          break;
      }
    if (!ok)
      cursor.fail(
          "GENERAL record",
          out_of_range ? "the load increments (an integer from -2147483648 to 2147483647)" : kExpected[i],
          found_text(item) + skipped_record());
  }
  refuse_decimal_commas(cursor, "GENERAL record", "the penalty factor", buffer, false);
}

void read_node(RecordReader& record, Node& node) {
  node.id = record.integer("the node number");
  node.x = record.real("the x coordinate");
  node.y = record.real("the y coordinate");
  node.u = 0.0;
  node.v = 0.0;
}

void read_material(RecordReader& record, Material& material) {
  material.id = record.integer("the material number");
  material.young_modulus = record.real("Young's modulus");
  material.poisson_ratio = record.real("Poisson's ratio");
  material.specific_weight = record.real("the specific weight");
}

void read_thickness(RecordReader& record, Thickness& thickness) {
  thickness.id = record.integer("the thickness number");
  thickness.value = record.real("the thickness");
}

void read_element(RecordReader& record, Element& element) {
  static constexpr std::array<const char*, 10> kNodeNames = {
      "node 1", "node 2", "node 3", "node 4", "node 5", "node 6", "node 7", "node 8", "node 9", "node 10"};
  element.id = record.integer("the element number");
  for (std::size_t k = 0; k < 10; ++k) element.nodes[k] = record.integer(kNodeNames[k]);
  element.material = record.integer("the material number");
  element.thickness = record.integer("the thickness number");
}

void read_force(RecordReader& record, NodalForce& force) {
  force.id = record.integer("the force number");
  force.node = record.integer("the node number");
  force.fx = record.real("fx");
  force.fy = record.real("fy");
}

void read_pressure(RecordReader& record, EdgePressure& pressure) {
  pressure.id = record.integer("the pressure number");
  pressure.element = record.integer("the element number");
  pressure.edge = record.integer("the edge number");
  record.text("the system", pressure.system);
  pressure.q1_start = record.real("q1 at the edge start");
  pressure.q1_end = record.real("q1 at the edge end");
  pressure.q2_start = record.real("q2 at the edge start");
  pressure.q2_end = record.real("q2 at the edge end");
}

void read_displacement(RecordReader& record, PrescribedDisplacement& displacement) {
  displacement.id = record.integer("the record number");
  displacement.node = record.integer("the node number");
  record.text("the direction", displacement.direction);
  displacement.value = record.real("the value");
}

// Sizes the table to the section's data lines and reads one record from each.
// The records are read in groups, a group to a thread; of the records that
// cannot be read, the first in the file is reported.
template <class T, class ReadRecord>
void read_section(const InputLines& lines, const std::string& file_name, std::string_view keyword,
                  Table1<T>& table, std::vector<int>& record_lines, ReadRecord read_record, TaskPool& pool) {
  record_lines = section_data_lines(lines, keyword, file_name);
  table = Table1<T>(static_cast<std::int64_t>(record_lines.size()));
  constexpr std::size_t kGroup = 4096;
  const std::size_t groups = (record_lines.size() + kGroup - 1) / kGroup;
  std::vector<std::exception_ptr> failures(groups);
  pool.for_each_unit(static_cast<int>(groups), [&](int g) {
    std::string buffer;  // reused by every real number of the group
    try {
      const std::size_t first = static_cast<std::size_t>(g) * kGroup;
      for (std::size_t i = first; i < std::min(record_lines.size(), first + kGroup); ++i) {
        RecordReader record(lines, file_name, keyword, static_cast<int>(i + 1), record_lines[i], buffer);
        read_record(record, table[i]);
        record.finish();
      }
    } catch (...) {
      failures[static_cast<std::size_t>(g)] = std::current_exception();
    }
  });
  for (const std::exception_ptr& failure : failures)
    if (failure) std::rethrow_exception(failure);
}

}  // namespace

// ---- Sections ----------------------------------------------------------------

SectionStart find_section(const InputLines& lines, std::string_view keyword) {
  const char lead = keyword.empty() ? ' ' : keyword[0];  // a quick test before the whole text
  for (int n = 1; n <= lines.count(); ++n) {
    if (lines.first_kind(n) != FirstItem::text || lines.first_text(n).padded()[0] != lead) continue;
    if (lines.first_text(n) == keyword) return SectionStart{true, n, std::min(n + 4, lines.count() + 1)};
  }
  return SectionStart{};
}

std::vector<int> section_data_lines(const InputLines& lines, std::string_view keyword,
                                    const std::string& file_name) {
  std::vector<int> data;
  const SectionStart start = find_section(lines, keyword);
  if (!start.found) return data;
  for (int n = start.first_data_line; n <= lines.count(); ++n) {
    if (lines.first_kind(n) == FirstItem::blank_line) continue;
    if (is_terminator(lines, n)) return data;
    data.push_back(n);
  }
  throw InputError(line_prefix(file_name, std::max(lines.count(), 1)) +
                   "expected a line beginning with '-' to end section \"" + std::string(keyword) +
                   "\" (line " + std::to_string(start.keyword_line) + "), found the end of the file");
}

int count_section_lines(const InputLines& lines, std::string_view keyword, const std::string& file_name) {
  return static_cast<int>(section_data_lines(lines, keyword, file_name).size());
}

// ---- The whole file ----------------------------------------------------------

SourceLines read_input_lines(const InputLines& lines, const std::string& file_name, Model& model,
                             AnalysisSettings& settings, TaskPool& pool) {
  if (lines.cut())
    throw InputError(line_prefix(file_name, lines.count() + 1) + "expected at most " +
                     std::to_string(lines.count()) + " lines in the file, found more");
  SourceLines source;
  source.last_line = lines.count();
  source.node_keyword = find_section(lines, "NODE").keyword_line;
  std::string buffer;  // reused by every real number

  read_general(lines, file_name, settings, source, buffer);
  // Without nodes the model fails its test anyway; a keyword in the wrong case
  // is the likeliest reason and is named instead.
  const int general_last = *std::max_element(source.general.begin(), source.general.end());
  if (source.node_keyword == 0) refuse_slip_of_missing_section(lines, file_name, kNode, general_last);
  // Nodes, materials and thicknesses come before the elements that refer to
  // them; the references are kept as numbers and checked by check_model.
  read_section(lines, file_name, "NODE", model.nodes, source.nodes, read_node, pool);
  // Equation numbers (two per node) are 32-bit integers.
  constexpr int kMaxNodes = std::numeric_limits<int>::max() / 2;
  if (model.nodes.size64() > kMaxNodes)
    throw InputError(line_prefix(file_name, source.node_keyword) + "NODE section: expected at most " +
                     std::to_string(kMaxNodes) + " records, found " + std::to_string(model.nodes.size64()));
  read_section(lines, file_name, "MATERIAL", model.materials, source.materials, read_material, pool);
  read_section(lines, file_name, "THICKNESS", model.thicknesses, source.thicknesses, read_thickness, pool);
  read_section(lines, file_name, "ELEMENT", model.elements, source.elements, read_element, pool);
  read_section(lines, file_name, "FORCE", model.forces, source.forces, read_force, pool);
  read_section(lines, file_name, "PRESSURE", model.pressures, source.pressures, read_pressure, pool);
  read_section(lines, file_name, "DISPLACEMENT", model.prescribed_displacements, source.displacements,
               read_displacement, pool);
  check_section_keywords(lines, file_name, general_last, source.warnings, buffer);

  create_global_system(model);
  return source;
}

SourceLines read_input_text(std::string_view text, const std::string& file_name, Model& model,
                            AnalysisSettings& settings, TaskPool& pool) {
  return read_input_lines(InputLines(text, pool), file_name, model, settings, pool);
}

SourceLines read_input_file(std::istream& in, const std::string& file_name, Model& model,
                            AnalysisSettings& settings, TaskPool& pool) {
  std::string text;
  std::array<char, 1 << 16> chunk;
  while (in.read(chunk.data(), chunk.size()) || in.gcount() > 0)
    text.append(chunk.data(), static_cast<std::size_t>(in.gcount()));
  return read_input_text(text, file_name, model, settings, pool);
}

std::string quoted_for_message(std::string_view text) {
  constexpr std::size_t kMaxShown = 40;
  std::string shown = "'";
  for (std::size_t i = 0; i < text.size() && i < kMaxShown; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '\t') {
      shown += "\\t";
    } else if (c < 0x20 || c >= 0x7F) {
      static constexpr char kHex[] = "0123456789ABCDEF";
      shown += "\\x";
      shown += kHex[c >> 4];
      shown += kHex[c & 0xF];
    } else {
      shown += static_cast<char>(c);
    }
  }
  if (text.size() > kMaxShown) shown += "...";
  return shown + "'";
}

}  // namespace quorix
