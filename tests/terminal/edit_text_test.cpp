#include "dialog/terminal/edit_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace brindle::terminal {
namespace {

void Type(EditText& edit, std::u16string_view text) {
  for (const char16_t c : text) {
    edit.Insert(c);
  }
}

TEST(EditText, TypingStopsAtTheLimit) {
  EditText edit;
  edit.SetLimit(16);
  Type(edit, u"ABCDEFGHIJKLMNOPQRST");
  EXPECT_EQ(edit.Text(), u"ABCDEFGHIJKLMNOP");
  EXPECT_FALSE(edit.Insert(u'Z'));
}

TEST(EditText, TextSetByTheProgramIgnoresTheLimitButNotTheCapacity) {
  EditText edit;
  edit.SetLimit(4);
  edit.Set(u"longer than four");
  EXPECT_EQ(edit.Text(), u"longer than four");
  const std::u16string huge(2 * kItemTextCapacity, u'x');
  edit.Set(huge);
  EXPECT_EQ(edit.Text().size(), kItemTextCapacity - 1);
  EXPECT_EQ(edit.Caret(), 0U);
}

TEST(EditText, FocusSelectionIsReplacedByTypingAndErasedByBackspace) {
  EditText edit;
  edit.Set(u"Bob");
  edit.SelectAll();
  Type(edit, u"Ace");
  EXPECT_EQ(edit.Text(), u"Ace");
  edit.SelectAll();
  edit.Backspace();
  EXPECT_EQ(edit.Text(), u"");
}

TEST(EditText, ArrowsEndTheSelectionWithoutErasing) {
  EditText edit;
  edit.Set(u"Bob");
  edit.SelectAll();
  edit.Right();
  Type(edit, u"by");
  EXPECT_EQ(edit.Text(), u"Bobby");
  edit.SelectAll();
  edit.Left();
  Type(edit, u">");
  EXPECT_EQ(edit.Text(), u">Bobby");
}

TEST(EditText, CaretEditsInTheMiddleAndStepsOverLineBreaksWhole) {
  EditText edit;
  edit.Set(u"ab\r\ncd");
  edit.End();
  edit.Left();
  edit.Left();  // behind "\r\n"
  EXPECT_EQ(edit.Caret(), 4U);
  edit.Backspace();  // removes the pair
  EXPECT_EQ(edit.Text(), u"abcd");
  edit.Home();
  edit.Delete();
  Type(edit, u"X");
  EXPECT_EQ(edit.Text(), u"Xbcd");
}

struct WrapCase {
  std::u16string text;
  std::size_t width;
  std::vector<std::u16string> lines;
};

class WrapTest : public ::testing::TestWithParam<WrapCase> {};

TEST_P(WrapTest, SplitsAtLineBreaksAndWrapsAtSpaces) {
  const WrapCase& c = GetParam();
  std::array<LineSpan, 16> spans{};
  const std::size_t count = WrapLines(c.text, c.width, spans);
  std::vector<std::u16string> lines;
  for (std::size_t i = 0; i < count; ++i) {
    lines.emplace_back(std::u16string_view(c.text).substr(spans.at(i).start, spans.at(i).length));
  }
  EXPECT_EQ(lines, c.lines);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, WrapTest,
    ::testing::Values(WrapCase{u"", 10, {u""}},
                      WrapCase{u"Opening IR Port..\r\n", 30, {u"Opening IR Port..", u""}},
                      WrapCase{u"a\r\nb\nc\rd", 10, {u"a", u"b", u"c", u"d"}},
                      WrapCase{u"The handle has to be", 10, {u"The handle", u"has to be"}},
                      WrapCase{u"ab cd efgh", 6, {u"ab cd ", u"efgh"}},
                      WrapCase{u"abcdefghijkl", 5, {u"abcde", u"fghij", u"kl"}}));

TEST(Wrap, StopsAtTheRoomGiven) {
  std::array<LineSpan, 2> spans{};
  EXPECT_EQ(WrapLines(u"1\r\n2\r\n3\r\n4", 10, spans), 2U);
}

TEST(Wrap, FindsTheCaretsLine) {
  const std::u16string text = u"ab\r\ncd\r\n";
  std::array<LineSpan, 8> spans{};
  const std::size_t count = WrapLines(text, 10, spans);
  const std::span<const LineSpan> lines(spans.data(), count);
  EXPECT_EQ(LineOfCaret(lines, 0), 0U);
  EXPECT_EQ(LineOfCaret(lines, 2), 0U);
  EXPECT_EQ(LineOfCaret(lines, 4), 1U);
  EXPECT_EQ(LineOfCaret(lines, 8), 2U);
}

}  // namespace
}  // namespace brindle::terminal
