#include "service/message_memories.h"

#include <algorithm>
#include <string_view>

namespace brindle::service {

std::vector<std::string> ReadableMemories(std::span<const std::string> information) {
  constexpr std::string_view kPrefix = "+CPMS:";
  std::vector<std::string> offered;
  for (const std::string& line : information) {
    if (!line.starts_with(kPrefix)) {
      continue;
    }
    // The first parameter lists the memories that can be read and deleted: "(...)" or one name.
    std::string_view first = std::string_view(line).substr(kPrefix.size());
    const std::size_t open = first.find('(');
    first = open == std::string_view::npos ? first.substr(0, first.find(','))
                                           : first.substr(open, first.find(')') - open);
    for (std::size_t quote = first.find('"'); quote != std::string_view::npos;) {
      const std::size_t end = first.find('"', quote + 1);
      if (end == std::string_view::npos) {
        break;
      }
      offered.emplace_back(first.substr(quote + 1, end - quote - 1));
      quote = first.find('"', end + 1);
    }
  }
  std::vector<std::string> readable;
  for (const std::string_view wanted : {"SM", "ME"}) {
    if (std::find(offered.begin(), offered.end(), wanted) != offered.end()) {
      readable.emplace_back(wanted);
    }
  }
  if (readable.empty() && !offered.empty()) {
    readable.push_back(offered.front());
  }
  return readable;
}

}  // namespace brindle::service
