// Any bytes from the line give events, never a crash: the same events whether they arrive in
// one piece or cut anywhere, and every entry called whole really is (hex, even, of the length
// its header announced).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "codec/hex.h"
#include "service/at_reader.h"

namespace {

using brindle::service::AtEvent;
using brindle::service::AtEventKind;
using brindle::service::AtReader;
using brindle::service::Expect;

// The bytes in pieces of `step` bytes, as a port hands them over.
std::vector<AtEvent> Read(Expect expect, std::string_view bytes, std::size_t step) {
  AtReader reader;
  reader.Begin(expect, 7);
  std::vector<AtEvent> events;
  for (std::size_t at = 0; at < bytes.size(); at += step) {
    reader.Feed(bytes.substr(at, step), events);
  }
  reader.Abort(events);
  if (reader.answerPending()) {
    __builtin_trap();
  }
  return events;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) {
    return 0;
  }
  // The first byte picks what the answer is to, the second the size of the pieces.
  const auto expect = static_cast<Expect>(data[0] % 3);
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 2, size - 2);
  const std::vector<AtEvent> whole = Read(expect, bytes, SIZE_MAX);
  if (whole != Read(expect, bytes, std::size_t{data[1]} + 1)) {
    __builtin_trap();
  }
  for (const AtEvent& event : whole) {
    if (event.kind != AtEventKind::kEntry) {
      continue;
    }
    const std::string& pdu = event.text;
    if (pdu.empty() || pdu.size() % 2 != 0 || pdu.size() > brindle::service::kMaxLineBytes ||
        !std::all_of(pdu.begin(), pdu.end(),
                     [](char c) { return brindle::hex::DigitValue(c) >= 0; })) {
      __builtin_trap();
    }
    const auto octets = static_cast<int>(pdu.size() / 2);
    const int serviceCentre = brindle::hex::ReadPair(pdu.data());
    if (event.index < 0 || octets - 1 - serviceCentre != event.length) {
      __builtin_trap();
    }
  }
  return 0;
}
