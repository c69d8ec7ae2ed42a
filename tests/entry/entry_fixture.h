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

using Action = PlayerAction;

inline const std::u16string kOpening = u"Opening IR Port..\r\n";
inline const std::u16string kInitializing = u"Initializing the phone..\r\n";
inline const std::u16string kPreparing = u"Preparing the highscore SMS..\r\n";
inline const std::u16string kSending = u"Sending the highscore SMS..\r\n";
inline const std::u16string kHandleTooShort = u"The handle has to be at least two characters long!";
inline const std::u16string kOpenFailed = u"Unable to open IR port!";
inline const std::u16string kInitFailed =
    u"Unable to initialize the phone. Check that IR is enable on the phone!\r\n";
inline const std::u16string kPrepareFailed =
    u"Unable to prepare the SMS message! Your highscore was not sent!\r\n";
inline const std::u16string kSendFailed =
    u"Unable to send the highscore SMS! Please, try again!\r\n";

// What the dialogs showed, in order: the result box at each repaint, each box (owned by the
// dialog or not) with its caption, and the end.
inline std::vector<std::u16string> Shown(const DialogLog& log) {
  std::vector<std::u16string> shown;
  for (const DialogEvent& e : log.events) {
    if (e.kind == DialogEvent::Kind::kMessageBox) {
      shown.push_back((e.owned ? u"owned box " : u"box ") + e.caption + u": " + e.text);
    } else {
      shown.push_back(e.kind == DialogEvent::Kind::kEnd ? u"end" : e.text);
    }
  }
  return shown;
}

class EntryTest : public ::testing::Test {
 protected:
  void SetUp() override { ClearModuleState(); }
  void TearDown() override { ClearModuleState(); }

  static void ClearModuleState() {
    std::fill(std::begin(g_lastHandle), std::end(g_lastHandle), u'\0');
    g_activeRequest = nullptr;
  }

  RunOutcome Run(const char16_t* gameName = u"Comet Quarry", std::int32_t gameId = 42,
                 std::int32_t score = 1234) {
    return RunHighScore(gameName, gameId, score, &parentWindow, Platform{&host, &port, &sleeper});
  }

  [[nodiscard]] static std::u16string LastHandle() {
    return std::u16string(TerminatedView(std::span<const char16_t>(g_lastHandle)));
  }

  ScriptedDialogHost host;
  RecordingSerialPort port;
  RecordingSleeper sleeper;
  int parentWindow = 0;
};

}  // namespace brindle
