#include "codec/submit_pdu.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "base/text.h"
#include "codec/gsm_alphabet.h"
#include "codec/score_payload.h"

namespace brindle {
namespace {

std::string Pack(const std::string& text) {
  std::array<char, kUserDataHexCapacity> out{};
  PackSeptets(text, out);
  return out.data();
}

std::string Address(const std::string& number) {
  std::array<char, kAddressFieldCapacity> out{};
  EncodeAddressField(number, out);
  return out.data();
}

TEST(GsmAlphabet, SeptetsOfCharacters) {
  struct Row {
    char c;
    int septet;
  };
  const Row rows[] = {
      {'@', 0x00},    {'\xA3', 0x01}, {'$', 0x02}, {'\n', 0x0A},   {'\r', 0x0D},
      {'_', 0x11},    {' ', 0x20},    {'A', 0x41}, {'z', 0x7A},    {'\xE0', 0x7F},
      {'\xA1', 0x40}, {'\xBF', 0x60}, {'[', 0x20}, {'\\', 0x20},   {'^', 0x20},
      {'`', 0x20},    {'{', 0x20},    {'~', 0x20}, {'\x01', 0x20}, {'\xA4', 0x20},
      {'\xA7', 0x20},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(SeptetOf(row.c), row.septet) << static_cast<int>(static_cast<unsigned char>(row.c));
  }
}

TEST(GsmAlphabet, FourteenAtSignsAndEveryOtherEntryMapsBack) {
  int atSigns = 0;
  for (int v = 0; v < kSeptetCount; ++v) {
    const char c = CharOfSeptet(static_cast<std::uint8_t>(v));
    if (c == '@') {
      ++atSigns;
    } else {
      EXPECT_EQ(SeptetOf(c), v);
    }
  }
  EXPECT_EQ(atSigns, 14);
  EXPECT_EQ(GsmAlphabet[kSeptetCount], '\0');
}

TEST(PackSeptets, OctetsOfKnownTexts) {
  struct Row {
    std::string text;
    std::string hex;
  };
  const Row rows[] = {
      {"", ""},
      {"MID ", "CD241104"},
      {"MID 0616", "CD241104B3C56C"},  // eight septets, seven octets, no eighth
      {"@", "00"},
      {"[", "20"},
      {"hellohello", "E8329BFD4697D9EC37"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(Pack(row.text), row.hex) << row.text;
  }
}

TEST(PackSeptets, RefusesAnOutputTooSmall) {
  std::array<char, 8> out{'x'};
  EXPECT_EQ(PackSeptets("MID ", out), 0);  // needs 9
  EXPECT_EQ(out[0], '\0');
  std::array<char, 9> exact{};
  EXPECT_EQ(PackSeptets("MID ", exact), 1);
  EXPECT_STREQ(exact.data(), "CD241104");
}

TEST(EncodeAddressField, SwappedDigitPairs) {
  struct Row {
    std::string number;
    std::string field;
  };
  const Row rows[] = {
      {"+123456789012", "0C91214365870921"},
      {"+12345678901", "0B912143658709F1"},
      {"7654321", "0781674523F1"},
      {"", "0081"},
      {"+", "0091"},
      {"+12345678901234567890", "149121436587092143658709"},
      {"12*#", "048121#*"},  // copied as they stand
  };
  for (const Row& row : rows) {
    EXPECT_EQ(Address(row.number), row.field) << row.number;
  }
}

struct Built {
  int result;
  std::string pdu;
  std::string payloadAfter;
};

Built Build(const std::string& number, const std::string& payloadText,
            std::size_t pduSize = kPduTextCapacity) {
  std::array<char, kPayloadCapacity> payload{};
  CopyText(payloadText, payload);
  std::array<char, kPduTextCapacity> pdu{};
  const int result = BuildSubmitPdu(std::span<char>(pdu).first(pduSize), number, payload);
  return {result, pdu.data(), std::string(TerminatedView(std::span<const char>(payload)))};
}

TEST(BuildSubmitPdu, KnownMessages) {
  const Built ann = Build("+123456789012", "0242011051234503Ann");
  EXPECT_EQ(ann.result, 1);
  EXPECT_EQ(ann.pdu,
            "0011000C912143658709210000AA2ACD241104B3C96C349BCC06B3C56C311BCC56B3C56C32DBCC46B3D5"
            "6C30DBCC16C3D9883622");
  EXPECT_EQ(ann.pdu.size(), SubmitPduLength("+123456789012", 19));

  const Built bob = Build("+123456789012", "024201104500003Bob");
  EXPECT_EQ(bob.result, 1);
  EXPECT_EQ(bob.pdu.substr(28, 2), "28");
  EXPECT_EQ(bob.pdu.size(), 30U + 70U);
  EXPECT_EQ(bob.pdu.substr(bob.pdu.size() - 8), "7723CA86");

  const Built empty = Build("+123456789012", "");
  EXPECT_EQ(empty.pdu, "0011000C912143658709210000AA04CD241104");
}

TEST(BuildSubmitPdu, LengthsAcrossTheSendSequenceRange) {
  EXPECT_EQ(Build("+123456789012", "01001101002ab").pdu.size(), 84U);
  EXPECT_EQ(Build("+123456789012", std::string(42, '7')).pdu.size(), 184U);
  EXPECT_EQ(Build("+123456789012", std::string(80, '7')).pdu.size(), 318U);
}

TEST(BuildSubmitPdu, RefusesWithoutTouchingEitherBuffer) {
  const Built tooLong = Build("+123456789012", std::string(81, '7'));
  EXPECT_EQ(tooLong.result, 0);
  EXPECT_EQ(tooLong.pdu, "");
  EXPECT_EQ(tooLong.payloadAfter, std::string(81, '7'));

  const Built cramped = Build("+123456789012", "0242011051234503Ann", 104);  // no room for NUL
  EXPECT_EQ(cramped.result, 0);
  EXPECT_EQ(cramped.pdu, "");
  EXPECT_EQ(cramped.payloadAfter, "0242011051234503Ann");

  EXPECT_EQ(Build("+123456789012", "0242011051234503Ann", 105).result, 1);
  EXPECT_EQ(Build(std::string(300, '1'), "ab").result, 0);  // no length octet holds it
}

}  // namespace
}  // namespace brindle
