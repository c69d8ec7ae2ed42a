#include "codec/payload_decode.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "codec/score_payload.h"

namespace brindle {
namespace {

std::string Decode(const std::string& userData) {
  std::array<char, kDecodedPayloadCapacity> out{};
  EXPECT_EQ(DecodeScoreText(userData, out), 1);
  return out.data();
}

std::string Unpack(int count, const std::string& hex) {
  std::array<char, kMaxSeptets + 1> out{};
  UnpackSeptets(count, hex, out);
  return out.data();
}

TEST(ParseHexByte, LongestHexPrefixOfThePair) {
  struct Row {
    std::string pair;
    int value;
  };
  const Row rows[] = {
      {"00", 0x00}, {"6d", 0x6D}, {"6D", 0x6D}, {"fF", 0xFF},   {"9A", 0x9A},
      {"6Z", 6},    {"Z6", 0},    {"@@", 0},    {"", 0},        {"7", 7},
      {"g0", 0},    {"0g", 0},    {"A", 10},    {"1234", 0x12},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(ParseHexByte(row.pair), row.value) << '"' << row.pair << '"';
  }
}

TEST(UnpackSeptets, ReversesPacking) {
  struct Row {
    int count;
    std::string hex;
    std::string text;
  };
  const Row rows[] = {
      {4, "CD241104", "MID "},
      {8, "CD241104B3C56C", "MID 0616"},  // the seventh octet gives the eighth septet
      {0, "CD241104", ""},
      {-3, "CD241104", ""},
      {6, "CD241104", "MID @@"},  // missing octets read as zero
      {4, "CD241104F", "MID "},   // an odd last digit is ignored
  };
  for (const Row& row : rows) {
    EXPECT_EQ(Unpack(row.count, row.hex), row.text) << row.hex;
  }
}

TEST(UnpackSeptets, CutsToTheOutputCapacity) {
  std::array<char, 3> out{'x', 'x', 'x'};
  UnpackSeptets(4, "CD241104", out);
  EXPECT_EQ(std::string(out.data()), "MI");
}

TEST(DecodeScoreText, KnownUserData) {
  struct Row {
    std::string userData;
    std::string payload;
  };
  const Row rows[] = {
      {"2ACD241104B3C96C349BCC06B3C56C311BCC56B3C56C32DBCC46B3D56C30DBCC16C3D9883622",
       "0242011051234503Ann"},
      {"04CD241104", ""},
      {"", ""},
      {"02CD24", ""},             // shorter than the marker
      {"07CD241104B3C50C", "0"},  // "061": the odd last digit is ignored
      {"FF", ""},                 // count far beyond the data: '@' septets are not hex
  };
  for (const Row& row : rows) {
    EXPECT_EQ(Decode(row.userData), row.payload) << row.userData;
  }
}

TEST(DecodeScoreText, LongestCountStaysInItsBuffers) {
  const std::string userData = "FF" + std::string(std::size_t{448}, '6');
  std::array<char, kDecodedPayloadCapacity> out{};
  EXPECT_EQ(DecodeScoreText(userData, out), 1);
  EXPECT_LT(std::string(out.data()).size(), kDecodedPayloadCapacity);
}

}  // namespace
}  // namespace brindle
