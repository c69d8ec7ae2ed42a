// `brindle phone`: the simulated GSM phone on a pseudo-terminal.
#include <charconv>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "tools/commands.h"
#include "tools/phone_sim/deliver_pdu.h"
#include "tools/phone_sim/feed_pipe.h"
#include "tools/phone_sim/phone_mode.h"
#include "tools/phone_sim/phone_runner.h"

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

// TP-DCS as two hex digits.
std::optional<std::uint8_t> CodingOf(const std::string& text) {
  std::uint8_t coding = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, coding, 16);
  return text.size() == 2 && stop == end && error == std::errc() ? std::optional(coding)
                                                                 : std::nullopt;
}

CLI::Validator Checked(bool (*fits)(const std::string&), std::string expected) {
  return {[fits, expected = std::move(expected)](const std::string& text) {
            return fits(text) ? std::string() : "must be " + expected + ", not '" + text + "'";
          },
          ""};
}

struct DeliverArguments {
  bool deliver = false;
  std::string from;  // empty: --own-number
  std::string sent;  // empty: now
  std::string coding;
};

// --deliver: each SMS-SUBMIT line of standard input as the SMS-DELIVER it becomes on arrival.
int PrintDelivers(const DeliverArguments& arguments, const std::string& ownNumber) {
  const std::string& from = arguments.from.empty() ? ownNumber : arguments.from;
  const TimeStamp sent = arguments.sent.empty() ? sim::LocalTimeStamp(std::time(nullptr))
                                                : *sim::ParseTimeStamp(arguments.sent);
  const auto coding = CodingOf(arguments.coding);
  std::string line;
  for (int number = 1; std::getline(std::cin, line); ++number) {
    const std::string submit = sim::PduOfLine(line);
    if (submit.empty()) {
      continue;
    }
    auto deliver = sim::DeliverOfSubmit(submit, from, sent);
    if (!deliver) {
      (void)std::fprintf(stderr, "brindle phone: line %d: not an SMS-SUBMIT that reads whole\n",
                         number);
      return kExitBadInput;
    }
    deliver->serviceCentre = Address{};  // the phone that takes the line puts its own in
    deliver->dataCodingScheme = coding.value_or(deliver->dataCodingScheme);
    (void)std::printf("%s\n", sim::PduText(*deliver).c_str());
  }
  return kExitOk;
}

}  // namespace

void RegisterPhoneCommand(CLI::App& app, int& status) {
  struct Arguments {
    std::string mode = "ok";
    sim::PhoneOptions options;
    DeliverArguments deliver;
  };
  const CLI::Validator kPhoneNumber =
      Checked([](const std::string& text) { return sim::IsPhoneNumber(text); },
              "'+' (optional) and 1 to 20 digits");
  // The callback runs after parsing, while `app` (and so this) is alive.
  auto arguments = std::make_shared<Arguments>();
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
  phone->callback([arguments, &status] {
    if (arguments->deliver.deliver) {
      status = PrintDelivers(arguments->deliver, arguments->options.ownNumber);
      return;
    }
    std::string error;
    const auto modes = sim::ParsePhoneModes(arguments->mode, error);
    if (!modes) {
      (void)std::fprintf(stderr, "brindle phone: %s\n", error.c_str());
      status = kExitBadInput;
      return;
    }
    arguments->options.modes = *modes;
    status = sim::RunPhone(arguments->options, stdout);
  });
}

}  // namespace brindle::tools
