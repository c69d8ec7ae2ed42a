#include "pty_link_fixture.h"

#include <unistd.h>

#include <array>
#include <fstream>

#include "codec/score_payload.h"
#include "codec/submit_pdu.h"

namespace brindle::ptytest {
namespace {

constexpr int kStartMs = 20000;

// The log writes each byte as the character of the same code; this takes them back.
std::string Latin1(const std::string& utf8) {
  std::string bytes;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    if (c >= 0xC0 && i + 1 < utf8.size()) {
      bytes.push_back(
          static_cast<char>(((c & 0x03U) << 6U) | (static_cast<unsigned char>(utf8[++i]) & 0x3FU)));
    } else {
      bytes.push_back(static_cast<char>(c));
    }
  }
  return bytes;
}

}  // namespace

std::string SampleMessage() {
  std::array<char, kPayloadCapacity> payload{};
  std::uint32_t position = 0;
  AppendNumberField(42, payload, position);
  AppendNumberField(1, payload, position);
  AppendNumberField(12345, payload, position);
  AppendTextField(u"Ann", payload, position);
  std::array<char, kPduTextCapacity> pdu{};
  if (BuildSubmitPdu(pdu, "+123456789012", payload) != 1) {
    return {};
  }
  return pdu.data();
}

std::u16string Widen(std::string_view text) { return {text.begin(), text.end()}; }

void PtyLinkTest::SetUp() {
  std::string pattern = std::filesystem::temp_directory_path() / "brindle-pty-XXXXXX";
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  directory_ = pattern;
}

void PtyLinkTest::TearDown() {
  link_.reset();
  phone_.Finish(0);
  std::error_code ignored;
  std::filesystem::remove_all(directory_, ignored);
}

void PtyLinkTest::Connect(const std::string& mode) {
  ASSERT_TRUE(phone_.Start(BRINDLE_EXECUTABLE, {"phone", "--mode", mode, "--timeout", "120",
                                                "--log", directory_ / "phone.jsonl"}));
  ASSERT_TRUE(phone_.ReadLine(terminal_, kStartMs));
  link_ = std::make_unique<PhoneLink>(LinkServices{&port_, &boxes_, &sleeper_, nullptr});
  ASSERT_TRUE(link_->Open(Widen(terminal_), kPortBaudRate));
}

int PtyLinkTest::StopPhone() {
  link_->Close();
  return phone_.Finish(0);
}

std::vector<nlohmann::json> PtyLinkTest::Log() const {
  std::vector<nlohmann::json> lines;
  std::ifstream file(directory_ / "phone.jsonl");
  for (std::string line; std::getline(file, line);) {
    lines.push_back(nlohmann::json::parse(line));
  }
  return lines;
}

std::string PtyLinkTest::Bytes(std::string_view direction) const {
  std::string bytes;
  for (const nlohmann::json& line : Log()) {
    if (line.value("dir", "") == direction) {
      bytes += Latin1(line.at("data").get<std::string>());
    }
  }
  return bytes;
}

std::vector<nlohmann::json> PtyLinkTest::Events(std::string_view name) const {
  std::vector<nlohmann::json> events;
  for (const nlohmann::json& line : Log()) {
    if (line.value("event", "") == name) {
      events.push_back(line);
    }
  }
  return events;
}

}  // namespace brindle::ptytest
