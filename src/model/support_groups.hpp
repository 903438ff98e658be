#pragma once
// Which supports of a model file belong together: quorix-mesh writes, as
// remark lines before the sections, the DISPLACEMENT records each physical
// group gave, so that the reactions can be summed per support:
//
//   Supports of group 'left': DISPLACEMENT records 1-7
//
// The reader passes over these lines like any text outside the sections.

#include <string>
#include <string_view>
#include <vector>

namespace quorix {

struct SupportGroup {
  std::string name;
  int first_record = 0;  // DISPLACEMENT records first..last, 1-based
  int last_record = 0;
};

std::string support_group_remark(const SupportGroup& group);

// The groups of every such line of the model file's text, in the order of
// the file; lines that do not read as one are passed over.
std::vector<SupportGroup> read_support_groups(std::string_view text);

}  // namespace quorix
