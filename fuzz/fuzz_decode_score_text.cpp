// Any text handed to DecodeScoreText must decode within its buffers.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "codec/payload_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::array<char, brindle::kDecodedPayloadCapacity> out{};
  brindle::DecodeScoreText(text, out);
  if (std::memchr(out.data(), '\0', out.size()) == nullptr) {
    __builtin_trap();  // the payload must stay terminated inside its buffer
  }
  return 0;
}
