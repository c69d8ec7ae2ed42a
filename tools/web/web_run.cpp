// What `brindle web` does: the leaderboard as web pages and a JSON API, read-only, from either
// store.
#include "tools/web/web_run.h"

#include <pthread.h>
#include <sys/resource.h>

#include <atomic>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "service/change_watch.h"
#include "service/message_store.h"
#include "service/web/leaderboard_server.h"
#include "tools/config_file.h"
#include "tools/exit_status.h"
#include "tools/log_line.h"
#include "tools/systemd_notify.h"

namespace brindle::tools {
namespace {

constexpr long kSignalPollNs = 200'000'000;
constexpr int kMaxPort = 65535;

int Refuse(const std::string& what) {
  static_cast<void>(std::fprintf(stderr, "brindle web: %s\n", what.c_str()));
  return kExitBadInput;
}

void Log(LogLevel level, const std::string& text) { LogLine(level, "brindle web", text); }

// HOST:PORT, the host maybe in brackets ([::1]:8080); port 0 takes a free one.
bool SplitListen(const std::string& text, std::string& host, int& port) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) {
    return false;
  }
  host = text.substr(0, colon);
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  }
  const char* begin = text.data() + colon + 1;
  const char* end = text.data() + text.size();
  const auto [stop, status] = std::from_chars(begin, end, port);
  return begin != end && status == std::errc() && stop == end && port >= 0 && port <= kMaxPort;
}

// SIGTERM, SIGINT and SIGHUP are blocked in every thread and taken here, where stopping the
// server is safe; blocked before the server's threads start, which inherit the mask. SIGHUP
// calls `reload` and the server goes on. Each turn also hands systemd's watchdog note to the
// serving threads, so that it is sent only while they still take work.
class StopOnSignal {
 public:
  StopOnSignal(service::web::LeaderboardServer& server, SystemdNotifier& notifier,
               std::function<void()> reload) {
    sigemptyset(&signals_);
    sigaddset(&signals_, SIGTERM);
    sigaddset(&signals_, SIGINT);
    sigaddset(&signals_, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals_, nullptr);
    watcher_ = std::thread([this, &server, &notifier, reload = std::move(reload)] {
      const timespec wait{0, kSignalPollNs};
      while (!done_.load()) {
        server.Post([&notifier] { notifier.Alive(); });
        const int signal = sigtimedwait(&signals_, nullptr, &wait);
        if (signal == SIGHUP) {
          reload();
        } else if (signal > 0) {
          server.Stop();
          return;
        }
      }
    });
  }
  StopOnSignal(const StopOnSignal&) = delete;
  StopOnSignal& operator=(const StopOnSignal&) = delete;
  StopOnSignal(StopOnSignal&&) = delete;
  StopOnSignal& operator=(StopOnSignal&&) = delete;
  ~StopOnSignal() {
    done_ = true;
    watcher_.join();
  }

 private:
  sigset_t signals_{};
  std::atomic<bool> done_{false};
  std::thread watcher_;
};

// Every viewer holds a connection, and each is a descriptor: as many as the system allows.
void RaiseDescriptorLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    static_cast<void>(setrlimit(RLIMIT_NOFILE, &limit));
  }
}

// The operator's line for a database that cannot be read: once for each new reason, and again
// a minute later with the number of failed reads between. While it is gone, every watched
// board is asked for several times a second, and each would say the same.
class FailureLog {
 public:
  void operator()(const service::StoreError& failure) {
    const auto now = std::chrono::steady_clock::now();
    const std::lock_guard lock(mutex_);
    if (failure.text == last_ && now - said_ < kRepeatAfter) {
      ++unsaid_;
      return;
    }
    Log(LogLevel::kWarning, "cannot read the database: " + failure.text +
                                (unsaid_ == 0 ? ""
                                              : " (" + std::to_string(unsaid_) +
                                                    " more failed reads since the last line)"));
    last_ = failure.text;
    said_ = now;
    unsaid_ = 0;
  }

