// `brindle phone` as a process: a pseudo-terminal, the dialogue on it, the log, and the ways
// it ends (time-out, message count, SIGTERM/SIGINT).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "tools/phone_sim/message_store.h"
#include "tools/phone_sim/phone_mode.h"

namespace brindle::sim {

struct PhoneOptions {
  PhoneModes modes = PhoneMode::kOk;
  std::uint32_t seed = 0;     // of the random choices; 0: a fresh one each run
  std::string linkPath;       // empty: no symlink
  std::string logPath;        // empty: no log
  double timeoutSeconds = 0;  // 0: no limit
  int count = 0;              // 0: no limit
  // Receiving:
  int capacity = kDefaultStoreCapacity;  // places in the message memory
  std::string inboxPath;                 // empty: the memory starts empty
  std::string feedPath;                  // empty: no named pipe to take messages from
  bool loopback = false;                 // every message sent also arrives, from ownNumber
  std::string ownNumber = "+447700900123";
  std::string pin;  // empty: the SIM asks for none
};

// Once the line must drop (hangup modes), what the phone had to say goes out first; it waits
// this long at most for the program to read it.
inline constexpr unsigned kHangupDrainMs = 1000;

// After the last counted message the phone stays until the program has read every answer
// and the line has been quiet this long (the shutdown commands still get their answers),
// but no longer than the limit.
inline constexpr unsigned kDrainQuietMs = 1500;
inline constexpr unsigned kDrainLimitMs = 15000;

// Runs until a way out; returns the process's exit status. The terminal's path is the first
// line on `out`, then one line per message taken. An inbox that cannot be read or stored
// whole is bad input (nothing printed).
int RunPhone(const PhoneOptions& options, std::FILE* out);

}  // namespace brindle::sim
