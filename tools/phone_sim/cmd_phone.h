// `brindle phone`: the simulated GSM phone on a pseudo-terminal, or with --deliver the
// SMS-DELIVER each SMS-SUBMIT of standard input becomes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "tools/phone_sim/phone_runner.h"

namespace brindle::tools {

struct DeliverArguments {
  bool deliver = false;
  std::string from;  // empty: --own-number
  std::string sent;  // empty: now
  std::string coding;
};

struct PhoneArguments {
  std::string mode = "ok";
  sim::PhoneOptions options;
  DeliverArguments deliver;
};

// TP-DCS as two hex digits.
std::optional<std::uint8_t> CodingOf(const std::string& text);

// The exit status.
int RunPhoneCommand(PhoneArguments& arguments);

}  // namespace brindle::tools
