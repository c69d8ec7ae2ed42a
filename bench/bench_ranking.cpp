// Leaderboard() on a large store: one game's top 10 with every score in that game, a random
// game's top 10 and the front page (every game's top 10, as `/` asks for it) with the scores
// over 1,000 games. Each database is filled once per run through Keep(), in large batches, as
// the service would have stored the messages; SQLite in a file under the temporary folder,
// PostgreSQL (when BRINDLE_BENCH_POSTGRES names a server as libpq key=value text: see
// bench/ranking_bench.sh) in a new database there. BRINDLE_BENCH_SCORES sets how many scores
// each database holds (1,000,000 by default).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <map>
#include <memory>
#include <pqxx/pqxx>
#include <random>
#include <string>
#include <vector>

#include "service/message_store.h"

namespace brindle::bench {
namespace {

using service::LeaderboardQuery;
using service::Message;
using service::MessageStore;

struct Shape {
  const char* name;
  std::int64_t games;
  std::int64_t handlesPerGame;
};
// Ten scores a handle in the one game; five in each of the 1,000.
constexpr Shape kOneGame = {"one_game", 1, 0};
constexpr Shape kThousandGames = {"1000_games", 1000, 200};
constexpr std::size_t kBatch = 5000;

std::int64_t ScoreCount() {
  const char* text = std::getenv("BRINDLE_BENCH_SCORES");  // NOLINT(concurrency-mt-unsafe)
  return text == nullptr ? 1000000 : std::strtoll(text, nullptr, 10);
}

// The i-th of `count` scores: its game, its handle (ten scores a handle when the shape does
// not say), a distinct message with the scores drawn at random.
Message ScoreAt(const Shape& shape, std::int64_t i, std::int64_t count, std::mt19937_64& draw) {
  const std::int64_t game = i % shape.games;
  const std::int64_t handles =
      shape.handlesPerGame > 0 ? shape.handlesPerGame : count / shape.games / 10;
  Message m;
  m.status = service::MessageStatus::kScore;
  m.sender = "+4477009001" + std::to_string(10 + i % 90);
  m.sentAt = "2026-12-06T21:15:03+01:00";
  m.sentAtUtc = 1796588103 + i;
  m.pdu = "PDU" + std::to_string(i);
  m.gameId = 42 + game;
  m.fixed = 1;
  m.score = static_cast<std::int64_t>(draw() % 100000000);
  m.handle = "P" + std::to_string((i / shape.games) % handles);
  return m;
}

// A location ready to fill: an SQLite file, or a new PostgreSQL database (empty without a
// server).
std::string NewLocation(const std::string& store, const Shape& shape) {
  const std::string name = "ranking_" + std::to_string(getpid()) + "_" + shape.name;
  if (store == "sqlite") {
    return (std::filesystem::temp_directory_path() / (name + ".sqlite")).string();
  }
  const char* server = std::getenv("BRINDLE_BENCH_POSTGRES");  // NOLINT(concurrency-mt-unsafe)
  if (server == nullptr) {
    return "";
  }
  pqxx::connection connection(std::string(server) + " dbname=postgres");
  pqxx::nontransaction(connection).exec("CREATE DATABASE " + name);
  return std::string(server) + " dbname=" + name;
}

// The stores filled so far, by store and shape; the SQLite files go when the run ends.
class Filled {
 public:
  Filled() = default;
  Filled(const Filled&) = delete;
  Filled& operator=(const Filled&) = delete;
  Filled(Filled&&) = delete;
  Filled& operator=(Filled&&) = delete;
  ~Filled() {
    stores_.clear();
    for (const std::string& file : files_) {
      for (const char* suffix : {"", "-wal", "-shm"}) {
        std::filesystem::remove(file + suffix);
      }
    }
  }

