// `brindle decode - --lines` at scale: a million generated PDUs, one a line, through the very
// batch loop the command runs, from memory to /dev/null (reading, decoding, JSON, writing).
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>

#include "bench/allocation_counter.h"
#include "codec/score_payload.h"
#include "codec/submit_pdu.h"
#include "tools/codec_lines.h"

namespace brindle::bench {
namespace {

constexpr std::size_t kLines = 1000000;

// Varied messages: game ids, scores, handles and numbers of different lengths.
const std::string& GeneratedPdus() {
  static const std::string text = [] {
    std::mt19937 random(20261207);  // NOLINT(cert-msc32-c,cert-msc51-cpp): repeatable input
    std::uniform_int_distribution<std::int32_t> value(-99999999, kMaxFieldNumber);
    std::uniform_int_distribution<int> handleLength(2, 15);
    std::uniform_int_distribution<int> letter('a', 'z');
    std::string pdus;
    pdus.reserve(kLines * 130);
    std::u16string handle;
    std::array<char, kPayloadCapacity> payload{};
    std::array<char, kPduTextCapacity> pdu{};
    for (std::size_t i = 0; i < kLines; ++i) {
      handle.assign(static_cast<std::size_t>(handleLength(random)), u'a');
      for (char16_t& c : handle) {
        c = static_cast<char16_t>(letter(random));
      }
      BuildScorePayload(value(random), value(random), handle, payload);
      BuildSubmitPdu(pdu, i % 2 == 0 ? "+123456789012" : "7654321", payload);
      pdus += pdu.data();
      pdus += '\n';
    }
    return pdus;
  }();
  return text;
}

void BM_DecodeLines(benchmark::State& state) {
  std::string& pdus = const_cast<std::string&>(GeneratedPdus());  // NOLINT: fmemopen reads only
  std::FILE* sink = std::fopen("/dev/null", "w");
  const std::uint64_t before = AllocationCount();
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
    std::FILE* in = fmemopen(pdus.data(), pdus.size(), "r");
    const tools::LinesSummary summary = tools::DecodeLines(in, sink, false);
    static_cast<void>(std::fclose(in));
    if (summary.refused != 0 || summary.lines != kLines) {
      state.SkipWithError("a generated PDU was refused");
    }
  }
  static_cast<void>(std::fclose(sink));
  state.counters["allocs/line"] =
      static_cast<double>(AllocationCount() - before) / static_cast<double>(kLines);
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kLines));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(pdus.size()));
}
BENCHMARK(BM_DecodeLines)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace brindle::bench
