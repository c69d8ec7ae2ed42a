#include "tools/phone_sim/cmd_phone.h"

#include <charconv>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "tools/exit_status.h"
#include "tools/phone_sim/deliver_pdu.h"
#include "tools/phone_sim/feed_pipe.h"
#include "tools/phone_sim/phone_mode.h"
#include "tools/phone_sim/phone_runner.h"

namespace brindle::tools {
namespace {

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

std::optional<std::uint8_t> CodingOf(const std::string& text) {
  std::uint8_t coding = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, coding, 16);
  return text.size() == 2 && stop == end && error == std::errc() ? std::optional(coding)
                                                                 : std::nullopt;
}

int RunPhoneCommand(PhoneArguments& arguments) {
  if (arguments.deliver.deliver) {
    return PrintDelivers(arguments.deliver, arguments.options.ownNumber);
  }
  std::string error;
  const auto modes = sim::ParsePhoneModes(arguments.mode, error);
  if (!modes) {
    (void)std::fprintf(stderr, "brindle phone: %s\n", error.c_str());
    return kExitBadInput;
  }
  arguments.options.modes = *modes;
  return sim::RunPhone(arguments.options, stdout);
}

}  // namespace brindle::tools
