// The library is built without exceptions. The standard library still reports a broken bounds
// check (`at`, `substr` past the end) through this helper; defined here, the check ends the
// process at once instead of linking the runtime's whole exception machinery into the DLL.
#include <cstdlib>

namespace std {

[[noreturn]] void __throw_out_of_range_fmt(const char* /*format*/, ...) { std::abort(); }

}  // namespace std
