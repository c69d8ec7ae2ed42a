// The whole score message path: fields and number to PDU text, and PDU text back to fields.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <string_view>

#include "bench/allocation_counter.h"
#include "bench/sample_pdu.h"
#include "codec/score_payload.h"
#include "codec/score_reader.h"
#include "codec/submit_pdu.h"

namespace brindle::bench {
namespace {

constexpr std::string_view kNumber = "+123456789012";

void BM_EncodeScoreMessage(benchmark::State& state) {
  std::int32_t score = 12345;
  const std::uint64_t before = AllocationCount();
  for (auto _ : state) {                         // NOLINT(clang-analyzer-deadcode.DeadStores)
    std::array<char, kPayloadCapacity> payload;  // NOLINT: written by BuildScorePayload
    std::array<char, kPduTextCapacity> pdu;      // NOLINT: written whole by BuildSubmitPdu
    BuildScorePayload(42, score++, u"Ann", payload);
    benchmark::DoNotOptimize(BuildSubmitPdu(pdu, kNumber, payload));
    benchmark::DoNotOptimize(pdu.data());
  }
  ReportAllocations(state, before);
}
BENCHMARK(BM_EncodeScoreMessage);

void BM_DecodeScoreMessage(benchmark::State& state) {
  const std::uint64_t before = AllocationCount();
  PduReading reading;     // one reading reused, as a service reading message after message would
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
    benchmark::DoNotOptimize(ReadScorePdu(kAnnPdu, reading));
    benchmark::DoNotOptimize(reading.fields.score);
  }
  ReportAllocations(state, before);
}
BENCHMARK(BM_DecodeScoreMessage);

}  // namespace
}  // namespace brindle::bench
