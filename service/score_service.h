// The score service: takes the messages off the phone, keeps them in the store and deletes
// the phone's copies only once exactly what was read for them is committed. It reads every
// message memory the phone offers, survives the phone's faults (a port that fails or vanishes
// is reopened after a growing back-off; a phone that never finishes an answer is reset) and
// never trusts an answer that may belong to another command.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/clock.h"
#include "base/sleeper.h"
#include "phone/phone_link.h"
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
  // One line, without its line end: what happened.
  virtual void Line(std::string_view text) = 0;
  // One line about a fault: the phone, the port or the store failed or refused.
  virtual void Warning(std::string_view text) { Line(text); }
};

// How the phone's line is set and the phone prepared, beyond the standard start.
struct ModemSettings {
  std::uint32_t baudRate = kPortBaudRate;
  // Sent only when AT+CPIN? says the SIM waits for its PIN; once refused, never again, since
  // a SIM locks itself after a few wrong ones.
  std::string pin;
  // Sent in order after the standard start; each must answer OK.
  std::vector<std::string> initCommands;
  bool operator==(const ModemSettings&) const = default;
};

struct ServiceOptions {
  std::string port;  // as `brindle send` takes it: "COMn:" or a path
  bool once = false;
  std::uint32_t pollSeconds = kDefaultPollSeconds;
  ModemSettings modem;
};

struct ServiceParts {
  SerialPort* port = nullptr;
  MessageStore* store = nullptr;
  Clock* clock = nullptr;
  Sleeper* sleeper = nullptr;
  ServiceLog* log = nullptr;
  // Polled often; true ends the service cleanly.
  std::function<bool()> stopRequested;
  // The time of day in UTC ("2026-12-07T13:49:05Z"), which tells damaged entries apart.
  std::function<std::string()> utcNow;
  // Called after each commit, before the phone's copies are deleted (fault tests end the
  // process here).
  std::function<void()> afterCommit;
  // Called each time the phone has been prepared and the service starts reading it; may be empty.
  std::function<void()> phoneReady;
};

// What Run() did, for the figures.
struct ServiceCounts {
  std::uint64_t stored = 0;    // messages newly kept
  std::uint64_t rejected = 0;  // of those, kept as rejected
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
  // New modem settings and poll period, taken at the next safe point: a change of the modem's
  // opens the line again and prepares the phone afresh. May be called from stopRequested.
  void Reconfigure(ModemSettings modem, std::uint32_t pollSeconds);

 private:
  enum class Step : std::uint8_t {
    kOk,
    kLineFailed,   // the port failed: reopen it
    kStuck,        // an answer never ended or stayed out of step: reset the phone
    kStoreFailed,  // the store refused; the messages stay on the phone
    kSkipped,      // the phone refused to select a memory: not read this time, nothing lost
    kStopped,
    kReconfigured,  // new modem settings: open the line again
  };
  // Where a message is on the phone; `memory` is empty for the phone's default memory.
  struct Place {
    std::string memory;
    int index = -1;
    // clang-tidy 14 reads the defaulted comparison's test against 0 as a null pointer constant.
    auto operator<=>(const Place&) const = default;  // NOLINT(modernize-use-nullptr)
  };
  // A message read and to be kept: the place it was read from and how its delete is checked.
  struct Taken {
    Message message;
    Place place;
    bool readAlone = false;  // read by AT+CMGR: read again and compared before the delete
  };
  struct Broken {
    int failures = 0;
    std::string text;
    std::string reason;
  };

  static Step StepOf(const Answer& answer);
  bool Connect();
  bool Initialise();
  bool Unlock();
  bool TakePending();
  bool SendInitCommands();
  Answer Ask(std::string_view command, Expect expect = Expect::kPlain, int index = -1);
  Step Select(const std::string& memory);
  Step Round();
  Step ListMemory(const std::string& memory);
  Step ReadIndex(const Place& place);
  Step Keep(std::vector<Taken> taken, bool mayDelete);
  Step Delete(const Taken& taken, std::int64_t id);
  Step TakeEntries(const std::vector<AtEvent>& entries, const std::string& memory, bool mayDelete,
                   bool readAlone);
  Step RetryBroken(const std::string& memory);
  Step Serve();
  void Shutdown();
  void Backoff(std::uint32_t& delayMs);
  // Tells the store what the service is doing, for `brindle status` and the web's metrics.
  void Report(PortState state, bool listed = false);
  [[nodiscard]] bool Stopping() const;
  void Log(const std::string& text) const;
  void Warn(const std::string& text) const;
  // "the phone on PORT did not take COMMAND (its answer)".
  void NotTaken(std::string_view command, const Answer& answer) const;
  [[nodiscard]] static std::string Where(const Place& place);

  ServiceOptions options_;
  ServiceParts parts_;
  PhoneSession session_;
  bool announcing_ = false;
  bool settled_ = false;               // the first round after the start went through
  std::vector<std::string> memories_;  // read in turn; empty: the default memory only
  std::string selected_;               // the memory AT+CPMS selected last
  bool threeMemoryForm_ = true;        // false once the phone refused AT+CPMS="M","M","M"
  std::map<Place, Broken> broken_;     // entries not received whole, by place
  // Entries whose header named no index: counted per listing by memory and header text, and
  // kept once, since they cannot be read alone or deleted.
  std::map<std::pair<std::string, std::string>, Broken> nameless_;
  std::set<std::pair<std::string, std::string>> namelessKept_;
  std::set<Place> refusedPlaces_;
  std::set<std::string> unselectable_;
  ServiceCounts counts_;
  std::uint64_t storeRetryAt_ = 0;
  bool storeFailing_ = false;
  bool storedSinceReport_ = false;
  std::optional<std::pair<ModemSettings, std::uint32_t>> pending_;  // from Reconfigure
  bool pinRefused_ = false;  // the SIM said the PIN was wrong: it is not sent again
  std::string pinSaid_;      // the last thing said about the SIM's lock, said once
};

}  // namespace brindle::service
