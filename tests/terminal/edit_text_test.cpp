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
  EXPECT_FALSE(edit.Insert(u'Z'));
  edit.Set(u"longer than four");
  EXPECT_EQ(edit.Text(), u"longer than four");
  edit.Set(std::u16string(2 * kItemTextCapacity, u'x'));
  EXPECT_EQ(edit.Text().size(), kItemTextCapacity - 1);
  EXPECT_EQ(edit.Caret(), 0U);
}

TEST(EditText, SelectionIsReplacedByTypingErasedByBackspaceAndEndedByArrows) {
  EditText edit;
  edit.Set(u"Bob");
  edit.SelectAll();
  Type(edit, u"Ann");
  EXPECT_EQ(edit.Text(), u"Ann");
  edit.SelectAll();
  edit.Backspace();
  EXPECT_EQ(edit.Text(), u"");
  edit.Set(u"Bob");
  edit.SelectAll();
  edit.Right();
  Type(edit, u"by");
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

TEST(Wrap, SplitsAtLineBreaksWrapsAtSpacesAndStopsAtTheRoomGiven) {
  struct Row {
    std::u16string text;
    std::size_t width;
    std::vector<std::u16string> lines;
  };
  const Row rows[] = {
      {u"Opening IR Port..\r\n", 30, {u"Opening IR Port..", u""}},
      {u"a\r\nb\nc\rd", 10, {u"a", u"b", u"c", u"d"}},
      {u"ab cd efgh", 6, {u"ab cd ", u"efgh"}},
      {u"abcdefghijkl", 5, {u"abcde", u"fghij", u"kl"}},
  };
  for (const Row& row : rows) {
    std::array<LineSpan, 16> spans{};
    const std::size_t count = WrapLines(row.text, row.width, spans);
    std::vector<std::u16string> lines;
    for (std::size_t i = 0; i < count; ++i) {
      lines.emplace_back(
          std::u16string_view(row.text).substr(spans.at(i).start, spans.at(i).length));
    }
    EXPECT_EQ(lines, row.lines);
  }
  std::array<LineSpan, 2> two{};
  EXPECT_EQ(WrapLines(u"1\r\n2\r\n3\r\n4", 10, two), 2U);
}

TEST(Wrap, FindsTheCaretsLine) {
  const std::u16string text = u"ab\r\ncd\r\n";
  std::array<LineSpan, 8> spans{};
  const std::span<const LineSpan> lines(spans.data(), WrapLines(text, 10, spans));
  EXPECT_EQ(LineOfCaret(lines, 2), 0U);
  EXPECT_EQ(LineOfCaret(lines, 4), 1U);
  EXPECT_EQ(LineOfCaret(lines, 8), 2U);
}

}  // namespace
}  // namespace brindle::terminal
