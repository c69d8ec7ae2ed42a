// Shared set-up of the entry tests: a scripted player, a phone on the recording port, pauses
// that return at once, and the module state cleared around every test.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "base/testing/recording_sleeper.h"
#include "dialog/dialog_template.h"
#include "dialog/testing/scripted_dialog_host.h"
#include "entry/send_high_score.h"
#include "phone/testing/recording_serial_port.h"

namespace brindle {

inline constexpr std::u16string_view kOpening = u"Opening IR Port..\r\n";
inline constexpr std::u16string_view kInitializing = u"Initializing the phone..\r\n";
inline constexpr std::u16string_view kPreparing = u"Preparing the highscore SMS..\r\n";
inline constexpr std::u16string_view kSending = u"Sending the highscore SMS..\r\n";
inline constexpr std::u16string_view kHandleTooShort =
    u"The handle has to be at least two characters long!";
inline constexpr std::u16string_view kOpenFailed = u"Unable to open IR port!";
inline constexpr std::u16string_view kInitFailed =
    u"Unable to initialize the phone. Check that IR is enable on the phone!\r\n";
inline constexpr std::u16string_view kPrepareFailed =
    u"Unable to prepare the SMS message! Your highscore was not sent!\r\n";
inline constexpr std::u16string_view kSendFailed =
    u"Unable to send the highscore SMS! Please, try again!\r\n";

inline std::u16string Join(std::initializer_list<std::u16string_view> parts) {
  std::u16string text;
  for (const auto part : parts) {
    text += part;
  }
  return text;
}

class EntryTest : public ::testing::Test {
 protected:
  void SetUp() override { ClearModuleState(); }
  void TearDown() override { ClearModuleState(); }

  static void ClearModuleState() {
    std::fill(std::begin(g_lastHandle), std::end(g_lastHandle), u'\0');
    g_activeRequest = nullptr;
  }

  // Prompts for the PDU after AT+CMGS and says OK to everything else.
  void PhoneAnswersEverything() {
    port.AnswerAfter("AT+CMGS", "\r\n> ");
    port.AnswerAfter("", "\r\nOK\r\n");
  }

  RunOutcome Run(const char16_t* gameName = u"Quarry", std::int32_t gameId = 42,
                 std::int32_t score = 1234) {
    return RunHighScore(gameName, gameId, score, &parentWindow, Platform{&host, &port, &sleeper});
  }

  // The texts the result box showed at each repaint, from the first "Send SMS" press of the
  // first run on: repeated texts from reading the boxes back are kept, as they happened.
  [[nodiscard]] std::vector<std::u16string> Shown() const { return host.RepaintedResults(); }

  [[nodiscard]] static std::u16string LastHandle() {
    return std::u16string(TerminatedView(std::span<const char16_t>(g_lastHandle)));
  }

  ScriptedDialogHost host;
  RecordingSerialPort port;
  RecordingSleeper sleeper;
  int parentWindow = 0;
};

}  // namespace brindle
