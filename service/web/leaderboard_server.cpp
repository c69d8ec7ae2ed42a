#include "service/web/leaderboard_server.h"

#include <algorithm>
#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/thread_pool.hpp>
#include <cctype>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "service/web/server_context.h"

namespace brindle::service::web {
namespace {

namespace net = boost::asio;
using Tcp = net::ip::tcp;

// Threads that wait on the store: the rest of the server never does.
constexpr int kReadThreads = 4;
// After a failed accept (out of descriptors, say), the pause before the next.
constexpr std::chrono::milliseconds kAcceptPause{50};

int ServingThreads() { return std::max(2, static_cast<int>(std::thread::hardware_concurrency())); }

}  // namespace

struct LeaderboardServer::Parts {
  Parts(StoreOpener open, ReadFailed readFailed, std::unique_ptr<ChangeWatch> changes,
        ServerTimes serverTimes)
      : boards(std::move(open), std::move(readFailed)),
        watch(std::move(changes)),
        times(serverTimes) {}

  // Declared before the context, gone after it: the connections it still holds end first.
  BoardCache boards;
  ServerMetrics metrics;
  std::unique_ptr<ChangeWatch> watch;
  ServerTimes times;
  // Made by Serve(): no thread starts before it, so they all inherit its caller's signal mask.
  std::unique_ptr<net::thread_pool> reads;
  std::unique_ptr<ServerContext> context;
  net::io_context io{ServingThreads()};
  Tcp::acceptor acceptor{io};
  net::steady_timer acceptPause{io};
  std::atomic<bool> stopping{false};

  void Accept() {
    acceptor.async_accept(
        net::make_strand(io), [this](boost::system::error_code failure, Tcp::socket socket) {
          if (failure == net::error::operation_aborted) {
            return;
          }
          if (failure) {
            acceptPause.expires_after(kAcceptPause);
            acceptPause.async_wait([this](boost::system::error_code) { Accept(); });
            return;
          }
          boost::system::error_code ignored;
          // Answers go out as soon as they are written, not after the client's acknowledgement.
          static_cast<void>(socket.set_option(Tcp::no_delay(true), ignored));
          StartHttpSession(std::move(socket), *context);
          Accept();
        });
  }

  void WatchChanges() {
    while (!stopping.load()) {
      if (watch->Wait(times.changeLook) != Change::kNone && !stopping.load()) {
        boards.Refresh();
      }
    }
  }
};

LeaderboardServer::LeaderboardServer(StoreOpener open, ReadFailed readFailed,
                                     std::unique_ptr<ChangeWatch> watch, ServerTimes times)
    : parts_(std::make_unique<Parts>(std::move(open), std::move(readFailed), std::move(watch),
                                     times)) {}

LeaderboardServer::~LeaderboardServer() = default;

void LeaderboardServer::AddStore(std::unique_ptr<MessageStore> store) {
  parts_->boards.AddStore(std::move(store));
}

bool LeaderboardServer::Bind(const std::string& host, int& port, std::string& error) {
  const int wanted = port;
  boost::system::error_code failure;
  Tcp::resolver resolver(parts_->io);
  const auto found =
      resolver.resolve(host, std::to_string(wanted), Tcp::resolver::numeric_service, failure);
  Tcp::acceptor& acceptor = parts_->acceptor;
  for (const auto& entry : found) {
    // SO_REUSEADDR only, so a restart need not wait for the last connections to time out; a
    // second server on the same port is still refused.
    static_cast<void>(acceptor.open(entry.endpoint().protocol(), failure));
    if (!failure) {
      static_cast<void>(acceptor.set_option(Tcp::acceptor::reuse_address(true), failure));
    }
    if (!failure) {
      static_cast<void>(acceptor.bind(entry.endpoint(), failure));
    }
    if (!failure) {
      static_cast<void>(acceptor.listen(net::socket_base::max_listen_connections, failure));
    }
    if (!failure) {
      port = acceptor.local_endpoint().port();
      return true;
    }
    boost::system::error_code ignored;
    static_cast<void>(acceptor.close(ignored));
  }
  error = "cannot listen on " + host + ":" + std::to_string(wanted);
  if (failure) {
    std::string reason = failure.message();
    reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
    error += ": " + reason;
  }
  return false;
}

void LeaderboardServer::Serve() {
  Parts& parts = *parts_;
  parts.reads = std::make_unique<net::thread_pool>(kReadThreads);
  parts.context = std::make_unique<ServerContext>(
      ServerContext{parts.boards, *parts.reads, parts.times, parts.metrics});
  parts.Accept();
  std::thread watcher([&parts] { parts.WatchChanges(); });
  std::vector<std::thread> serving;
  for (int i = 1; i < ServingThreads(); ++i) {
    serving.emplace_back([&parts] { parts.io.run(); });
  }
  parts.io.run();
  for (std::thread& thread : serving) {
    thread.join();
  }
  parts.stopping = true;
  watcher.join();
  // Reads under way or queued end here, while the connections they answer still exist.
  parts.reads->join();
}

void LeaderboardServer::Stop() {
  parts_->stopping = true;
  parts_->io.stop();
}

void LeaderboardServer::Post(std::function<void()> task) { net::post(parts_->io, std::move(task)); }

}  // namespace brindle::service::web
