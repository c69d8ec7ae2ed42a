#include "tools/phone_sim/phone_mode.h"

#include <array>
#include <string>
#include <utility>

namespace brindle::sim {
namespace {

constexpr std::array<std::pair<std::string_view, PhoneMode>, 15> kModes{{
    {"ok", PhoneMode::kOk},
    {"silent", PhoneMode::kSilent},
    {"error", PhoneMode::kError},
    {"error-ate0", PhoneMode::kErrorAte0},
    {"no-prompt", PhoneMode::kNoPrompt},
    {"cms-error", PhoneMode::kCmsError},
    {"garbage", PhoneMode::kGarbage},
    {"flood", PhoneMode::kFlood},
    {"hangup", PhoneMode::kHangup},
    {"slow", PhoneMode::kSlow},
    {"chatty", PhoneMode::kChatty},
    {"hangup-listing", PhoneMode::kHangupListing},
    {"cmgd-refused", PhoneMode::kCmgdRefused},
    {"unsolicited-listing", PhoneMode::kUnsolicitedListing},
    {"no-cmti", PhoneMode::kNoCmti},
}};

}  // namespace

std::optional<PhoneMode> ParsePhoneMode(std::string_view name) {
  for (const auto& [text, mode] : kModes) {
    if (text == name) {
      return mode;
    }
  }
  return std::nullopt;
}

std::string_view PhoneModeList() {
  static const std::string list = [] {
    std::string all;
    for (const auto& [text, mode] : kModes) {
      all += (all.empty() ? "" : ", ") + std::string(text);
    }
    return all;
  }();
  return list;
}

}  // namespace brindle::sim
