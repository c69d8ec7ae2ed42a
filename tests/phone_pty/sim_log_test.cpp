// The log's JSON: bytes written as characters of the same code come back as the same bytes.
#include "tools/phone_sim/sim_log.h"

#include <gtest/gtest.h>

#include <string>

#include "sim_log_reader.h"
#include "tools/json_writer.h"

namespace brindle::sim {
namespace {

struct EscapeCase {
  std::string bytes;
  std::string json;
};

TEST(SimLogJson, EscapesControlsQuotesAndHighBytes) {
  const EscapeCase cases[] = {
      {"ATZ\r", R"("ATZ\r")"},
      {"\r\nOK\r\n", R"("\r\nOK\r\n")"},
      {"0011\x1a", R"("0011\u001a")"},
      {std::string(1, '\0'), R"("\u0000")"},
      {"\x1b\x7f", R"("\u001b\u007f")"},
      {R"(say "hi" \ ok)", R"("say \"hi\" \\ ok")"},
      {"\xe9\xff\x80", "\"\xc3\xa9\xc3\xbf\xc2\x80\""},
  };
  for (const auto& c : cases) {
    std::string json;
    tools::AppendJsonString(json, c.bytes);
    EXPECT_EQ(json, c.json);
  }
}

TEST(SimLogJson, EveryByteRoundTrips) {
  std::string all;
  for (int code = 0; code < 256; ++code) {
    all.push_back(static_cast<char>(code));
  }
  std::string line = R"({"t": 5, "dir": "out", "data": )";
  tools::AppendJsonString(line, all);
  line += "}";
  const auto entry = ptytest::ParseLogLine(line);
  ASSERT_TRUE(entry.has_value());
  EXPECT_EQ(entry->t(), 5U);
  EXPECT_TRUE(entry->IsBytes("out"));
  EXPECT_EQ(entry->Text("data"), all);
}

TEST(SimLogJson, MessageEventCarriesItsFields) {
  DialogueEvent sms;
  sms.kind = EventKind::kMessage;
  sms.pdu = "0011";
  sms.cmgsLength = 51;
  sms.octets = 52;
  sms.reference = 3;
  sms.number = "+123456789012";
  sms.payload = std::string("02420110\xe9", 9);
  sms.scoreFields = true;
  sms.gameId = 42;
  sms.fixed = 1;
  sms.score = 12345;
  sms.handle = "\xe9t\xe9";
  const auto entry = ptytest::ParseLogLine(EventJson(77, sms));
  ASSERT_TRUE(entry.has_value());
  EXPECT_EQ(entry->t(), 77U);
  EXPECT_TRUE(entry->IsEvent("sms"));
  EXPECT_EQ(entry->Text("number"), "+123456789012");
  EXPECT_EQ(entry->Text("payload"), sms.payload);
  EXPECT_EQ(entry->Text("payloadHex"), "3032343230313130E9");
  EXPECT_EQ(entry->Number("cmgsLength"), 51);
  EXPECT_EQ(entry->Number("octets"), 52);
  EXPECT_EQ(entry->Number("reference"), 3);
  EXPECT_EQ(entry->Number("gameId"), 42);
  EXPECT_EQ(entry->Number("fixed"), 1);
  EXPECT_EQ(entry->Number("score"), 12345);
  EXPECT_EQ(entry->Text("handle"), sms.handle);
  EXPECT_EQ(entry->Text("pdu"), "0011");
}

TEST(SimLogJson, ReaderRefusesWhatIsNotAFlatObject) {
  for (const char* line : {"", "{", R"({"t": })", R"({"t": 1,})", "[1]", R"({"a": "\u0100"})",
                           R"({"a": "unterminated})", R"({"t": 1} x)"}) {
    EXPECT_FALSE(ptytest::ParseLogLine(line).has_value()) << line;
  }
}

}  // namespace
}  // namespace brindle::sim