 private:
  static constexpr std::chrono::minutes kRepeatAfter{1};
  std::mutex mutex_;
  std::string last_;
  std::chrono::steady_clock::time_point said_;
  std::uint64_t unsaid_ = 0;
};

// A test hook, not an option: BRINDLE_WEB_KEEPALIVE_MS shortens the event stream's 15 s
// between keep-alive comments, so a test sees one without waiting.
service::web::ServerTimes Times() {
  service::web::ServerTimes times;
  const char* keepAlive = std::getenv("BRINDLE_WEB_KEEPALIVE_MS");
  int ms = 0;
  if (keepAlive != nullptr &&
      std::from_chars(keepAlive, keepAlive + std::strlen(keepAlive), ms).ec == std::errc() &&
      ms > 0) {
    times.keepAlive = std::chrono::milliseconds(ms);
  }
  return times;
}

// The config file's game names, stored through a connection of their own: the server's own
// connections only read.
void NameGames(const std::string& db, const std::map<std::int64_t, std::string>& names) {
  if (names.empty()) {
    return;
  }
  service::StoreError error;
  auto store = service::OpenMessageStore(db, service::OpenMode::kExistingWrite, error);
  if (!store) {
    Log(LogLevel::kWarning, "games not named: " + error.text);
    return;
  }
  ApplyGameNames(*store, names);
}

}  // namespace

int RunWeb(const WebArguments& arguments) {
  std::string configPath;
  std::string why;
  const auto config = LoadConfig(arguments.config, configPath, why);
  if (!config) {
    return Refuse(why);
  }
  const std::string db = arguments.db.empty() ? config->database : arguments.db;
  if (db.empty()) {
    return Refuse("no database: give --db, or database in the config file");
  }
  const std::string listen = !arguments.listen.empty() ? arguments.listen
                             : !config->listen.empty() ? config->listen
                                                       : std::string(kDefaultListen);
  std::string host;
  int port = 0;
  if (!SplitListen(listen, host, port)) {
    return Refuse("--listen takes HOST:PORT (port 0 to 65535), not '" + listen + "'");
  }
  service::StoreError error;
  auto first = service::OpenMessageStore(db, service::OpenMode::kExistingOnly, error);
  if (!first) {
    return Refuse("cannot read the database " + db + ": " + error.text);
  }
  NameGames(db, config->gameNames);
  auto watch = service::OpenChangeWatch(db, error);
  if (!watch) {
    return Refuse("cannot watch the database " + db + ": " + error.text);
  }
  RaiseDescriptorLimit();
  service::web::LeaderboardServer server(
      [db](service::StoreError& failure) {
        return service::OpenMessageStore(db, service::OpenMode::kExistingOnly, failure);
      },
      // The client is told only that the database cannot be read; the operator, why.
      [log = std::make_shared<FailureLog>()](const service::StoreError& failure) {
        (*log)(failure);
      },
      std::move(watch), Times());
  server.AddStore(std::move(first));
  // A write to a closed connection does not end the server.
  static_cast<void>(std::signal(SIGPIPE, SIG_IGN));
  SystemdNotifier notifier;
  // SIGHUP: the config file's game names read again; the database and the address stay.
  const StopOnSignal stopper(server, notifier, [&] {
    SystemdNotifier::Reloading();
    std::string ignored;
    std::string failed;
    const auto fresh = LoadConfig(arguments.config, ignored, failed);
    if (!fresh) {
      Log(LogLevel::kError, "settings not reloaded: " + failed);
    } else {
      NameGames(db, fresh->gameNames);
      Log(LogLevel::kInfo, "settings reloaded; the database and the address stay until a restart");
    }
    SystemdNotifier::Ready();
  });
  if (!server.Bind(host, port, why)) {
    Log(LogLevel::kError, why);
    return kExitFailed;
  }
  const bool bracket = host.find(':') != std::string::npos;
  Log(LogLevel::kInfo, "serving http://" + std::string(bracket ? "[" : "") + host +
                           (bracket ? "]:" : ":") + std::to_string(port) + "/");
  SystemdNotifier::Ready();
  server.Serve();
  return kExitOk;
}

}  // namespace brindle::tools
