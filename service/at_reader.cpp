#include "service/at_reader.h"

#include <algorithm>
#include <charconv>
#include <utility>

#include "codec/hex.h"

namespace brindle::service {
namespace {

constexpr std::string_view kListingHeader = "+CMGL:";
constexpr std::string_view kReadingHeader = "+CMGR:";
constexpr std::string_view kNewMessage = "+CMTI:";
constexpr std::string_view kCmsError = "+CMS ERROR:";
constexpr std::string_view kCmeError = "+CME ERROR:";
// The service-centre field is its length octet and at most 11 more.
constexpr int kMaxServiceCentreOctets = 11;

std::string_view Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && blank(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) {
    return false;
  }
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    const auto lower = [](char c) {
      return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    };
    if (lower(text[i]) != lower(prefix[i])) {
      return false;
    }
  }
  return true;
}

// A whole non-negative decimal number of at most six digits, blanks around allowed.
bool SmallNumber(std::string_view text, int& value) {
  text = Trim(text);
  if (text.empty() || text.size() > 6) {
    return false;
  }
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc{} && end == text.data() + text.size() && value >= 0;
}

bool IsFinal(std::string_view line) {
  return line == "OK" || line == "ERROR" || line.starts_with(kCmsError) ||
         line.starts_with(kCmeError);
}

// Lines a phone sends of its own accord: RING and the "+NAME: ..." result codes.
bool LooksUnsolicited(std::string_view line) {
  return line == "RING" || (line.starts_with('+') && line.find(':') != std::string_view::npos);
}

}  // namespace

bool ParseEntryHeader(std::string_view fields, bool withIndex, int& index, int& stat, int& length) {
  // The optional alpha field may hold commas of its own, so the numbers are taken from both
  // ends: index and stat first, length last.
  const std::size_t first = fields.find(',');
  const std::size_t last = fields.rfind(',');
  if (first == std::string_view::npos || !SmallNumber(fields.substr(last + 1), length)) {
    return false;
  }
  index = -1;
  if (!withIndex) {
    return SmallNumber(fields.substr(0, first), stat);
  }
  const std::size_t second = fields.find(',', first + 1);
  return second != std::string_view::npos && second <= last &&
         SmallNumber(fields.substr(0, first), index) &&
         SmallNumber(fields.substr(first + 1, second - first - 1), stat);
}

void AtReader::Begin(Expect expect, int index) {
  expect_ = expect;
  readIndex_ = index;
  pending_ = true;
  entryOpen_ = false;
}

void AtReader::Feed(std::string_view bytes, std::vector<AtEvent>& events) {
  for (const char byte : bytes) {
    if (byte == '\r' || byte == '\n') {
      if (!line_.empty() || lineDamaged_) {
        Line(line_, lineDamaged_, events);
      }
      line_.clear();
      lineDamaged_ = false;
    } else if (line_.size() < kMaxLineBytes) {
      line_.push_back(byte);
    } else {
      lineDamaged_ = true;
    }
  }
}

void AtReader::Abort(std::vector<AtEvent>& events) {
  if (entryOpen_) {
    Break(line_,
          line_.empty() ? "the answer ended before the PDU line" : "the PDU line was cut off",
          events);
  }
  line_.clear();
  lineDamaged_ = false;
  pending_ = false;
}

void AtReader::Line(std::string_view raw, bool damaged, std::vector<AtEvent>& events) {
  const std::string_view line = Trim(raw);
  if (line.empty() && !damaged) {
    return;
  }
  if (entryOpen_) {
    if ((pending_ && IsFinal(line)) || line.starts_with(kListingHeader) ||
        line.starts_with(kReadingHeader)) {
      Break({}, "no PDU line after the header", events);
    } else if (!LooksUnsolicited(line)) {
      TakePdu(line, damaged, events);
      return;
    }
  }
  if (line.starts_with(kNewMessage)) {
    AtEvent event;
    event.kind = AtEventKind::kNewMessage;
    const std::size_t comma = line.rfind(',');
    if (comma == std::string_view::npos || !SmallNumber(line.substr(comma + 1), event.index)) {
      event.index = -1;
    }
    event.text = line;
    events.push_back(std::move(event));
    return;
  }
  if (pending_ && !damaged) {
    if (StartsWithNoCase(line, "AT")) {
      return;  // the phone echoes the command
    }
    if (TakeFinal(line, events) || TakeHeader(line, events)) {
      return;
    }
  }
  AtEvent event;
  event.kind = pending_ && expect_ == Expect::kPlain && !damaged && line != "RING"
                   ? AtEventKind::kInformation
                   : AtEventKind::kUnsolicited;
  event.text = line;
  events.push_back(std::move(event));
}

