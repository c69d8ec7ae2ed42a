#include "service/web/leaderboard_server.h"

#include <httplib.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

#include "service/api_json.h"
#include "service/web/html_page.h"
#include "service/web/request_parameters.h"

namespace brindle::service::web {
namespace {

constexpr std::string_view kGamePrefix = "/games/";
constexpr const char* kHtml = "text/html; charset=utf-8";
constexpr const char* kText = "text/plain; charset=utf-8";
constexpr const char* kJson = "application/json";
// No script or style from anywhere else, no frames: a handle that slipped through as markup
// still could not run.
constexpr const char* kPolicy =
    "default-src 'none'; script-src 'self'; connect-src 'self'; style-src 'unsafe-inline'; "
    "base-uri 'none'; form-action 'none'; frame-ancestors 'none'";
constexpr int kMinThreads = 8;
constexpr std::size_t kKeepAliveRequests = 1000;
constexpr time_t kKeepAliveSeconds = 5;
// Nothing here reads a body; a small one is read and answered, a large one refused unread.
constexpr std::size_t kMaxBody = 4096;

void Reply(httplib::Response& response, int status, const std::string& body, const char* type) {
  response.status = status;
  response.set_header("X-Content-Type-Options", "nosniff");
  response.set_header("Cache-Control", "no-store");
  // Said outright, or the library offers byte ranges on HEAD.
  response.set_header("Accept-Ranges", "none");
  response.set_content(body, type);
}

void Refuse(httplib::Response& response, int status, const std::string& why) {
  Reply(response, status, why + "\n", kText);
}

// The library cuts every answer to the request's Range and keeps the status, so a 200 could
// carry a part; the ranges are dropped before any answer is made, and every answer is whole.
// The request is the library's own object, not const where it was made.
void IgnoreRanges(const httplib::Request& request) {
  const_cast<httplib::Request&>(request).ranges.clear();
}

// What follows the target's first '?', read here rather than from the library's parameters,
// which cut a value at its next '=' and drop a repeated item.
std::string_view QueryText(const httplib::Request& request) {
  const std::string_view target = request.target;
  const std::size_t mark = target.find('?');
  return mark == std::string_view::npos ? std::string_view() : target.substr(mark + 1);
}

// Binding takes SO_REUSEADDR only, so a restart need not wait for the last connections to time
// out. The library's default sets SO_REUSEPORT instead, which lets a second server take the
// same port and half the requests.
void ExclusiveAddress(socket_t sock) {
  const int yes = 1;
  static_cast<void>(setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes)));
}

}  // namespace

// One query on its way to the database; requests for the same board wait for its answer
// instead of asking again, so many viewers polling a large board cost one query at a time.
struct Flight {
  std::condition_variable landed;
  bool done = false;  // guarded by the server's mutex, as are the fields below
  bool ok = false;
  std::vector<GameLeaderboard> games;
  StoreError error;
};

struct LeaderboardServer::Parts {
  StoreOpener open;
  ReadFailed readFailed;
  httplib::Server server;
  std::mutex mutex;
  std::vector<std::unique_ptr<MessageStore>> idle;  // guarded by mutex
  std::map<std::pair<std::int64_t, std::int64_t>, std::shared_ptr<Flight>> flights;  // the same
  static constexpr std::int64_t kEveryGame = std::numeric_limits<std::int64_t>::min();

  bool Query(const LeaderboardQuery& query, std::vector<GameLeaderboard>& games,
             StoreError& error) {
    const std::pair key(query.gameId.value_or(kEveryGame), query.top);
    std::unique_lock lock(mutex);
    if (const auto found = flights.find(key); found != flights.end()) {
      const std::shared_ptr<Flight> flight = found->second;
      flight->landed.wait(lock, [&] { return flight->done; });
      games = flight->games;
      error = flight->error;
      return flight->ok;
    }
    const auto flight = std::make_shared<Flight>();
    flights.emplace(key, flight);
    lock.unlock();
    std::vector<GameLeaderboard> read;
    StoreError failure;
    const bool ok = QueryStore(query, read, failure);
    lock.lock();
    flights.erase(key);
    flight->ok = ok;
    flight->games = read;
    flight->error = failure;
    flight->done = true;
    flight->landed.notify_all();
    lock.unlock();
    games = std::move(read);
    error = std::move(failure);
    return ok;
  }

  // Runs the query on a store no other request is using.
  bool QueryStore(const LeaderboardQuery& query, std::vector<GameLeaderboard>& games,
                  StoreError& error) {
    std::unique_ptr<MessageStore> store;
    {
      const std::lock_guard lock(mutex);
      if (!idle.empty()) {
        store = std::move(idle.back());
        idle.pop_back();
      }
    }
    if (!store) {
      store = open(error);
      if (!store) {
        readFailed(error);
        return false;
      }
    }
    // A store whose connection was lost connects again on its next query, so it is kept.
    const bool read = store->Leaderboard(query, games, error);
    {
      const std::lock_guard lock(mutex);
      idle.push_back(std::move(store));
    }
    if (!read) {
      readFailed(error);
      return false;
    }
    for (GameLeaderboard& game : games) {
      for (LeaderboardEntry& entry : game.entries) {
        entry.sender.clear();
      }
    }
    return true;
  }

