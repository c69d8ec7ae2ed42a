// The read-only web server of the leaderboard: the pages, the API that answers as
// `brindle scores --json` does but without senders (a phone number never leaves the server),
// and the API's event stream, which pushes a board again whenever it changes. GET and HEAD
// only; a bad address or parameter gets a 4xx with a short text and the server goes on. Every
// answer is whole: a Range is ignored. A few threads serve every connection, idle or not;
// boards come from memory (board_cache.h), read from the store only after a change.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "service/change_watch.h"
#include "service/message_store.h"
#include "service/web/board_cache.h"

namespace brindle::service::web {

struct ServerTimes {
  // From the end of an answer (or the connection's start) to the end of the next request's
  // headers and body; a connection that takes longer is closed. Idle kept-alive ones too.
  std::chrono::milliseconds request{std::chrono::seconds(10)};
  // Between an event stream's keep-alive comments.
  std::chrono::milliseconds keepAlive{std::chrono::seconds(15)};
  // How long the change watch waits per look.
  std::chrono::milliseconds changeLook{std::chrono::milliseconds(250)};
};

class LeaderboardServer {
 public:
  LeaderboardServer(StoreOpener open, ReadFailed readFailed, std::unique_ptr<ChangeWatch> watch,
                    ServerTimes times);
  LeaderboardServer(const LeaderboardServer&) = delete;
  LeaderboardServer& operator=(const LeaderboardServer&) = delete;
  LeaderboardServer(LeaderboardServer&&) = delete;
  LeaderboardServer& operator=(LeaderboardServer&&) = delete;
  ~LeaderboardServer();

  // Hands over a store already open, so the first request needs no new connection.
  void AddStore(std::unique_ptr<MessageStore> store);
  // Binds the listening socket, which no other socket may share; port 0 takes a free one and
  // sets `port` to it. False with `error` when the address cannot be had.
  bool Bind(const std::string& host, int& port, std::string& error);
  // Serves until Stop().
  void Serve();
  // Ends Serve() from any thread.
  void Stop();
  // Runs `task` on a serving thread, from any thread: it runs only while requests are served.
  void Post(std::function<void()> task);

 private:
  struct Parts;
  std::unique_ptr<Parts> parts_;
};

}  // namespace brindle::service::web