bool AtReader::TakeFinal(std::string_view line, std::vector<AtEvent>& events) {
  if (!IsFinal(line)) {
    return false;
  }
  AtEvent event;
  event.kind = AtEventKind::kFinal;
  event.text = line;
  if (line == "OK") {
    event.final = FinalCode::kOk;
  } else if (line == "ERROR") {
    event.final = FinalCode::kError;
  } else {
    const bool cms = line.starts_with(kCmsError);
    event.final = cms ? FinalCode::kCmsError : FinalCode::kCmeError;
    if (!SmallNumber(line.substr(kCmsError.size()), event.code)) {
      event.code = -1;  // a phone in verbose mode gives text
    }
  }
  pending_ = false;
  events.push_back(std::move(event));
  return true;
}

bool AtReader::TakeHeader(std::string_view line, std::vector<AtEvent>& events) {
  const bool listing = expect_ == Expect::kListing && line.starts_with(kListingHeader);
  const bool reading = expect_ == Expect::kReading && line.starts_with(kReadingHeader);
  if (!listing && !reading) {
    return false;
  }
  entry_ = AtEvent{};
  entry_.header = line;
  if (!ParseEntryHeader(line.substr(kListingHeader.size()), listing, entry_.index, entry_.stat,
                        entry_.length)) {
    // Its PDU line still belongs to it: read that too, then call the whole entry broken.
    entry_.reason = "unreadable header";
    entry_.index = -1;
  }
  if (reading) {
    entry_.index = readIndex_;
  }
  entryOpen_ = true;
  static_cast<void>(events);
  return true;
}

void AtReader::TakePdu(std::string_view line, bool damaged, std::vector<AtEvent>& events) {
  if (damaged) {
    Break(std::string(line), "PDU line longer than the reader's buffer", events);
    return;
  }
  if (!entry_.reason.empty()) {
    Break(std::string(line), entry_.reason, events);
    return;
  }
  const auto* const notHex =
      std::find_if(line.begin(), line.end(), [](char c) { return hex::DigitValue(c) < 0; });
  if (notHex != line.end()) {
    Break(std::string(line), "not a hex digit at offset " + std::to_string(notHex - line.begin()),
          events);
    return;
  }
  if (line.size() % 2 != 0) {
    Break(std::string(line), "odd number of hex digits", events);
    return;
  }
  const int octets = static_cast<int>(line.size() / 2);
  const int serviceCentre = hex::DigitValue(line[0]) * 16 + hex::DigitValue(line[1]);
  if (serviceCentre > kMaxServiceCentreOctets || 1 + serviceCentre > octets) {
    Break(std::string(line), "service-centre field longer than the PDU", events);
    return;
  }
  const int tpdu = octets - 1 - serviceCentre;
  if (tpdu != entry_.length) {
    Break(std::string(line),
          std::to_string(tpdu) + " octets after the service-centre field where the header says " +
              std::to_string(entry_.length),
          events);
    return;
  }
  entry_.kind = AtEventKind::kEntry;
  entry_.text = line;
  entryOpen_ = false;
  events.push_back(std::move(entry_));
  entry_ = AtEvent{};
}

void AtReader::Break(std::string text, std::string reason, std::vector<AtEvent>& events) {
  entry_.kind = AtEventKind::kBrokenEntry;
  entry_.text = std::move(text);
  entry_.reason = std::move(reason);
  entryOpen_ = false;
  events.push_back(std::move(entry_));
  entry_ = AtEvent{};
}

}  // namespace brindle::service
