#include <algorithm>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>

#include "tests/phone/link_fixture.h"

namespace brindle {
namespace {

using OpenTest = LinkTest;

TEST_F(OpenTest, MakesThePortCallsInOrderOnTheHandleItGot) {
  port.SetOpenHandle(42);
  PhoneLink link(Services());
  ASSERT_TRUE(link.Open(u"COM3:", kPortBaudRate));
  EXPECT_EQ(port.Trace(), kOpenTrace);
  for (const PortCallRecord& call : port.Calls()) {
    if (call.call != PortCall::kLastError && call.call != PortCall::kErrorText) {
      EXPECT_EQ(call.handle, 42);
    }
  }
  EXPECT_EQ(link.portHandle, 42);
  EXPECT_EQ(link.opened, 1);
  EXPECT_EQ(link.phoneReady, 0);
  EXPECT_TRUE(boxes.Messages().empty());
  EXPECT_TRUE(sleeper.Pauses().empty());
}

TEST_F(OpenTest, ReadsTheSettingsWithLength28) {
  PhoneLink link(Services());
  ASSERT_TRUE(link.Open(u"COM3:", kPortBaudRate));
  EXPECT_EQ(port.Calls().at(1).call, PortCall::kGetState);
  EXPECT_EQ(port.Calls().at(1).settings.dcbLength, 28U);
}

class OpenFlagsTest : public LinkTest, public ::testing::WithParamInterface<std::uint32_t> {};

TEST_P(OpenFlagsTest, SetsAndClearsTheFlowBitsAndKeepsTheRest) {
  PortSettings current{};
  current.dcbLength = 99;
  current.baudRate = 9600;
  current.flags = GetParam();
  current.wReserved = 0x1111;
  current.xonLim = 0x2222;
  current.xoffLim = 0x3333;
  current.byteSize = 7;
  current.parity = 2;
  current.stopBits = 2;
  current.xonChar = 0x11;
  current.xoffChar = 0x13;
  current.errorChar = 0x3F;
  current.eofChar = 0x1A;
  current.evtChar = 0x0D;
  current.wReserved1 = 0x4444;
  port.SetCurrentState(current);

  PhoneLink link(Services());
  ASSERT_TRUE(link.Open(u"COM3:", 115200));
  const PortSettings& set = port.Calls().at(2).settings;
  ASSERT_EQ(port.Calls().at(2).call, PortCall::kSetState);

  EXPECT_EQ(set.dcbLength, 28U);
  EXPECT_EQ(set.baudRate, 115200U);
  EXPECT_EQ(set.flags & 0x7FFFU, 0x1093U);
  EXPECT_EQ(set.flags & 0xFFFF8000U, GetParam() & 0xFFFF8000U);
  for (const std::uint32_t on : {dcb::kBinary, dcb::kParity, dcb::kDtrControlEnable,
                                 dcb::kTxContinueOnXoff, dcb::kRtsControlEnable}) {
    EXPECT_EQ(set.flags & on, on) << on;
  }
  for (const std::uint32_t off :
       {dcb::kOutxCtsFlow, dcb::kOutxDsrFlow, dcb::kDsrSensitivity, dcb::kOutX, dcb::kInX,
        dcb::kErrorChar, dcb::kNull, dcb::kAbortOnError}) {
    EXPECT_EQ(set.flags & off, 0U) << off;
  }
  EXPECT_EQ(set.flags & dcb::kDtrControlMask, dcb::kDtrControlEnable);
  EXPECT_EQ(set.flags & dcb::kRtsControlMask, dcb::kRtsControlEnable);
  EXPECT_EQ(set.byteSize, 8);
  EXPECT_EQ(set.parity, dcb::kNoParity);
  EXPECT_EQ(set.stopBits, dcb::kOneStopBit);
  EXPECT_EQ(set.wReserved, 0x1111);
  EXPECT_EQ(set.xonLim, 0x2222);
  EXPECT_EQ(set.xoffLim, 0x3333);
  EXPECT_EQ(set.xonChar, 0x11);
  EXPECT_EQ(set.xoffChar, 0x13);
  EXPECT_EQ(set.errorChar, 0x3F);
  EXPECT_EQ(set.eofChar, 0x1A);
  EXPECT_EQ(set.evtChar, 0x0D);
  EXPECT_EQ(set.wReserved1, 0x4444);
}

INSTANTIATE_TEST_SUITE_P(FlagWords, OpenFlagsTest,
                         ::testing::Values(0x00000000U, 0xFFFFFFFFU, 0x00006F6CU, 0x00001093U,
                                           0xABCD1234U, 0x80000000U, 0x00008000U));

TEST_F(OpenTest, UsesTheRateItIsGiven) {
  PhoneLink link(Services());
  ASSERT_TRUE(link.Open(u"/dev/ttyUSB0", 9600));
  EXPECT_EQ(port.Calls().at(0).name, u"/dev/ttyUSB0");
  EXPECT_EQ(port.Calls().at(2).settings.baudRate, 9600U);
}

TEST_F(OpenTest, WritesAllFiveTimeoutsWhateverWasRead) {
  port.SetCurrentTimeouts({9, 9, 9, 9, 9});
  PhoneLink link(Services());
  ASSERT_TRUE(link.Open(u"COM3:", kPortBaudRate));
  const PortCallRecord& set = port.Calls().at(4);
  ASSERT_EQ(set.call, PortCall::kSetTimeouts);
  EXPECT_EQ(set.timeouts.readIntervalTimeout, 0xFFFFFFFFU);
  EXPECT_EQ(set.timeouts.readTotalTimeoutMultiplier, 1U);
  EXPECT_EQ(set.timeouts.readTotalTimeoutConstant, 500U);
  EXPECT_EQ(set.timeouts.writeTotalTimeoutMultiplier, 1U);
  EXPECT_EQ(set.timeouts.writeTotalTimeoutConstant, 500U);
}

// Failures the link does not look at change nothing in the flow.
class OpenIgnoredFailureTest : public LinkTest, public ::testing::WithParamInterface<PortCall> {};

TEST_P(OpenIgnoredFailureTest, StillOpens) {
  port.FailCall(GetParam(), 31);
  port.SetErrorText(31, u"A device attached to the system is not functioning.");
  PhoneLink link(Services());
  EXPECT_TRUE(link.Open(u"COM3:", kPortBaudRate));
  std::vector<std::string> trace = port.Trace();
  for (std::string& entry : trace) {
    if (entry.ends_with(" -> fail")) {
      entry.resize(entry.size() - 8);
    }
  }
  EXPECT_EQ(trace, kOpenTrace);
  EXPECT_TRUE(boxes.Messages().empty());
  EXPECT_EQ(link.portHandle, RecordingSerialPort::kDefaultHandle);
}

INSTANTIATE_TEST_SUITE_P(Calls, OpenIgnoredFailureTest,
                         ::testing::Values(PortCall::kGetState, PortCall::kGetTimeouts,
                                           PortCall::kEscape, PortCall::kPurge));

struct OpenFailure {
  const char* name;
  PortCall failing;
  std::vector<std::string> trace;
  std::u16string box;
  std::int32_t opened;
  int closeResult;
};

void PrintTo(const OpenFailure& value, std::ostream* os) { *os << value.name; }

class OpenFailureTest : public LinkTest, public ::testing::WithParamInterface<OpenFailure> {};

constexpr std::uint32_t kErrorCode = 5;
constexpr std::u16string_view kSystemText = u"Access is denied.\r\n";

TEST_P(OpenFailureTest, ShowsTheBoxAndReleasesWhatItGot) {
  const OpenFailure& failure = GetParam();
  port.FailCall(failure.failing, kErrorCode);
  port.SetErrorText(kErrorCode, kSystemText);
  PhoneLink link(Services());
  EXPECT_FALSE(link.Open(u"COM3:", kPortBaudRate));
  EXPECT_EQ(port.Trace(), failure.trace);
  ASSERT_EQ(boxes.Messages().size(), 1U);
  EXPECT_EQ(boxes.Messages()[0].text, failure.box);
  EXPECT_EQ(boxes.Messages()[0].caption, u"Error");
  EXPECT_EQ(boxes.Messages()[0].style, 0x40U);
  EXPECT_EQ(link.portHandle, kInvalidPortHandle);
  EXPECT_EQ(link.opened, failure.opened);
  EXPECT_EQ(port.OpenHandles(), 0);

  const std::size_t mark = port.Trace().size();
  EXPECT_EQ(link.Close(), failure.closeResult);
  EXPECT_TRUE(TraceSince(mark).empty());
}

TEST_P(OpenFailureTest, ShowsNoBoxWhenTheSystemHasNoText) {
  const OpenFailure& failure = GetParam();
  port.FailCall(failure.failing, kErrorCode);
  PhoneLink link(Services());
  EXPECT_FALSE(link.Open(u"COM3:", kPortBaudRate));
  EXPECT_EQ(port.Trace(), failure.trace);
  EXPECT_TRUE(boxes.Messages().empty());
  EXPECT_EQ(link.opened, failure.opened);
}

TEST_P(OpenFailureTest, AsksForTheTextOfTheCodeOfTheFailedCall) {
  const OpenFailure& failure = GetParam();
  port.FailCall(failure.failing, kErrorCode);
  PhoneLink link(Services());
  link.Open(u"COM3:", kPortBaudRate);
  const auto& calls = port.Calls();
  const auto failed = std::find_if(calls.begin(), calls.end(),
                                   [](const PortCallRecord& call) { return !call.result; });
  ASSERT_NE(failed, calls.end());
  ASSERT_LT(failed + 2, calls.end());
  EXPECT_EQ((failed + 1)->call, PortCall::kLastError);
  EXPECT_EQ((failed + 2)->call, PortCall::kErrorText);
  EXPECT_EQ((failed + 2)->value, kErrorCode);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, OpenFailureTest,
    ::testing::Values(OpenFailure{"CreateFile",
                                  PortCall::kOpen,
                                  {"Open COM3: -> fail"},
                                  u"Unable to open portAccess is denied.\r\n",
                                  0,
                                  1},
                      OpenFailure{"SetCommState",
                                  PortCall::kSetState,
                                  {"Open COM3:", "GetState", "SetState -> fail", "Close"},
                                  u"Unable to set CommStateAccess is denied.\r\n",
                                  1,
                                  0},
                      OpenFailure{"SetCommTimeouts",
                                  PortCall::kSetTimeouts,
                                  {"Open COM3:", "GetState", "SetState", "GetTimeouts",
                                   "SetTimeouts -> fail", "Close"},
                                  u"Unable to set CommTimeoutsAccess is denied.\r\n",
                                  1,
                                  0}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(OpenTest, ReleasedHandleIsClosedEvenWhenClosingFails) {
  port.FailCall(PortCall::kSetState, kErrorCode);
  port.FailCall(PortCall::kClose, kErrorCode);
  PhoneLink link(Services());
  EXPECT_FALSE(link.Open(u"COM3:", kPortBaudRate));
  EXPECT_EQ(link.portHandle, kInvalidPortHandle);
  EXPECT_EQ(port.Trace().back(), "Close -> fail");
}

TEST_F(OpenTest, FailedOpenKeepsTheFlagsOfAnEarlierOpen) {
  PhoneLink link(Services());
  ASSERT_TRUE(link.Open(u"COM3:", kPortBaudRate));
  ASSERT_EQ(link.Close(), 1);
  port.FailCall(PortCall::kOpen, 2);
  EXPECT_FALSE(link.Open(u"COM3:", kPortBaudRate));
  EXPECT_EQ(link.opened, 1);
  EXPECT_EQ(link.portHandle, kInvalidPortHandle);
  // The port was released before; nothing is held now, but the link was opened once.
  EXPECT_EQ(link.Close(), 0);
}

class ReportErrorTest : public LinkTest {};

TEST_F(ReportErrorTest, PutsThePrefixDirectlyInFrontOfTheSystemText) {
  port.SetErrorText(87, u"The parameter is incorrect.");
  PhoneLink link(Services());
  EXPECT_EQ(link.ReportError("Unable to set CommTimeouts", 87, true), 0);
  ASSERT_EQ(boxes.Messages().size(), 1U);
  EXPECT_EQ(boxes.Messages()[0].text, u"Unable to set CommTimeoutsThe parameter is incorrect.");
  EXPECT_TRUE(port.Trace().empty());
}

TEST_F(ReportErrorTest, ShowsNothingUnlessAsked) {
  port.SetErrorText(87, u"The parameter is incorrect.");
  PhoneLink link(Services());
  EXPECT_EQ(link.ReportError("Unable to open port", 87, false), 0);
  EXPECT_TRUE(boxes.Messages().empty());
}

TEST_F(ReportErrorTest, WidensThePrefixByteForByte) {
  port.SetErrorText(1, u"\u20AC");
  PhoneLink link(Services());
  link.ReportError("caf\xE9 \xFF", 1, true);
  ASSERT_EQ(boxes.Messages().size(), 1U);
  EXPECT_EQ(boxes.Messages()[0].text, u"caf\u00E9 \u00FF\u20AC");
}

struct CutCase {
  std::size_t prefixLength;
  std::size_t systemLength;
};

void PrintTo(const CutCase& value, std::ostream* os) {
  *os << value.prefixLength << "+" << value.systemLength;
}

class ReportErrorCutTest : public LinkTest, public ::testing::WithParamInterface<CutCase> {};

TEST_P(ReportErrorCutTest, CutsTheComposedTextTo511Characters) {
  const auto [prefixLength, systemLength] = GetParam();
  const std::string prefix(prefixLength, 'p');
  port.SetErrorText(3, std::u16string(systemLength, u's'));
  PhoneLink link(Services());
  link.ReportError(prefix.c_str(), 3, true);
  ASSERT_EQ(boxes.Messages().size(), 1U);
  const std::u16string expected =
      (std::u16string(prefixLength, u'p') + std::u16string(systemLength, u's')).substr(0, 511);
  EXPECT_EQ(boxes.Messages()[0].text, expected);
}

INSTANTIATE_TEST_SUITE_P(Lengths, ReportErrorCutTest,
                         ::testing::Values(CutCase{19, 492}, CutCase{19, 493}, CutCase{19, 511},
                                           CutCase{511, 1}, CutCase{600, 5}, CutCase{0, 511},
                                           CutCase{300, 300}));

}  // namespace
}  // namespace brindle
