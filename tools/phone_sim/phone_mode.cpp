#include "tools/phone_sim/phone_mode.h"

#include <algorithm>
#include <array>
#include <string>
#include <utility>

namespace brindle::sim {
namespace {

constexpr std::array<std::pair<std::string_view, PhoneMode>, 28> kModes{{
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
    {"noisy", PhoneMode::kNoisy},
    {"index-zero", PhoneMode::kIndexZero},
    {"memories", PhoneMode::kMemories},
    {"cpms-one", PhoneMode::kCpmsOne},
    {"not-support", PhoneMode::kNotSupport},
    {"sim-busy", PhoneMode::kSimBusy},
    {"cmgr-no-stat", PhoneMode::kCmgrNoStat},
    {"padded", PhoneMode::kPadded},
    {"hang-listing", PhoneMode::kHangListing},
    {"endless-listing", PhoneMode::kEndlessListing},
    {"full", PhoneMode::kFull},
    {"late", PhoneMode::kLate},
    {"stray-ok", PhoneMode::kStrayOk},
}};

// Modes that each decide the same thing: what every answer is, or how the first listing ends.
constexpr std::array<std::array<PhoneMode, 3>, 2> kExclusive{{
    {PhoneMode::kSilent, PhoneMode::kError, PhoneMode::kGarbage},
    {PhoneMode::kHangupListing, PhoneMode::kHangListing, PhoneMode::kEndlessListing},
}};

std::string_view ModeName(PhoneMode mode) {
  for (const auto& [text, each] : kModes) {
    if (each == mode) {
      return text;
    }
  }
  return "?";
}

}  // namespace

std::optional<PhoneMode> ParsePhoneMode(std::string_view name) {
  for (const auto& [text, mode] : kModes) {
    if (text == name) {
      return mode;
    }
  }
  return std::nullopt;
}

std::optional<PhoneModes> ParsePhoneModes(std::string_view names, std::string& error) {
  PhoneModes modes;
  for (;;) {
    const std::size_t comma = std::min(names.find(','), names.size());
    const std::string_view name = names.substr(0, comma);
    const auto mode = ParsePhoneMode(name);
    if (!mode) {
      error =
          "unknown mode '" + std::string(name) + "' (one of " + std::string(PhoneModeList()) + ")";
      return std::nullopt;
    }
    for (const auto& group : kExclusive) {
      const bool inGroup = std::find(group.begin(), group.end(), *mode) != group.end();
      for (const PhoneMode other : group) {
        if (inGroup && other != *mode && modes.Has(other)) {
          error = "modes '" + std::string(ModeName(other)) + "' and '" + std::string(name) +
                  "' do not go together";
          return std::nullopt;
        }
      }
    }
    modes.Add(*mode);
    if (comma == names.size()) {
      return modes;
    }
    names.remove_prefix(comma + 1);
  }
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
