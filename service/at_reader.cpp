#include "service/at_reader.h"

#include <algorithm>
#include <charconv>
#include <utility>

#include "codec/hex.h"
#include "codec/pdu.h"

namespace brindle::service {
namespace {

constexpr std::string_view kListingHeader = "+CMGL:";
constexpr std::string_view kReadingHeader = "+CMGR:";
constexpr std::string_view kNewMessage = "+CMTI:";
constexpr std::string_view kCmsError = "+CMS ERROR:";
constexpr std::string_view kCmeError = "+CME ERROR:";
constexpr std::string_view kStorageAnswer = "+CPMS:";

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

// Final result codes that refuse a command; some phones say COMMAND NOT SUPPORT or TOO MANY
// PARAMETERS where the standard has ERROR.
bool IsPlainRefusal(std::string_view line) {
  return line == "ERROR" || line == "COMMAND NOT SUPPORT" || line == "TOO MANY PARAMETERS";
}

bool IsFinal(std::string_view line) {
  return line == "OK" || IsPlainRefusal(line) || line.starts_with(kCmsError) ||
         line.starts_with(kCmeError);
}

bool IsEntryHeader(std::string_view line) {
  return line.starts_with(kListingHeader) || line.starts_with(kReadingHeader);
}

bool IsHexLine(std::string_view line) {
  return std::all_of(line.begin(), line.end(), [](char c) { return hex::DigitValue(c) >= 0; });
}

// Lines that answer a command other than the one `expect` names: what a late answer leaves.
bool IsForeign(std::string_view line, Expect expect) {
  switch (expect) {
    case Expect::kPlain:
      return IsEntryHeader(line);
    case Expect::kListing:
      return line.starts_with(kReadingHeader) || line.starts_with(kStorageAnswer);
    case Expect::kReading:
      return line.starts_with(kListingHeader) || line.starts_with(kStorageAnswer);
  }
  return false;
}

// The memory a +CMTI names: "ME" in +CMTI: "ME",3; empty when it names none.
std::string MemoryOf(std::string_view line) {
  const std::size_t open = line.find('"');
  const std::size_t close = open == std::string_view::npos ? open : line.find('"', open + 1);
  return close == std::string_view::npos ? std::string()
                                         : std::string(line.substr(open + 1, close - open - 1));
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
    // Some phones leave the status out: "+CMGR: ,,24".
    stat = -1;
    return Trim(fields.substr(0, first)).empty() || SmallNumber(fields.substr(0, first), stat);
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
  outOfStep_ = false;
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
    if ((pending_ && IsFinal(line)) || IsEntryHeader(line)) {
      Break(junk_,
            junk_.empty() ? "no PDU line after the header"
                          : "a line that is not hex where the PDU line belongs",
            events);
    } else if (damaged || IsHexLine(line)) {
      TakePdu(line, damaged, events);
      return;
    } else if (line != "RING" && !line.starts_with('+') && !line.starts_with('^')) {
      junk_ = line;  // status lines aside, kept in case no PDU line follows
    }
  }
  if (line.starts_with(kNewMessage)) {
    AtEvent event;
    event.kind = AtEventKind::kNewMessage;
    const std::size_t comma = line.rfind(',');
    if (comma == std::string_view::npos || !SmallNumber(line.substr(comma + 1), event.index)) {
      event.index = -1;
    }
    event.memory = MemoryOf(line);
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
    outOfStep_ = outOfStep_ || IsForeign(line, expect_);
  } else if (!pending_ && !damaged && (IsFinal(line) || IsEntryHeader(line))) {
    outOfStep_ = true;
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
  } else if (IsPlainRefusal(line)) {
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
    // Its PDU line still belongs to it: read that too, then call the whole entry broken. A
    // listing's index may still be read, so the entry can be read alone again.
    entry_.reason = "unreadable header";
    const std::string_view fields = line.substr(kListingHeader.size());
    if (!listing || !SmallNumber(fields.substr(0, fields.find(',')), entry_.index)) {
      entry_.index = -1;
    }
  }
  if (reading) {
    entry_.index = readIndex_;
  }
  entryOpen_ = true;
  junk_.clear();
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
  if (line.size() % 2 != 0) {
    Break(std::string(line), "odd number of hex digits", events);
    return;
  }
  const int octets = static_cast<int>(line.size() / 2);
  const int serviceCentre = hex::DigitValue(line[0]) * 16 + hex::DigitValue(line[1]);
  if (serviceCentre > static_cast<int>(kMaxServiceCentreOctets) || 1 + serviceCentre > octets) {
    Break(std::string(line), "service-centre field longer than the PDU", events);
    return;
  }
  const int tpdu = octets - 1 - serviceCentre;
  const auto whole = 2 * (std::size_t{1} + static_cast<std::size_t>(serviceCentre) +
                          static_cast<std::size_t>(entry_.length));
  const bool padded =
      tpdu > entry_.length && line.find_first_not_of("Ff", whole) == std::string_view::npos;
  if (tpdu != entry_.length && !padded) {
    Break(std::string(line),
          std::to_string(tpdu) + " octets after the service-centre field where the header says " +
              std::to_string(entry_.length),
          events);
    return;
  }
  entry_.kind = AtEventKind::kEntry;
  entry_.text = line.substr(0, whole);
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
