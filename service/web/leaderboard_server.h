// The read-only web server of the leaderboard: the pages, and the API that answers as
// `brindle scores --json` does but without senders: a phone number never leaves the server.
// GET and HEAD only; a bad address or parameter gets a 4xx with a short text and the server
// goes on. Every answer is whole: a Range is ignored. Requests run on a pool of threads, each
// query on a store of its own, opened when needed and kept for the next request.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "service/message_store.h"

namespace brindle::service::web {

// Opens one more store on the database (nullptr with `error` when it cannot).
using StoreOpener = std::function<std::unique_ptr<MessageStore>(StoreError& error)>;
// Told why the database could not be read, for the operator: the client is told only that it
// could not.
using ReadFailed = std::function<void(const StoreError& error)>;

class LeaderboardServer {
 public:
  LeaderboardServer(StoreOpener open, ReadFailed readFailed);
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
  // Serves until Stop(); false when serving failed.
  bool Serve();
  // Ends Serve() from any thread.
  void Stop();

 private:
  struct Parts;
  std::unique_ptr<Parts> parts_;
};

}  // namespace brindle::service::web
