#include "service/web/board_cache.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <string_view>

#include "service/api_json.h"
#include "service/web/html_page.h"
#include "service/web/request_parameters.h"

namespace brindle::service::web {
namespace {

constexpr std::int64_t kEveryGame = std::numeric_limits<std::int64_t>::min();

// A board's key: its game (or every game) and its top; and the query a key stands for.
std::pair<std::int64_t, std::int64_t> KeyOf(const LeaderboardQuery& query) {
  return {query.gameId.value_or(kEveryGame), query.top};
}

LeaderboardQuery QueryOf(const std::pair<std::int64_t, std::int64_t>& key) {
  return {key.first == kEveryGame ? std::nullopt : std::optional<std::int64_t>(key.first),
          key.second};
}
// A read that keeps overlapping refreshes is tried this often before it is answered unkept.
constexpr int kReadTries = 3;

// A strong entity tag: the body's hash and length, quoted.
std::string Tag(std::string_view body) {
  constexpr std::size_t kCapacity = 48;  // '"', 16 + 1 + 20 digits, '"', NUL
  char text[kCapacity];
  const int written = std::snprintf(text, kCapacity, "\"%016zx-%zu\"",
                                    std::hash<std::string_view>{}(body), body.size());
  return {text, static_cast<std::size_t>(std::max(written, 0))};
}

}  // namespace

bool IsPageBoard(const LeaderboardQuery& query) {
  return query.top == (query.gameId ? kMaxTop : kFrontPageTop);
}

std::string EventsAddress(const LeaderboardQuery& query) {
  std::string address = "/api/events?";
  if (query.gameId) {
    address += "game=" + std::to_string(*query.gameId) + "&";
  }
  return address + "top=" + std::to_string(query.top);
}

BoardCache::Subscription::Subscription(Subscription&& other) noexcept
    : cache_(std::exchange(other.cache_, nullptr)),
      key_(std::move(other.key_)),
      place_(other.place_) {}

BoardCache::Subscription& BoardCache::Subscription::operator=(Subscription&& other) noexcept {
  if (this != &other) {
    if (cache_ != nullptr) {
      cache_->Unsubscribe(key_, place_);
    }
    cache_ = std::exchange(other.cache_, nullptr);
    key_ = other.key_;
    place_ = other.place_;
  }
  return *this;
}

BoardCache::Subscription::~Subscription() {
  if (cache_ != nullptr) {
    cache_->Unsubscribe(key_, place_);
  }
}

BoardCache::BoardCache(StoreOpener open, ReadFailed readFailed)
    : open_(std::move(open)), readFailed_(std::move(readFailed)) {}

BoardCache::~BoardCache() = default;

void BoardCache::AddStore(std::unique_ptr<MessageStore> store) {
  const std::lock_guard lock(mutex_);
  idle_.push_back(std::move(store));
}

std::shared_ptr<const Board> BoardCache::Held(const LeaderboardQuery& query) {
  const std::lock_guard lock(mutex_);
  const auto found = boards_.find(KeyOf(query));
  if (found == boards_.end()) {
    return nullptr;
  }
  found->second.used = true;
  return found->second.board;
}

std::shared_ptr<const Board> BoardCache::Read(const LeaderboardQuery& query) {
  const Key key = KeyOf(query);
  std::unique_lock lock(mutex_);
  if (const auto held = boards_.find(key); held != boards_.end()) {
    held->second.used = true;
    return held->second.board;
  }
  if (const auto found = flights_.find(key); found != flights_.end()) {
    const std::shared_ptr<Flight> flight = found->second;
    flight->landed.wait(lock, [&] { return flight->done; });
    return flight->board;
  }
  const auto flight = std::make_shared<Flight>();
  flights_.emplace(key, flight);
  std::shared_ptr<const Board> board;
  std::shared_ptr<const std::string> event;
  std::vector<std::shared_ptr<BoardViewer>> tell;
  for (int tries = 0; tries < kReadTries; ++tries) {
    const std::uint64_t started = refreshes_;
    lock.unlock();
    board = Build(query);
    lock.lock();
    if (!board || refreshes_ == started) {
      if (board) {
        event = KeepLocked(key, board, tell);
      }
      break;
    }
  }
  flights_.erase(key);
  flight->board = board;
  flight->done = true;
  flight->landed.notify_all();
  lock.unlock();
  for (const auto& viewer : tell) {
    viewer->Show(event);
  }
  return board;
}

void BoardCache::Refresh() {
  std::vector<LeaderboardQuery> queries;
  {
    const std::lock_guard lock(mutex_);
    ++refreshes_;
    for (const auto& [key, topic] : topics_) {
      queries.push_back(QueryOf(key));
    }
    for (auto entry = boards_.begin(); entry != boards_.end();) {
      if (topics_.contains(entry->first)) {
        entry->second.used = false;
        ++entry;
      } else if (entry->second.used) {
        entry->second.used = false;
        queries.push_back(QueryOf(entry->first));
        ++entry;
      } else {
        entry = boards_.erase(entry);
      }
    }
  }
  for (const LeaderboardQuery& query : queries) {
    const Key key = KeyOf(query);
    const std::shared_ptr<const Board> board = Build(query);
    std::shared_ptr<const std::string> event;
    std::vector<std::shared_ptr<BoardViewer>> tell;
    {
      const std::lock_guard lock(mutex_);
      if (board) {
        event = KeepLocked(key, board, tell);
      } else {
        boards_.erase(key);
      }
    }
    for (const auto& viewer : tell) {
      viewer->Show(event);
    }
  }
}

BoardCache::Subscription BoardCache::Watch(const LeaderboardQuery& query,
                                           std::weak_ptr<BoardViewer> viewer,
                                           std::shared_ptr<const std::string>& current) {
  const Key key = KeyOf(query);
  const std::lock_guard lock(mutex_);
  Topic& topic = topics_[key];
  if (!topic.event) {
    if (const auto held = boards_.find(key); held != boards_.end()) {
      topic.event = {held->second.board, &held->second.board->event};
    }
  }
  current = topic.event;
  Subscription subscription;
  subscription.cache_ = this;
  subscription.key_ = key;
  subscription.place_ = topic.viewers.insert(topic.viewers.end(), std::move(viewer));
  return subscription;
}

void BoardCache::Unsubscribe(const Key& key, Viewers::iterator place) {
  const std::lock_guard lock(mutex_);
  const auto topic = topics_.find(key);
  topic->second.viewers.erase(place);
  if (topic->second.viewers.empty()) {
    topics_.erase(topic);
  }
}

std::shared_ptr<const std::string> BoardCache::KeepLocked(
    const Key& key, const std::shared_ptr<const Board>& board,
    std::vector<std::shared_ptr<BoardViewer>>& tell) {
  const auto held = boards_.find(key);
  if (held != boards_.end()) {
    held->second.used = true;
    if (held->second.board->json != board->json) {
      held->second.board = board;
    }
  } else {
    if (boards_.size() >= kCapacity) {
      const auto unwatched = std::find_if(boards_.begin(), boards_.end(), [&](const auto& entry) {
        return !topics_.contains(entry.first);
      });
      boards_.erase(unwatched == boards_.end() ? boards_.begin() : unwatched);
    }
    boards_.emplace(key, Entry{board, true});
  }
  const auto topic = topics_.find(key);
  if (topic == topics_.end() || (topic->second.event && *topic->second.event == board->event)) {
    return nullptr;
  }
  topic->second.event = {board, &board->event};
  for (const std::weak_ptr<BoardViewer>& viewer : topic->second.viewers) {
    if (auto alive = viewer.lock()) {
      tell.push_back(std::move(alive));
    }
  }
  return topic->second.event;
}

bool BoardCache::WithStore(const std::function<bool(MessageStore&, StoreError&)>& read) {
  std::unique_ptr<MessageStore> store;
  {
    const std::lock_guard lock(mutex_);
    if (!idle_.empty()) {
      store = std::move(idle_.back());
      idle_.pop_back();
    }
  }
  StoreError error;
  if (!store) {
    store = open_(error);
    if (!store) {
      readFailed_(error);
      return false;
    }
  }
  // A store whose connection was lost connects again on its next read, so it is kept.
  const bool done = read(*store, error);
  {
    const std::lock_guard lock(mutex_);
    idle_.push_back(std::move(store));
  }
  if (!done) {
    readFailed_(error);
  }
  return done;
}

std::optional<std::vector<PortStatus>> BoardCache::ReadPorts(bool fresh) {
  std::vector<PortStatus> ports;
  StoreError error;
  const auto read = [&](MessageStore& store, StoreError& failure) {
    return store.PortStatuses(ports, failure);
  };
  if (fresh) {
    const std::unique_ptr<MessageStore> store = open_(error);
    if (!store || !read(*store, error)) {
      readFailed_(error);
      return std::nullopt;
    }
  } else if (!WithStore(read)) {
    return std::nullopt;
  }
  return ports;
}

std::shared_ptr<const Board> BoardCache::Build(const LeaderboardQuery& query) {
  std::vector<GameLeaderboard> games;
  if (!WithStore([&](MessageStore& store, StoreError& error) {
        return store.Leaderboard(query, games, error);
      })) {
    return nullptr;
  }
  for (GameLeaderboard& game : games) {
    for (LeaderboardEntry& entry : game.entries) {
      entry.sender.clear();
    }
  }
  auto board = std::make_shared<Board>();
  const std::string json = ScoresJson(games, Senders::kLeftOut);
  board->json = json + "\n";
  board->jsonTag = Tag(board->json);
  board->event = "event: scores\ndata: " + json + "\n\n";
  if (IsPageBoard(query)) {
    board->page = RenderBoardPage(games, query.gameId, EventsAddress(query));
    board->pageTag = Tag(board->page);
  }
  return board;
}

}  // namespace brindle::service::web
