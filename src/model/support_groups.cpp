#include "model/support_groups.hpp"

#include <charconv>

namespace quorix {

namespace {

constexpr std::string_view kStart = "Supports of group '";
constexpr std::string_view kMiddle = "': DISPLACEMENT records ";

bool read_int(std::string_view text, int& value) {
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return result.ec == std::errc() && result.ptr == text.data() + text.size() && value >= 1;
}

}  // namespace

std::string support_group_remark(const SupportGroup& group) {
  return std::string(kStart) + group.name + std::string(kMiddle) + std::to_string(group.first_record) + "-" +
         std::to_string(group.last_record);
}

std::vector<SupportGroup> read_support_groups(std::string_view text) {
  std::vector<SupportGroup> groups;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.substr(0, kStart.size()) != kStart) continue;
    // The name runs to the last "': DISPLACEMENT records ", so it may hold a quote.
    const std::size_t middle = line.rfind(kMiddle);
    if (middle == std::string_view::npos || middle < kStart.size()) continue;
    const std::string_view range = line.substr(middle + kMiddle.size());
    const std::size_t dash = range.find('-');
    SupportGroup group;
    group.name = std::string(line.substr(kStart.size(), middle - kStart.size()));
    if (dash == std::string_view::npos || !read_int(range.substr(0, dash), group.first_record) ||
        !read_int(range.substr(dash + 1), group.last_record) || group.last_record < group.first_record)
      continue;
    groups.push_back(std::move(group));
  }
  return groups;
}

}  // namespace quorix
