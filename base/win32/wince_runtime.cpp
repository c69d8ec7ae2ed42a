// The helpers the compiler and the standard headers call on ARM, for Windows CE only. This
// build links no compiler runtime and imports nothing but system calls from coredll.dll, so
// they are here: integer division (ARMv4 has no divide instruction) and counting leading zeros
// (no CLZ before ARMv5), the EABI copies and fills for structure copies and zero-filled
// buffers, the C string functions that std::string_view and std::copy end in, and the delete
// that a virtual destructor's table names. Nothing here is fast: the library divides and
// copies a few hundred times per send.
#include <cstddef>
#include <cstdint>

namespace {

// Restoring division, one bit at a time. The library never divides by zero; should it, the
// quotient is 0 and the remainder the dividend.
template <typename T>
T Divide(T dividend, T divisor, T& remainder) {
  T quotient = 0;
  remainder = 0;
  if (divisor == 0) {
    remainder = dividend;
    return 0;
  }
  for (int bit = static_cast<int>(sizeof(T) * 8) - 1; bit >= 0; --bit) {
    remainder = static_cast<T>(remainder << 1U) | static_cast<T>((dividend >> bit) & 1U);
    if (remainder >= divisor) {
      remainder -= divisor;
      quotient |= static_cast<T>(T{1} << bit);
    }
  }
  return quotient;
}

std::uint32_t Magnitude(std::int32_t value) {
  return value < 0 ? 0U - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
}

// The helpers' results in registers: a 64-bit value comes back in r0 (low word) and r1, a
// 128-bit vector in r0 to r3.
std::uint64_t Pair(std::uint32_t low, std::uint32_t high) {
  return static_cast<std::uint64_t>(high) << 32U | low;
}
using Quad = std::uint32_t __attribute__((vector_size(16)));

}  // namespace

// The names and argument orders are the ARM run-time ABI's.
// NOLINTBEGIN(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp,readability-identifier-naming)
extern "C" {

std::uint32_t __aeabi_uidiv(std::uint32_t dividend, std::uint32_t divisor) {
  std::uint32_t remainder = 0;
  return Divide(dividend, divisor, remainder);
}

std::uint64_t __aeabi_uidivmod(std::uint32_t dividend, std::uint32_t divisor) {
  std::uint32_t remainder = 0;
  const std::uint32_t quotient = Divide(dividend, divisor, remainder);
  return Pair(quotient, remainder);
}

std::int32_t __aeabi_idiv(std::int32_t dividend, std::int32_t divisor) {
  std::uint32_t remainder = 0;
  const std::uint32_t quotient = Divide(Magnitude(dividend), Magnitude(divisor), remainder);
  return static_cast<std::int32_t>((dividend < 0) != (divisor < 0) ? 0U - quotient : quotient);
}

std::uint64_t __aeabi_idivmod(std::int32_t dividend, std::int32_t divisor) {
  std::uint32_t remainder = 0;
  std::uint32_t quotient = Divide(Magnitude(dividend), Magnitude(divisor), remainder);
  if ((dividend < 0) != (divisor < 0)) {
    quotient = 0U - quotient;
  }
  return Pair(quotient, dividend < 0 ? 0U - remainder : remainder);
}

Quad __aeabi_uldivmod(std::uint64_t dividend, std::uint64_t divisor) {
  std::uint64_t remainder = 0;
  const std::uint64_t quotient = Divide(dividend, divisor, remainder);
  return Quad{static_cast<std::uint32_t>(quotient), static_cast<std::uint32_t>(quotient >> 32U),
              static_cast<std::uint32_t>(remainder), static_cast<std::uint32_t>(remainder >> 32U)};
}

void __aeabi_memcpy(void* to, const void* from, std::size_t count) {
  auto* out = static_cast<unsigned char*>(to);
  const auto* in = static_cast<const unsigned char*>(from);
  for (std::size_t i = 0; i < count; ++i) {
    out[i] = in[i];
  }
}

void __aeabi_memcpy4(void* to, const void* from, std::size_t count) {
  __aeabi_memcpy(to, from, count);
}

void __aeabi_memset(void* to, std::size_t count, int value) {
  auto* out = static_cast<unsigned char*>(to);
  for (std::size_t i = 0; i < count; ++i) {
    out[i] = static_cast<unsigned char>(value);
  }
}

void __aeabi_memclr(void* to, std::size_t count) { __aeabi_memset(to, count, 0); }

void* memcpy(void* to, const void* from, std::size_t count) {
  __aeabi_memcpy(to, from, count);
  return to;
}

void __aeabi_memmove(void* to, const void* from, std::size_t count) {
  auto* out = static_cast<unsigned char*>(to);
  const auto* in = static_cast<const unsigned char*>(from);
  if (out < in) {
    __aeabi_memcpy(to, from, count);
    return;
  }
  for (std::size_t i = count; i > 0; --i) {
    out[i - 1] = in[i - 1];
  }
}

const void* memchr(const void* memory, int value, std::size_t count) {
  const auto* bytes = static_cast<const unsigned char*>(memory);
  for (std::size_t i = 0; i < count; ++i) {
    if (bytes[i] == static_cast<unsigned char>(value)) {
      return bytes + i;
    }
  }
  return nullptr;
}

std::size_t strlen(const char* text) {
  std::size_t length = 0;
  while (text[length] != '\0') {
    ++length;
  }
  return length;
}

std::size_t strnlen(const char* text, std::size_t limit) {
  std::size_t length = 0;
  while (length < limit && text[length] != '\0') {
    ++length;
  }
  return length;
}

int abs(int value) { return value < 0 ? -value : value; }

int __clzsi2(std::uint32_t value) {
  int zeros = 0;
  for (std::uint32_t bit = 0x80000000U; bit != 0 && (value & bit) == 0; bit >>= 1U) {
    ++zeros;
  }
  return zeros;
}

void __aeabi_memclr4(void* to, std::size_t count) { __aeabi_memset(to, count, 0); }

}  // extern "C"
// NOLINTEND(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp,readability-identifier-naming)

// Named by the deleting destructors in the tables of classes with virtual destructors; never
// called, as the library makes no object with new (so there is no new to pair it with).
// NOLINTNEXTLINE(cert-dcl54-cpp,misc-new-delete-overloads)
void operator delete(void* /*memory*/) noexcept {}
