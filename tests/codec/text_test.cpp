#include "base/text.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace brindle {
namespace {

TEST(Narrowing, IsLatin1WithQuestionMarkBeyond) {
  struct Row {
    char16_t wide;
    char narrow;
  };
  const Row rows[] = {
      {u'A', 'A'},     {u'\0', '\0'},    {u'\x7F', '\x7F'}, {u'\xE9', '\xE9'}, {u'\xFF', '\xFF'},
      {u'\x100', '?'}, {u'\x20AC', '?'}, {u'\xD83D', '?'},  {u'\xFFFF', '?'},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(NarrowChar(row.wide), row.narrow) << static_cast<int>(row.wide);
  }
}

TEST(Narrowing, WideningGivesEveryByteBack) {
  for (int b = 0; b < 256; ++b) {
    const char c = static_cast<char>(b);
    EXPECT_EQ(static_cast<int>(WidenChar(c)), b);
    EXPECT_EQ(NarrowChar(WidenChar(c)), c);
  }
}

TEST(Narrowing, TextStopsAtTheOutputCapacity) {
  std::array<char, 4> out{'x', 'x', 'x', 'x'};
  EXPECT_EQ(NarrowText(u"abcdef", std::span<char>(out).first(3)), 3U);
  EXPECT_EQ(std::string(out.data(), 4), "abcx");
}

TEST(FixedBuffers, CopyAndAppendCutToFitAndTerminate) {
  std::array<char16_t, 6> buffer{};
  EXPECT_EQ(CopyText(u"abc", buffer), 3U);
  EXPECT_EQ(AppendText(u"defgh", buffer), 2U);
  EXPECT_EQ(TerminatedView(std::span<const char16_t>(buffer)), u"abcde");
  EXPECT_EQ(AppendText(u"z", buffer), 0U);
  EXPECT_EQ(CopyText(u"", buffer), 0U);
  EXPECT_EQ(TerminatedView(std::span<const char16_t>(buffer)), u"");
}

TEST(FixedBuffers, ViewOfAnUnterminatedBufferIsTheWholeBuffer) {
  const std::array<char, 3> full{'a', 'b', 'c'};
  EXPECT_EQ(TerminatedView(std::span<const char>(full)), "abc");
  EXPECT_EQ(TerminatedView(static_cast<const char16_t*>(nullptr)), u"");
}

}  // namespace
}  // namespace brindle
