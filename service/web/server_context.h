// What every connection of the leaderboard server shares: the boards, the threads that may
// block on the store, the server's times. Made by the server, outlives every connection.
#pragma once

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/thread_pool.hpp>

#include "service/message_store.h"
#include "service/web/board_cache.h"
#include "service/web/leaderboard_server.h"
#include "service/web/server_metrics.h"

namespace brindle::service::web {

struct ServerContext {
  BoardCache& boards;
  boost::asio::thread_pool& reads;  // the only threads that wait on the store
  ServerTimes times;
  ServerMetrics& metrics;
};

// Reads a connection's requests and answers each in turn, until it closes, stays idle too
// long, or becomes an event stream.
void StartHttpSession(boost::asio::ip::tcp::socket socket, ServerContext& context);

// Sends `query`'s board events on a connection whose request asked for them, until the viewer
// goes. The answer's header is sent first.
void StartEventStream(boost::asio::ip::tcp::socket socket, ServerContext& context,
                      const LeaderboardQuery& query);

}  // namespace brindle::service::web
