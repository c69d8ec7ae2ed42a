// `brindle import` into a fresh SQLite file: an archive of score messages from many senders
// over many moments, through the same classification and store as the command.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "codec/pdu.h"
#include "codec/score_payload.h"
#include "codec/submit_pdu.h"
#include "service/pdu_import.h"

namespace brindle::bench {
namespace {

constexpr std::size_t kSenders = 1000;
constexpr std::size_t kHandles = 5000;
constexpr std::int64_t kGames = 1000;

// The SMS-DELIVER each generated SUBMIT becomes at a phone: one of kSenders numbers, one
// moment a second apart per line.
std::vector<std::string> Archive(std::size_t lines) {
  std::mt19937 random(20261207);  // NOLINT(cert-msc32-c,cert-msc51-cpp): repeatable input
  std::uniform_int_distribution<std::int32_t> score(0, kMaxFieldNumber);
  std::array<char, kPayloadCapacity> payload{};
  std::array<char, kPduTextCapacity> text{};
  std::vector<std::string> archive;
  archive.reserve(lines);
  for (std::size_t i = 0; i < lines; ++i) {
    std::u16string handle = u"P";
    for (const char digit : std::to_string(i % kHandles)) {
      handle += static_cast<char16_t>(digit);
    }
    BuildScorePayload(static_cast<std::int32_t>(static_cast<std::int64_t>(i) % kGames),
                      score(random), handle, payload);
    BuildSubmitPdu(text, "+1", payload);
    Pdu pdu;
    std::size_t offset = 0;
    ReadPdu(text.data(), pdu, offset);
    pdu.messageType = MessageType::kDeliver;
    SetAddress("+4477009" + std::to_string(10000 + i % kSenders), pdu.address);
    const auto second = static_cast<int>(i);
    pdu.serviceCentreTimeStamp = {
        true,        2026, 12, 1 + second / 86400 % 28, second / 3600 % 24, second / 60 % 60,
        second % 60, 4};
    WritePdu(pdu, text);
    archive.emplace_back(text.data());
  }
  return archive;
}

void BM_ImportIntoSqlite(benchmark::State& state) {
  const auto lines = static_cast<std::size_t>(state.range(0));
  const std::vector<std::string> archive = Archive(lines);
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / "brindle-import-bench.db";
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
    state.PauseTiming();
    for (const char* suffix : {"", "-wal", "-shm"}) {
      std::filesystem::remove(file.string() + suffix);
    }
    service::StoreError error;
    auto store =
        service::OpenMessageStore(file.string(), service::OpenMode::kCreateIfMissing, error);
    state.ResumeTiming();
    service::PduImport import(*store);
    bool kept = true;
    for (const std::string& line : archive) {
      kept = kept && import.Add(line, error);
    }
    if (!(kept && import.Finish(error)) || import.counts().stored != lines) {
      state.SkipWithError(("not all stored: " + error.text).c_str());
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(lines));
}
// Lines: an archive of 100,000 messages.
BENCHMARK(BM_ImportIntoSqlite)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

}  // namespace
}  // namespace brindle::bench
