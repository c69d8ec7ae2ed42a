#include <array>
#include <cstdint>
#include <string_view>

#include "base/text.h"
#include "codec/destination.h"
#include "codec/score_payload.h"
#include "codec/submit_pdu.h"
#include "entry/score_request.h"

namespace brindle {
namespace {

constexpr std::size_t kNumberCapacity = 320;

constexpr std::u16string_view kHandleTooShort =
    u"The handle has to be at least two characters long!";
constexpr std::u16string_view kOpening = u"Opening IR Port..\r\n";
constexpr std::u16string_view kOpenFailed = u"Unable to open IR port!";
constexpr std::u16string_view kInitializing = u"Initializing the phone..\r\n";
constexpr std::u16string_view kInitFailed =
    u"Unable to initialize the phone. Check that IR is enable on the phone!\r\n";
constexpr std::u16string_view kPreparing = u"Preparing the highscore SMS..\r\n";
constexpr std::u16string_view kPrepareFailed =
    u"Unable to prepare the SMS message! Your highscore was not sent!\r\n";
constexpr std::u16string_view kSending = u"Sending the highscore SMS..\r\n";
constexpr std::u16string_view kSendFailed =
    u"Unable to send the highscore SMS! Please, try again!\r\n";
constexpr std::u16string_view kSent = u"Your highscore has been sent successfully!";
constexpr std::u16string_view kSentCaption = u"Success!";

}  // namespace

void ScoreRequest::SendScore() {
  if (dialog == nullptr) {
    return;
  }
  TransferText(true);
  sendFailed = true;  // until the message is out
  if (FieldText(handle).size() < kMinHandleLength) {
    CopyText(kHandleTooShort, status);
    TransferText(false);
    return;
  }

  std::array<char, kNumberCapacity> number{};
  NarrowText(kDestinationNumber, std::span(number).first(kNumberCapacity - 1));

  std::array<char, kPayloadCapacity> payload{};
  // A number the payload cannot hold would be left out and the score sent without it.
  if (BuildScorePayload(gameId, score, FieldText(handle), payload) == 0) {
    CopyText(kPrepareFailed, status);
    TransferText(false);
    return;
  }

  const auto fail = [this](std::u16string_view text, bool replace) {
    if (replace) {
      CopyText(text, status);
    } else {
      AppendText(text, status);
    }
    TransferText(false);
    link.Close();
  };

  CopyText(kOpening, status);
  TransferText(false);
  if (!link.Open(portName, kPortBaudRate)) {
    fail(kOpenFailed, true);
    return;
  }

  AppendText(kInitializing, status);
  TransferText(false);
  if (link.InitPhone() == 0) {
    fail(kInitFailed, true);
    return;
  }

  AppendText(kPreparing, status);
  TransferText(false);
  std::array<char, kPduTextCapacity> pdu{};
  if (BuildSubmitPdu(pdu, TerminatedView(std::span<const char>(number)), payload) == 0) {
    fail(kPrepareFailed, false);
    return;
  }

  AppendText(kSending, status);
  TransferText(false);
  if (link.SendPdu(TerminatedView(std::span<const char>(pdu))) == 0) {
    fail(kSendFailed, true);
    return;
  }

  sent = true;
  sendFailed = false;
  dialog->ShowMessage(kSent, kSentCaption, kMbOk);
  dialog->End(0);
  TransferText(false);
  link.Close();
}

}  // namespace brindle