  // The store of `shape`, filled on first use; null with the reason when it cannot be.
  MessageStore* Get(const std::string& store, const Shape& shape, std::string& failure) {
    auto& held = stores_[store + shape.name];
    if (!held) {
      held = Fill(store, shape, failure);
    }
    return held.get();
  }

 private:
  std::unique_ptr<MessageStore> Fill(const std::string& store, const Shape& shape,
                                     std::string& failure) {
    std::string location;
    try {
      location = NewLocation(store, shape);
    } catch (const std::exception& e) {
      failure = e.what();
      return nullptr;
    }
    if (location.empty()) {
      failure = "BRINDLE_BENCH_POSTGRES names no server (bench/ranking_bench.sh starts one)";
      return nullptr;
    }
    if (store == "sqlite") {
      files_.push_back(location);
    }
    service::StoreError error;
    auto filled = OpenMessageStore(location, service::OpenMode::kCreateIfMissing, error);
    const std::int64_t count = ScoreCount();
    std::mt19937_64 draw(7);  // NOLINT(cert-msc32-c,cert-msc51-cpp): the same scores each run
    const auto start = std::chrono::steady_clock::now();
    std::vector<Message> batch;
    std::vector<service::KeepResult> results;
    for (std::int64_t i = 0; filled && i < count; ++i) {
      batch.push_back(ScoreAt(shape, i, count, draw));
      if (batch.size() == kBatch || i + 1 == count) {
        if (!filled->Keep(batch, results, error)) {
          filled.reset();
        }
        batch.clear();
      }
    }
    if (!filled) {
      failure = error.text;
      return nullptr;
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    static_cast<void>(std::fprintf(stderr, "%s %s: %lld scores kept in %.1f s\n", store.c_str(),
                                   shape.name, static_cast<long long>(count), took.count()));
    return filled;
  }

  std::map<std::string, std::unique_ptr<MessageStore>> stores_;
  std::vector<std::string> files_;
};

Filled& Stores() {
  static Filled stores;
  return stores;
}

// Reads the boards `next` asks for, one query an iteration; rows shown per query as a counter.
template <typename Next>
void MeasureBoards(benchmark::State& state, const std::string& store, const Shape& shape,
                   const Next& next) {
  std::string failure;
  MessageStore* filled = Stores().Get(store, shape, failure);
  if (filled == nullptr) {
    state.SkipWithError(failure.c_str());
    return;
  }
  std::vector<service::GameLeaderboard> games;
  service::StoreError error;
  std::int64_t rows = 0;
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
    if (!filled->Leaderboard(next(), games, error)) {
      state.SkipWithError(error.text.c_str());
      return;
    }
    for (const auto& game : games) {
      rows += static_cast<std::int64_t>(game.entries.size());
    }
  }
  state.counters["rows"] =
      benchmark::Counter(static_cast<double>(rows) / static_cast<double>(state.iterations()));
}

void BM_OneGameTop10(benchmark::State& state, const std::string& store) {
  MeasureBoards(state, store, kOneGame, [] { return LeaderboardQuery{42, 10}; });
}

void BM_RandomGameTop10(benchmark::State& state, const std::string& store) {
  std::mt19937_64 draw(11);  // NOLINT(cert-msc32-c,cert-msc51-cpp): the same games each run
  MeasureBoards(state, store, kThousandGames, [&] {
    return LeaderboardQuery{static_cast<std::int64_t>(42 + draw() % kThousandGames.games), 10};
  });
}

void BM_FrontPageTop10(benchmark::State& state, const std::string& store) {
  MeasureBoards(state, store, kThousandGames, [] { return LeaderboardQuery{std::nullopt, 10}; });
}

BENCHMARK_CAPTURE(BM_OneGameTop10, sqlite, "sqlite")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_RandomGameTop10, sqlite, "sqlite")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_FrontPageTop10, sqlite, "sqlite")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_OneGameTop10, postgres, "postgres")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_RandomGameTop10, postgres, "postgres")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_FrontPageTop10, postgres, "postgres")->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace brindle::bench
