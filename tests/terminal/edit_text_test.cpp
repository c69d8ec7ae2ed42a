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

TEST(EditText, TypingStopsAtTheLimitTextSetByTheProgramOnlyAtTheCapacity) {
  EditText edit;
  edit.SetLimit(4);
  Type(edit, u"ABCDE");
  EXPECT_EQ(edit.Text(), u"ABCD");
  edit.Set(u"longer than four");
  EXPECT_EQ(edit.Text(), u"longer than four");
  edit.Set(std::u16string(2 * kItemTextCapacity, u'x'));
  EXPECT_EQ(edit.Text().size(), kItemTextCapacity - 1);
}

TEST(EditText, SelectionIsReplacedByTypingErasedByBackspaceAndEndedByArrows) {
  EditText edit;
  edit.Set(u"Bob");
  edit.SelectAll();
  edit.Backspace();
  EXPECT_EQ(edit.Text(), u"");
  edit.Set(u"Bob");
  edit.SelectAll();
  Type(edit, u"An");
  edit.SelectAll();
  edit.Right();
  Type(edit, u"n");
  edit.SelectAll();
  edit.Left();
  Type(edit, u">");
  EXPECT_EQ(edit.Text(), u">Ann");
}

TEST(EditText, CaretEditsInTheMiddleAndStepsOverLineBreaksWhole) {
  EditText edit;
  edit.Set(u"ab\r\ncd");
  edit.End();
  edit.Left();
  edit.Left();
  edit.Left();
  EXPECT_EQ(edit.Caret(), 2U) << "one step over the line break";
  edit.Right();
  edit.Backspace();
  EXPECT_EQ(edit.Text(), u"abcd");
  edit.Home();
  edit.Delete();
  Type(edit, u"X");
  EXPECT_EQ(edit.Text(), u"Xbcd");
}

TEST(Wrap, SplitsAtLineBreaksWrapsAtSpacesAndFindsTheCaret) {
  const std::tuple<std::u16string_view, std::size_t, std::vector<std::u16string_view>> rows[] = {
      {u"Opening IR Port..\r\n", 30, {u"Opening IR Port..", u""}},
      {u"a\r\nb\nc\rd", 10, {u"a", u"b", u"c", u"d"}},
      {u"ab cd efgh", 6, {u"ab cd ", u"efgh"}},
      {u"abcdefghijkl", 5, {u"abcde", u"fghij", u"kl"}}};
  for (const auto& [text, width, expected] : rows) {
    std::array<LineSpan, 8> spans{};
    std::vector<std::u16string_view> lines;
    for (std::size_t i = 0; i < WrapLines(text, width, spans); ++i) {
      lines.push_back(text.substr(spans.at(i).start, spans.at(i).length));
    }
    EXPECT_EQ(lines, expected);
  }
  std::array<LineSpan, 2> two{};
  EXPECT_EQ(WrapLines(u"1\r\n2\r\n3\r\n4", 10, two), 2U) << "no more lines than room";
  std::array<LineSpan, 8> spans{};
  const std::span<const LineSpan> lines(spans.data(), WrapLines(u"ab\r\ncd\r\n", 10, spans));
  EXPECT_EQ(LineOfCaret(lines, 2), 0U);
  EXPECT_EQ(LineOfCaret(lines, 4), 1U);
  EXPECT_EQ(LineOfCaret(lines, 8), 2U);
}

}  // namespace
}  // namespace brindle::terminal