  void Board(httplib::Response& response, const LeaderboardQuery& query, bool page,
             const std::string& liveApi) {
    std::vector<GameLeaderboard> games;
    StoreError error;
    if (!Query(query, games, error)) {
      Refuse(response, 503, "the database cannot be read now");
      return;
    }
    if (page) {
      Reply(response, 200, RenderBoardPage(games, query.gameId, liveApi), kHtml);
      response.set_header("Content-Security-Policy", kPolicy);
    } else {
      Reply(response, 200, ScoresJson(games, Senders::kLeftOut) + "\n", kJson);
    }
  }

  void Get(const httplib::Request& request, httplib::Response& response) {
    const std::string& path = request.path;
    const std::string_view queryText = QueryText(request);
    if (path != "/api/scores" && !queryText.empty()) {
      Refuse(response, 400, "this page takes no parameters");
      return;
    }
    if (path == "/") {
      Board(response, {std::nullopt, kFrontPageTop}, true,
            "/api/scores?top=" + std::to_string(kFrontPageTop));
      return;
    }
    if (path.starts_with(kGamePrefix)) {
      const auto game = ParseGameId(std::string_view(path).substr(kGamePrefix.size()));
      if (!game) {
        Refuse(response, 404, "no such page: a game id is a 32-bit whole number");
        return;
      }
      Board(response, {game, kMaxTop}, true,
            "/api/scores?game=" + std::to_string(*game) + "&top=" + std::to_string(kMaxTop));
      return;
    }
    if (path == "/api/scores") {
      LeaderboardQuery query;
      std::string why;
      if (!ReadLeaderboardQuery(queryText, query, why)) {
        Refuse(response, 400, why);
        return;
      }
      Board(response, query, false, {});
      return;
    }
    if (path == "/live.js") {
      Reply(response, 200, std::string(LiveScript()), "text/javascript; charset=utf-8");
      return;
    }
    Refuse(response, 404, "no such page");
  }
};

LeaderboardServer::LeaderboardServer(StoreOpener open, ReadFailed readFailed)
    : parts_(std::make_unique<Parts>()) {
  parts_->open = std::move(open);
  parts_->readFailed = std::move(readFailed);
  httplib::Server& server = parts_->server;
  server.set_socket_options(ExclusiveAddress);
  const int threads = std::max(kMinThreads, static_cast<int>(std::thread::hardware_concurrency()));
  server.new_task_queue = [threads] {
    return new httplib::ThreadPool(static_cast<std::size_t>(threads));
  };
  // Headers and body go out in separate writes; without this the body waits for the client's
  // delayed acknowledgement (some 40 ms) on every kept-alive request.
  server.set_tcp_nodelay(true);
  server.set_keep_alive_max_count(kKeepAliveRequests);
  server.set_keep_alive_timeout(kKeepAliveSeconds);
  server.set_payload_max_length(kMaxBody);
  Parts* parts = parts_.get();
  server.set_pre_routing_handler(
      [](const httplib::Request& request, httplib::Response& /*response*/) {
        IgnoreRanges(request);
        return httplib::Server::HandlerResponse::Unhandled;
      });
  // HEAD is answered by the GET handler, without the body.
  server.Get(".*", [parts](const httplib::Request& request, httplib::Response& response) {
    parts->Get(request, response);
  });
  const auto refuse = [](const httplib::Request& /*request*/, httplib::Response& response) {
    Refuse(response, 405, "only GET and HEAD");
    response.set_header("Allow", "GET, HEAD");
  };
  server.Post(".*", refuse);
  server.Put(".*", refuse);
  server.Patch(".*", refuse);
  server.Delete(".*", refuse);
  server.Options(".*", refuse);
  // A request the library turns away before routing it (TRACE, CONNECT, a method it does not
  // know, a malformed line) would otherwise get an empty 400: it gets the same short text.
  // A Range it cannot parse gets 416 before routing: ignored too, like any other.
  server.set_error_handler([parts](const httplib::Request& request, httplib::Response& response) {
    if (!response.body.empty()) {
      return;
    }
    const bool read = request.method == "GET" || request.method == "HEAD";
    if (read && response.status == 416) {
      IgnoreRanges(request);
      parts->Get(request, response);
    } else if (!request.method.empty() && !read) {
      Refuse(response, 405, "only GET and HEAD");
      response.set_header("Allow", "GET, HEAD");
    } else {
      Refuse(response, response.status, "bad request");
    }
  });
  server.set_exception_handler(
      [](const httplib::Request& /*request*/, httplib::Response& response,
         const std::exception_ptr& /*failure*/) { Refuse(response, 500, "internal error"); });
}

LeaderboardServer::~LeaderboardServer() = default;

void LeaderboardServer::AddStore(std::unique_ptr<MessageStore> store) {
  const std::lock_guard lock(parts_->mutex);
  parts_->idle.push_back(std::move(store));
}

bool LeaderboardServer::Bind(const std::string& host, int& port, std::string& error) {
  httplib::Server& server = parts_->server;
  const int wanted = port;
  errno = 0;
  const bool bound =
      wanted == 0 ? (port = server.bind_to_any_port(host)) > 0 : server.bind_to_port(host, wanted);
  if (!bound) {
    const int failure = errno;  // bind's, as the library leaves it
    error = "cannot listen on " + host + ":" + std::to_string(wanted);
    if (failure != 0) {
      std::string reason = std::generic_category().message(failure);
      reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
      error += ": " + reason;
    }
    return false;
  }
  return true;
}

bool LeaderboardServer::Serve() { return parts_->server.listen_after_bind(); }

void LeaderboardServer::Stop() { parts_->server.stop(); }

}  // namespace brindle::service::web
