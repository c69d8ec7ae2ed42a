// The boards the server answers with, kept in memory: each is read from the store and made
// into its API answer, its page and its event once per change of the store, never per request.
// Boards nobody asked for between two changes are dropped rather than read again. A board's
// viewers are told each new version whose JSON differs from the last they were told.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "service/message_store.h"

namespace brindle::service::web {

// Opens one more store on the database (nullptr with `error` when it cannot).
using StoreOpener = std::function<std::unique_ptr<MessageStore>(StoreError& error)>;
// Told why the database could not be read, for the operator: the client is told only that it
// could not.
using ReadFailed = std::function<void(const StoreError& error)>;

// One version of one board, never changed once made; answers hold it while they are written.
struct Board {
  std::string json;     // the API's answer: one line of JSON and its line end
  std::string jsonTag;  // its strong entity tag, quoted
  std::string page;     // the HTML page, for the boards pages show; empty for the others
  std::string pageTag;
  std::string event;  // the event-stream event "scores" whose data is the JSON
};

// Someone shown a board's events; Show is called from whichever thread found the new version.
class BoardViewer {
 public:
  virtual void Show(std::shared_ptr<const std::string> event) = 0;

 protected:
  BoardViewer() = default;
  BoardViewer(const BoardViewer&) = default;
  BoardViewer& operator=(const BoardViewer&) = default;
  BoardViewer(BoardViewer&&) = default;
  BoardViewer& operator=(BoardViewer&&) = default;
  ~BoardViewer() = default;
};

// Whether a board is one a page shows: the front page's (every game, top 10) or a game's page
// (top 100).
bool IsPageBoard(const LeaderboardQuery& query);
// The event stream a page's script follows.
std::string EventsAddress(const LeaderboardQuery& query);

class BoardCache {
  using Key = std::pair<std::int64_t, std::int64_t>;  // game id (or every game) and top
  using Viewers = std::list<std::weak_ptr<BoardViewer>>;

 public:
  // Boards held at most; a full cache drops one that nobody watches to make room.
  static constexpr std::size_t kCapacity = 4096;

  // Ends a viewer's watch when it goes.
  class Subscription {
   public:
    Subscription() = default;
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;
    Subscription(Subscription&& other) noexcept;
    Subscription& operator=(Subscription&& other) noexcept;
    ~Subscription();

   private:
    friend class BoardCache;
    BoardCache* cache_ = nullptr;
    Key key_;
    Viewers::iterator place_;
  };

  BoardCache(StoreOpener open, ReadFailed readFailed);
  BoardCache(const BoardCache&) = delete;
  BoardCache& operator=(const BoardCache&) = delete;
  BoardCache(BoardCache&&) = delete;
  BoardCache& operator=(BoardCache&&) = delete;
  ~BoardCache();

  // Hands over a store already open, so the first read needs no new connection.
  void AddStore(std::unique_ptr<MessageStore> store);
  // The board from memory; nullptr when it is not held (Read it then).
  std::shared_ptr<const Board> Held(const LeaderboardQuery& query);
  // The board, read from the store unless held; blocks. Reads of the same board at once are
  // one read. nullptr when the store cannot be read.
  std::shared_ptr<const Board> Read(const LeaderboardQuery& query);
  // After the store may have changed: reads every board held or watched again, watched ones
  // first, and tells viewers of those whose JSON changed; drops those not asked for since the
  // last refresh and those that cannot be read. Blocks.
  void Refresh();
  // What each service last reported, read from the store now; nullopt when it cannot be read.
  // `fresh`: through a store opened for it, so that a database deleted, replaced or made
  // unusable under the held ones is seen (a health check). Blocks.
  std::optional<std::vector<PortStatus>> ReadPorts(bool fresh);
  // Makes `viewer` a viewer of the board; `current` is the event its viewers were last told,
  // or null when there is none yet (it is told the first one the board gets).
  Subscription Watch(const LeaderboardQuery& query, std::weak_ptr<BoardViewer> viewer,
                     std::shared_ptr<const std::string>& current);

 private:
  struct Entry {
    std::shared_ptr<const Board> board;
    bool used = true;  // asked for since the last refresh
  };
  // A board's viewers and the event they were last told.
  struct Topic {
    std::shared_ptr<const std::string> event;
    Viewers viewers;
  };
  // One read on its way to the store; reads of the same board wait for it.
  struct Flight {
    std::condition_variable landed;
    bool done = false;
    std::shared_ptr<const Board> board;
  };

  std::shared_ptr<const Board> Build(const LeaderboardQuery& query);
  // Runs `read` on an idle store (or a new one); false, told to readFailed_, when it fails.
  bool WithStore(const std::function<bool(MessageStore&, StoreError&)>& read);
  // Under the lock: keeps `board` (unless the held one has the same JSON) and gathers the
  // viewers to tell; returns the event to tell them.
  std::shared_ptr<const std::string> KeepLocked(const Key& key,
                                                const std::shared_ptr<const Board>& board,
                                                std::vector<std::shared_ptr<BoardViewer>>& tell);
  void Unsubscribe(const Key& key, Viewers::iterator place);

  StoreOpener open_;
  ReadFailed readFailed_;
  std::mutex mutex_;
  // Guarded by mutex_.
  std::vector<std::unique_ptr<MessageStore>> idle_;
  std::map<Key, Entry> boards_;
  std::map<Key, std::shared_ptr<Flight>> flights_;
  std::map<Key, Topic> topics_;
  std::uint64_t refreshes_ = 0;  // a read that overlaps a refresh may be stale, so not kept
};

}  // namespace brindle::service::web
