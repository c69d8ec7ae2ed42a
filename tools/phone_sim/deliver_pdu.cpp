#include "tools/phone_sim/deliver_pdu.h"

#include <algorithm>

#include "tools/phone_sim/at_text.h"

namespace brindle::sim {
namespace {

// The empty service-centre field an --inbox line may start with: the phone's own centre.
constexpr std::string_view kEmptyCentreField = "00";

std::string CentreField(std::string_view number) {
  Pdu pdu;
  SetAddress(number, pdu.serviceCentre);
  return PduText(pdu).substr(0, ServiceCentreTextLength(pdu));
}

// The digits of `text` from `at` as a number.
int Number(std::string_view text, std::size_t at, std::size_t digits) {
  int value = 0;
  for (const char c : text.substr(at, digits)) {
    value = 10 * value + (c - '0');
  }
  return value;
}

}  // namespace

std::optional<Pdu> DeliverOfSubmit(std::string_view submitPdu, std::string_view originator,
                                   const TimeStamp& sent) {
  Pdu submit;
  std::size_t errorOffset = 0;
  if (ReadPdu(submitPdu, submit, errorOffset) != PduError::kNone ||
      submit.messageType != MessageType::kSubmit || !IsPhoneNumber(originator)) {
    return std::nullopt;
  }
  Pdu deliver;
  SetAddress(kServiceCentre, deliver.serviceCentre);
  deliver.messageType = MessageType::kDeliver;
  deliver.noMoreMessages = true;
  deliver.userDataHeaderIndicator = submit.userDataHeaderIndicator;
  SetAddress(originator, deliver.address);
  deliver.protocolIdentifier = submit.protocolIdentifier;
  deliver.dataCodingScheme = submit.dataCodingScheme;
  deliver.serviceCentreTimeStamp = sent;
  deliver.userDataLength = submit.userDataLength;
  deliver.userDataOctets = submit.userDataOctets;
  deliver.userData = submit.userData;
  return deliver;
}

std::string PduText(const Pdu& pdu) {
  std::string text(PduTextLength(pdu) + 1, '\0');
  text.resize(WritePdu(pdu, text));
  return text;
}

TimeStamp LocalTimeStamp(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  TimeStamp stamp;
  stamp.present = true;
  stamp.year = 1900 + local.tm_year;
  stamp.month = local.tm_mon + 1;
  stamp.day = local.tm_mday;
  stamp.hour = local.tm_hour;
  stamp.minute = local.tm_min;
  stamp.second = std::min(local.tm_sec, 59);  // a leap second has no digits of its own
  constexpr long kSecondsPerQuarter = 15L * 60;
  stamp.offsetQuarters = static_cast<int>(local.tm_gmtoff / kSecondsPerQuarter);
  return stamp;
}

std::optional<TimeStamp> ParseTimeStamp(std::string_view text) {
  constexpr std::string_view kShape = "dddd-dd-ddTdd:dd:dd+dd:dd";  // d: a digit; +: the sign
  if (text.size() != kShape.size()) {
    return std::nullopt;
  }
  for (std::size_t i = 0; i < kShape.size(); ++i) {
    const char c = text[i];
    const bool fits = kShape[i] == 'd'   ? IsDigit(c)
                      : kShape[i] == '+' ? c == '+' || c == '-'
                                         : c == kShape[i];
    if (!fits) {
      return std::nullopt;
    }
  }
  TimeStamp stamp;
  stamp.present = true;
  stamp.year = Number(text, 0, 4);
  stamp.month = Number(text, 5, 2);
  stamp.day = Number(text, 8, 2);
  stamp.hour = Number(text, 11, 2);
  stamp.minute = Number(text, 14, 2);
  stamp.second = Number(text, 17, 2);
  const int offsetMinutes = 60 * Number(text, 20, 2) + Number(text, 23, 2);
  stamp.offsetQuarters = (text[19] == '-' ? -1 : 1) * offsetMinutes / 15;
  constexpr int kMaxQuarters = 79;  // two digits, the first of three bits
  const bool inRange = stamp.year >= 2000 && stamp.year <= 2099 && stamp.month >= 1 &&
                       stamp.month <= 12 && stamp.day >= 1 && stamp.day <= 31 && stamp.hour <= 23 &&
                       stamp.minute <= 59 && stamp.second <= 59 && offsetMinutes % 15 == 0 &&
                       offsetMinutes / 15 <= kMaxQuarters;
  return inRange ? std::optional(stamp) : std::nullopt;
}

bool IsPhoneNumber(std::string_view number) {
  if (number.starts_with('+')) {
    number.remove_prefix(1);
  }
  return !number.empty() && number.size() <= kMaxAddressDigits &&
         std::all_of(number.begin(), number.end(), IsDigit);
}

std::string WithPhoneCentre(std::string_view text) {
  if (!text.starts_with(kEmptyCentreField)) {
    return std::string(text);
  }
  return CentreField(kServiceCentre) + std::string(text.substr(kEmptyCentreField.size()));
}

std::size_t TpduOctets(std::string_view text) {
  Pdu read;
  std::size_t errorOffset = 0;
  ReadPdu(text, read, errorOffset);  // what follows the centre's field may be faulty
  return (text.size() - std::min(text.size(), ServiceCentreTextLength(read))) / 2;
}

}  // namespace brindle::sim
