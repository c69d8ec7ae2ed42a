#include "tools/send/demo_run.h"

#include <unistd.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "tools/child_process.h"
#include "tools/exit_status.h"
#include "tools/send/send_run.h"

namespace brindle::tools {
namespace {

constexpr int kPhoneStartMs = 5000;
// The phone prints its line as soon as the PDU is in; the send's own pauses come before.
constexpr int kPhoneLineMs = 10000;
// The service takes the message off the phone in well under a second; this bounds a stuck one.
constexpr int kServeMs = 30000;
constexpr int kScoresLineMs = 5000;

std::string OwnProgram() {
  std::array<char, 4096> path{};
  const ssize_t length = readlink("/proc/self/exe", path.data(), path.size() - 1);
  return length > 0 ? std::string(path.data(), static_cast<std::size_t>(length))
                    : std::string("/proc/self/exe");
}

// A fresh folder for the demo's database, removed with everything in it.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "brindle-demo-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) {
      path_ = pattern;
    }
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  TempFolder(TempFolder&&) = delete;
  TempFolder& operator=(TempFolder&&) = delete;
  ~TempFolder() {
    if (!path_.empty()) {
      std::error_code ignored;
      std::filesystem::remove_all(path_, ignored);
    }
  }
  [[nodiscard]] const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// `brindle serve --once` into a fresh database, then `brindle scores` from it.
int ServeAndRank(const std::string& device, std::FILE* out) {
  TempFolder folder;
  if (folder.path().empty()) {
    static_cast<void>(std::fputs("brindle demo: no temporary folder for the database\n", stderr));
    return kExitFailed;
  }
  const std::string db = folder.path() + "/scores.db";
  static_cast<void>(
      std::fprintf(out, "Taking it off the phone: brindle serve --once --port %s --db %s\n",
                   device.c_str(), db.c_str()));
  static_cast<void>(std::fflush(out));
  ChildProcess serve;
  if (!serve.Start(OwnProgram(), {"serve", "--once", "--port", device, "--db", db})) {
    return kExitFailed;
  }
  if (serve.Finish(kServeMs) != kExitOk) {
    static_cast<void>(std::fputs("The score service could not take the message.\n", out));
    return kExitFailed;
  }
  ChildProcess scores;
  if (!scores.Start(OwnProgram(), {"scores", "--db", db})) {
    return kExitFailed;
  }
  static_cast<void>(std::fputs("The leaderboard:\n", out));
  std::string line;
  bool ranked = false;
  while (scores.ReadLine(line, kScoresLineMs)) {
    ranked = ranked || line.find("Player1") != std::string::npos;
    static_cast<void>(std::fprintf(out, "%s\n", line.c_str()));
  }
  if (scores.Finish(kScoresLineMs) != kExitOk || !ranked) {
    static_cast<void>(std::fputs("The score is not on the leaderboard.\n", out));
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace

int RunDemo(const DemoOptions& options, std::FILE* out) {
  ChildProcess phone;
  // Every message the phone takes also arrives back at it, as the score service's phone
  // would receive it.
  if (!phone.Start(OwnProgram(), {"phone", "--loopback", "--timeout",
                                  std::to_string(options.phoneTimeoutSeconds)})) {
    return kExitFailed;
  }
  std::string device;
  if (!phone.ReadLine(device, kPhoneStartMs) || device.empty()) {
    static_cast<void>(std::fputs("brindle demo: the simulated phone did not start\n", stderr));
    return kExitFailed;
  }
  static_cast<void>(std::fprintf(out, "Simulated phone on %s\n", device.c_str()));

  SendOptions send;
  send.game = u"Brindle Demo";
  send.gameId = 42;
  send.score = 12345;
  send.handle = u"Player1";
  send.port = device;
  send.automatic = !options.interactive;
  static_cast<void>(std::fprintf(out, "Sending game id %d, score %d, handle \"Player1\" to %s\n",
                                 send.gameId, send.score, device.c_str()));
  static_cast<void>(std::fflush(out));
  const int sent = RunSend(send, out);

  std::string received;
  const bool decoded = sent == kExitOk && phone.ReadLine(received, kPhoneLineMs) &&
                       received.starts_with("SMS ") &&
                       received.find("game id") != std::string::npos;
  if (!decoded) {
    phone.Finish(0);
    static_cast<void>(std::fputs("The phone decoded no highscore.\n", out));
    return kExitFailed;
  }
  static_cast<void>(std::fprintf(out, "The phone received: %s\n", received.c_str()));
  const int served = ServeAndRank(device, out);
  phone.Finish(0);
  return served;
}

}  // namespace brindle::tools
