#include "tools/send/demo_run.h"

#include <unistd.h>

#include <array>
#include <string>

#include "tools/commands.h"
#include "tools/send/child_process.h"
#include "tools/send/send_run.h"

namespace brindle::tools {
namespace {

constexpr int kPhoneStartMs = 5000;
// The phone prints its line as soon as the PDU is in; the send's own pauses come before.
constexpr int kPhoneLineMs = 10000;
constexpr int kPhoneExitMs = 5000;

std::string OwnProgram() {
  std::array<char, 4096> path{};
  const ssize_t length = readlink("/proc/self/exe", path.data(), path.size() - 1);
  return length > 0 ? std::string(path.data(), static_cast<std::size_t>(length))
                    : std::string("/proc/self/exe");
}

}  // namespace

int RunDemo(const DemoOptions& options, std::FILE* out) {
  ChildProcess phone;
  if (!phone.Start(OwnProgram(), {"phone", "--count", "1", "--timeout",
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
  phone.Finish(decoded ? kPhoneExitMs : 0);
  if (!decoded) {
    static_cast<void>(std::fputs("The phone decoded no highscore.\n", out));
    return kExitFailed;
  }
  static_cast<void>(std::fprintf(out, "The phone received: %s\n", received.c_str()));
  return kExitOk;
}

}  // namespace brindle::tools
