// The request record: construction and moving text between the record and the boxes.
#include <gtest/gtest.h>

#include <string>

#include "tests/entry/entry_fixture.h"

namespace brindle {
namespace {

class ScoreRequestTest : public ::testing::Test {
 protected:
  RecordingSerialPort port;
  RecordingSleeper sleeper;
  ScriptedDialogHost boxes;
  LinkServices services{&port, &boxes, &sleeper};
  FakeDialogWindow window;
};

TEST_F(ScoreRequestTest, StartsEmptyWithTheCallersValues) {
  ScoreRequest request(u"Quarry", 7, -5, services);
  EXPECT_EQ(request.gameId, 7);
  EXPECT_EQ(request.score, -5);
  EXPECT_EQ(FieldText(request.gameName), u"Quarry");
  EXPECT_EQ(FieldText(request.handle), u"");
  EXPECT_EQ(FieldText(request.status), u"");
  EXPECT_EQ(request.dialog, nullptr);
  EXPECT_EQ(request.link.opened, 0);
  EXPECT_EQ(request.link.portHandle, kInvalidPortHandle);
}

TEST_F(ScoreRequestTest, LongGameNameIsCutToFortySevenCharacters) {
  const std::u16string name(60, u'x');
  ScoreRequest request(name.c_str(), 1, 1, services);
  EXPECT_EQ(FieldText(request.gameName), std::u16string(47, u'x'));
  EXPECT_EQ(request.gameName[47], u'\0');
}

TEST_F(ScoreRequestTest, WithoutADialogNothingMovesEitherWay) {
  ScoreRequest request(u"Quarry", 1, 1, services);
  CopyText(u"ACE", request.handle);
  CopyText(u"line", request.status);
  request.TransferText(true);
  request.TransferText(false);
  EXPECT_EQ(FieldText(request.handle), u"ACE");
  EXPECT_EQ(FieldText(request.status), u"line");
  EXPECT_TRUE(boxes.log.events.empty());
}

TEST_F(ScoreRequestTest, WritingShowsHandleStatusAndScoreThenRepaints) {
  ScoreRequest request(u"Quarry", 1, INT32_MIN, services);
  request.dialog = &window;
  CopyText(u"ACE", request.handle);
  CopyText(u"Opening IR Port..\r\n", request.status);
  request.TransferText(false);

  EXPECT_EQ(window.Text(IDC_HANDLE), u"ACE");
  EXPECT_EQ(window.Text(IDC_RESULT), u"Opening IR Port..\r\n");
  EXPECT_EQ(window.Text(IDC_SCORE), u"-2147483648");
  ASSERT_FALSE(window.events().empty());
  EXPECT_EQ(window.events().back().kind, DialogEvent::Kind::kRepaint);
  EXPECT_EQ(window.events().back().text, u"Opening IR Port..\r\n");
}

TEST_F(ScoreRequestTest, ReadingTakesHandleAndResultButNeverTheScore) {
  ScoreRequest request(u"Quarry", 1, 77, services);
  request.dialog = &window;
  window.SetItemText(IDC_HANDLE, u"Player");
  window.SetItemText(IDC_RESULT, u"typed by the player");
  window.SetItemText(IDC_SCORE, u"999");
  request.TransferText(true);
  EXPECT_EQ(FieldText(request.handle), u"Player");
  EXPECT_EQ(FieldText(request.status), u"typed by the player");
  EXPECT_EQ(request.score, 77);
  EXPECT_EQ(window.events().back().kind, DialogEvent::Kind::kRepaint);
}

struct ReadCase {
  int id;
  std::size_t boxLength;
  std::size_t arrives;
};

class ReadLimitTest : public ScoreRequestTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ReadLimitTest, BoxTextIsCutToTheFieldsRoom) {
  const ReadCase& c = GetParam();
  ScoreRequest request(u"Quarry", 1, 1, services);
  request.dialog = &window;
  std::u16string text;
  for (std::size_t i = 0; i < c.boxLength; ++i) {
    text += static_cast<char16_t>(u'a' + i % 26);
  }
  window.SetItemText(c.id, text);
  request.TransferText(true);
  const std::u16string_view got =
      c.id == IDC_HANDLE ? FieldText(request.handle) : FieldText(request.status);
  EXPECT_EQ(got, std::u16string_view(text).substr(0, c.arrives));
}

INSTANTIATE_TEST_SUITE_P(
    Limits, ReadLimitTest,
    ::testing::Values(ReadCase{IDC_HANDLE, 15, 15}, ReadCase{IDC_HANDLE, 16, 15},
                      ReadCase{IDC_HANDLE, 40, 15}, ReadCase{IDC_RESULT, 255, 255},
                      ReadCase{IDC_RESULT, 256, 255}, ReadCase{IDC_RESULT, 1000, 255}));

TEST_F(ScoreRequestTest, TypingHonoursTheHandleBoxLimit) {
  ScoreRequest request(u"Quarry", 1, 1, services);
  request.InitDialog(window);
  window.Type(IDC_HANDLE, u"ABCDEFGHIJKLMNOPQRSTU");
  EXPECT_EQ(window.Text(IDC_HANDLE), u"ABCDEFGHIJKLMNOP");
  request.TransferText(true);
  EXPECT_EQ(FieldText(request.handle), u"ABCDEFGHIJKLMNO");
}

}  // namespace
}  // namespace brindle
