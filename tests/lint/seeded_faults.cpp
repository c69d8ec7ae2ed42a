// Faults that scripts/lint.sh must report, one of each way it reaches a source: the static
// analyzer's path-sensitive checks and the AST matchers inside a batch, and the checks that see
// the main file only. Each line with a fault names its checks. Not built.
#include <cstddef>
#include <string>
#include <utility>

namespace brindle::seeded {

namespace other {
int Helper();
}
using other::Helper;             // seeded: misc-unused-using-decls
namespace unused_alias = other;  // seeded: misc-unused-alias-decls

#ifndef BRINDLE_SEEDED
#ifndef BRINDLE_SEEDED  // seeded: readability-redundant-preprocessor
#endif
#endif

int Dereference(bool flag) {
  int* pointer = nullptr;
  return flag ? *pointer : 0;  // seeded: clang-analyzer-core.NullDereference
}

std::size_t UseAfterMove() {
  std::string text = "moved";
  const std::string taken = std::move(text);
  return text.size();  // seeded: bugprone-use-after-move, clang-analyzer-cplusplus.Move
}

}  // namespace brindle::seeded
