// The library is built without exceptions. The standard library still reports a broken bounds
// check (`at`, `substr` past the end) through this helper; defined here, the check ends the
// process at once instead of linking the runtime's whole exception machinery into the DLL.
#include <cstdlib>

// NOLINTBEGIN(cert-dcl58-cpp,bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp,cert-dcl50-cpp)
namespace std {

[[noreturn]] void __throw_out_of_range_fmt(const char* /*format*/, ...) { std::abort(); }

}  // namespace std
// NOLINTEND(cert-dcl58-cpp,bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp,cert-dcl50-cpp)
