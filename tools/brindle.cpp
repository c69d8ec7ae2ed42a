// `brindle`: every subcommand on one command line. The phone's and the sender's options are
// declared here, the codec's and the service's in cmd_codec.cpp and serve/cmd_serve.cpp: the
// CLI11 header is costly to compile, so few sources include it.
#include <cstdio>
#include <exception>
#include <memory>
#include <string>

#include "tools/commands.h"
#include "tools/phone_sim/cmd_phone.h"
#include "tools/phone_sim/deliver_pdu.h"
#include "tools/phone_sim/message_store.h"
#include "tools/phone_sim/phone_mode.h"
#include "tools/send/cmd_send.h"
#include "tools/send/demo_run.h"

namespace brindle::tools {
namespace {

CLI::Validator NotNegative() {
  return {[](const std::string& text) {
            double value = 0;
            if (!CLI::detail::lexical_cast(text, value) || !(value >= 0)) {
              return "must be a number, 0 or more, not '" + text + "'";
            }
            return std::string();
          },
          ""};
}

// A check that says what the value must be.
CLI::Validator Checked(bool (*fits)(const std::string&), std::string expected) {
  return {[fits, expected = std::move(expected)](const std::string& text) {
            return fits(text) ? std::string() : "must be " + expected + ", not '" + text + "'";
          },
          ""};
}

void RegisterPhoneCommand(CLI::App& app, int& status) {
  const CLI::Validator kPhoneNumber =
      Checked([](const std::string& text) { return sim::IsPhoneNumber(text); },
              "'+' (optional) and 1 to 20 digits");
  // The callback runs after parsing, while `app` (and so this) is alive.
  auto arguments = std::make_shared<PhoneArguments>();
  CLI::App* phone = app.add_subcommand(
      "phone",
      "Simulated GSM phone on a pseudo-terminal: prints the terminal's path, then answers AT "
      "commands, takes SMS-SUBMIT PDUs and keeps received SMS-DELIVERs in a message memory "
      "(AT+CNMI, AT+CMGL, AT+CMGR, AT+CMGD, PDU mode)");
  // The last of a repeated option counts, so a script can override what it was given.
  phone->option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  // An option with a value, shown in the help as `type`.
  const auto valued = [phone](const std::string& name, auto& into, const std::string& what,
                              const char* type) {
    return phone->add_option(name, into, what)->type_name(type);
  };
  valued("--mode", arguments->mode,
         "Behaviour, one mode or several joined by commas: " + std::string(sim::PhoneModeList()),
         "MODE[,MODE...]")
      ->capture_default_str();
  valued("--seed", arguments->options.seed,
         "Seed of the random choices (garbage, noisy), for a run that can be repeated "
         "(0: a fresh one)",
         "N");
  valued("--link", arguments->options.linkPath,
         "Also make a symlink to the terminal at PATH (removed on exit)", "PATH");
  valued("--log", arguments->options.logPath, "Write every byte and message as JSON lines to FILE",
         "FILE");
  valued("--timeout", arguments->options.timeoutSeconds,
         "Exit after SECONDS (0: run until SIGTERM/SIGINT)", "SECONDS")
      ->check(NotNegative());
  valued("--count", arguments->options.count,
         "Exit once N messages have been taken and answered (0: no limit)", "N")
      ->check(NotNegative());
  valued("--capacity", arguments->options.capacity,
         "Places in each message memory, indexes 1 to N (0 to N-1 with index-zero)", "N")
      ->check(CLI::Range(1, sim::kMaxStoreCapacity).description(""))
      ->capture_default_str();
  valued("--inbox", arguments->options.inboxPath,
         "Store these received messages at start: one SMS-DELIVER PDU in hex a line, "
         "service-centre field first ('00': the phone's own); blank and # lines skipped",
         "FILE");
  valued("--feed", arguments->options.feedPath,
         "Take received messages, as --inbox lines, from the named pipe PATH while running (made "
         "if missing, removed on exit if made)",
         "PATH");
  phone->add_flag("--loopback", arguments->options.loopback,
                  "Every message sent also arrives, as an SMS-DELIVER from --own-number stamped "
                  "with the local time and zone");
  valued("--own-number", arguments->options.ownNumber,
         "This phone's number, the sender of looped-back messages", "NUMBER")
      ->check(kPhoneNumber)
      ->capture_default_str();
  valued("--pin", arguments->options.pin,
         "The SIM is locked until AT+CPIN=\"PIN\" gives this PIN (three wrong ones and it wants "
         "its PUK, which it never takes)",
         "PIN");
  CLI::Option* deliver = phone->add_flag(
      "--deliver", arguments->deliver.deliver,
      "Run no phone: read SMS-SUBMIT PDUs from standard input, as --inbox lines (the \"pdu\" of "
      "`brindle encode --lines`), and print the SMS-DELIVER each becomes on arrival, as an "
      "--inbox line (service-centre field '00')");
  valued("--from", arguments->deliver.from, "The sender (default: --own-number)", "NUMBER")
      ->check(kPhoneNumber)
      ->needs(deliver);
  valued("--sent", arguments->deliver.sent,
         "The centre's time stamp, as 2026-12-06T21:15:03+01:00 (default: now, in local time)",
         "TIME")
      ->check(Checked([](const std::string& text) { return sim::ParseTimeStamp(text).has_value(); },
                      "a time as 2026-12-06T21:15:03+01:00, the offset in quarter hours"))
      ->needs(deliver);
  valued("--coding", arguments->deliver.coding,
         "TP-DCS in place of the SUBMIT's; the user data stays as sent", "HEX")
      ->check(Checked([](const std::string& text) { return CodingOf(text).has_value(); },
                      "two hex digits"))
      ->needs(deliver);
  phone->callback([arguments, &status] { status = RunPhoneCommand(*arguments); });
}

void RegisterSendCommands(CLI::App& app, int& status) {
  auto send = std::make_shared<SendArguments>();
  CLI::App* sendCommand = app.add_subcommand(
      "send",
      "Send a highscore as an SMS through the phone on a serial port, with the terminal dialog "
      "or, with --auto, without one");
  sendCommand->add_option("--game", send->game, "Game name, shown in the title (UTF-8)")
      ->required();
  sendCommand->add_option("--game-id", send->send.gameId, "Game number (32-bit)")->required();
  sendCommand->add_option("--score", send->send.score, "Score (32-bit)")->required();
  AddPortOption(*sendCommand, send->send.port)->capture_default_str();
  CLI::Option* handleOption =
      sendCommand->add_option("--handle", send->handle, "Player's handle, prefilled (UTF-8)");
  sendCommand->add_flag("--auto", send->send.automatic,
                        "No dialog: press Send SMS with --handle once and print each status "
                        "line and message box");
  sendCommand->callback(
      [send, handleOption, &status] { status = RunSendCommand(*send, handleOption->count() > 0); });

  const auto [demoCommand, demo] = AddCommand<DemoOptions>(
      app, status, "demo",
      "Start the simulated phone, send a sample highscore to it and show what it received",
      [](const DemoOptions& options) { return RunDemo(options, stdout); });
  demoCommand->add_flag("--interactive", demo->interactive,
                        "Send through the terminal dialog instead of automatically");
}

int Run(int argc, char** argv) {
  CLI::App app{"Brindle: score messages as SMS, and a simulated phone to send them to"};
  app.require_subcommand(1);
  app.set_version_flag("--version", "brindle " BRINDLE_VERSION);
  // One line on standard error for every refused argument, as scripts expect.
  app.failure_message(
      [](const CLI::App* /*app*/, const CLI::Error& e) { return std::string(e.what()) + "\n"; });
  int status = kExitOk;
  RegisterCodecCommands(app, status);
  RegisterPhoneCommand(app, status);
  RegisterSendCommands(app, status);
  RegisterServeCommands(app, status);
  RegisterOperatorCommands(app, status);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    // Scripts tell bad input by status 2, whatever CLI11 would have used.
    app.exit(e);
    return kExitBadInput;
  }
  return status;
}

}  // namespace
}  // namespace brindle::tools

int main(int argc, char** argv) {
  try {
    return brindle::tools::Run(argc, argv);
  } catch (const std::exception& e) {
    static_cast<void>(std::fprintf(stderr, "brindle: %s\n", e.what()));
  } catch (...) {
    static_cast<void>(std::fputs("brindle: unexpected failure\n", stderr));
  }
  return brindle::tools::kExitBadInput;
}
