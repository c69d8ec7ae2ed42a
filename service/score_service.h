// The score service: takes the messages off the phone, keeps them in the store and deletes
// the phone's copies only once they are committed. It survives the phone's faults: a failed
// or vanished port is closed, reopened by its name after a growing back-off and the phone is
// initialised again.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "base/clock.h"
#include "base/sleeper.h"
#include "phone/serial_port.h"
#include "service/message_store.h"
#include "service/phone_session.h"

namespace brindle::service {

inline constexpr std::uint32_t kDefaultPollSeconds = 30;
inline constexpr std::uint32_t kMaxBackoffMs = 30000;
inline constexpr std::uint32_t kFirstBackoffMs = 1000;
// An entry that does not arrive whole is read this often before it is kept as rejected.
inline constexpr int kReadAttempts = 3;
// How soon a batch the store refused is tried again.
inline constexpr std::uint32_t kStoreRetryMs = 5000;
// --once gives a line that fails in the middle this many fresh starts.
inline constexpr int kOnceReconnects = 3;

class ServiceLog {
 public:
  ServiceLog() = default;
  ServiceLog(const ServiceLog&) = delete;
  ServiceLog& operator=(const ServiceLog&) = delete;
  ServiceLog(ServiceLog&&) = delete;
  ServiceLog& operator=(ServiceLog&&) = delete;
  virtual ~ServiceLog() = default;
  // One line, without its line end.
  virtual void Line(std::string_view text) = 0;
};

struct ServiceOptions {
  std::string port;  // as `brindle send` takes it: "COMn:" or a path
  bool once = false;
  std::uint32_t pollSeconds = kDefaultPollSeconds;
};

struct ServiceParts {
  SerialPort* port = nullptr;
  MessageStore* store = nullptr;
  Clock* clock = nullptr;
  Sleeper* sleeper = nullptr;
  ServiceLog* log = nullptr;
  // Polled often; true ends the service cleanly.
  std::function<bool()> stopRequested;
  // Called after each commit, before the phone's copies are deleted (fault tests end the
  // process here).
  std::function<void()> afterCommit;
};

// What Run() did, for the figures.
struct ServiceCounts {
  std::uint64_t stored = 0;    // messages newly kept
  std::uint64_t deleted = 0;   // deletions the phone confirmed
  std::uint64_t refused = 0;   // deletions the phone refused
  std::uint64_t waitedMs = 0;  // time spent waiting for the phone's bytes
};

enum class ServiceExit : std::uint8_t {
  kDone,        // --once finished, or a stop was requested
  kNoPhone,     // --once: the port did not open or the phone did not answer the start
  kStoreFailed  // --once: the store refused the messages; they stay on the phone
};

class ScoreService {
 public:
  ScoreService(ServiceOptions options, ServiceParts parts);

  ServiceExit Run();
  [[nodiscard]] const ServiceCounts& counts() const { return counts_; }

 private:
  enum class Step : std::uint8_t { kOk, kLineFailed, kStoreFailed };

  bool Connect();
  Step Round();
  Step ReadIndex(int index);
  Step Keep(const std::vector<Message>& messages, const std::vector<int>& indices);
  Step Delete(int index, std::int64_t id);
  Step TakeEntries(const std::vector<AtEvent>& entries);
  Step RetryBroken();
  Step Serve();
  void Shutdown();
  void Backoff(std::uint32_t& delayMs);
  bool Stopping() const;
  void Log(const std::string& text) const;

  ServiceOptions options_;
  ServiceParts parts_;
  PhoneSession session_;
  bool announcing_ = false;
  bool settled_ = false;  // the first round after the start went through
  // Index -> failed reads, and the last text and reason, of entries not received whole.
  struct Broken {
    int failures = 0;
    std::string text;
    std::string reason;
  };
  std::map<int, Broken> broken_;
  std::set<int> refusedIndices_;
  ServiceCounts counts_;
  std::uint64_t storeRetryAt_ = 0;
  bool storeFailing_ = false;
};

}  // namespace brindle::service
