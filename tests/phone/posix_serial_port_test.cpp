// The POSIX port on a real pseudo-terminal: the test holds the master side as the "phone".
#include "phone/posix_serial_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/testing/recording_message_sink.h"
#include "base/testing/recording_sleeper.h"
#include "base/text.h"
#include "phone/phone_link.h"

namespace brindle {
namespace {

using Clock = std::chrono::steady_clock;

std::int64_t MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

std::u16string Wide(std::string_view text) {
  std::u16string wide(text.size(), u'\0');
  WidenText(text, wide);
  return wide;
}

class PtyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    std::array<char, 128> name{};
    ASSERT_EQ(::ptsname_r(master, name.data(), name.size()), 0);
    path = name.data();
    // Kept open so that the slave's settings stay and can be read back.
    slave = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
  }

  void TearDown() override {
    if (slave >= 0) {
      ::close(slave);
    }
    if (master >= 0) {
      ::close(master);
    }
  }

  LinkServices Services() { return {&port, &boxes, &sleeper, nullptr}; }

  void PhoneSends(std::string_view bytes) const {
    ASSERT_EQ(::write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

  // What reached the phone within `waitMs`.
  [[nodiscard]] std::string PhoneReceived(int waitMs = 200) const {
    std::string received;
    pollfd request{master, POLLIN, 0};
    while (::poll(&request, 1, waitMs) > 0) {
      std::array<char, 4096> chunk{};
      const ssize_t got = ::read(master, chunk.data(), chunk.size());
      if (got <= 0) {
        break;
      }
      received.append(chunk.data(), static_cast<std::size_t>(got));
    }
    return received;
  }

  int master = -1;
  int slave = -1;
  std::string path;
  PosixSerialPort port;
  RecordingMessageSink boxes;
  RecordingSleeper sleeper;
};

TEST_F(PtyTest, OpenLeavesTheLineAt115200EightNoneOneWithoutFlowControl) {
  PhoneLink link(Services());
  ASSERT_TRUE(link.Open(Wide(path), kPortBaudRate));
  EXPECT_TRUE(boxes.Messages().empty());

  termios tio{};
  ASSERT_EQ(::tcgetattr(slave, &tio), 0);
  EXPECT_EQ(::cfgetospeed(&tio), B115200);
  EXPECT_EQ(::cfgetispeed(&tio), B115200);
  EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0U);
  EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
  EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), 0U);
  EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0U);
  EXPECT_EQ(tio.c_oflag & OPOST, 0U);

  PortSettings settings{};
  ASSERT_TRUE(port.GetState(link.portHandle, settings));
  EXPECT_EQ(settings.baudRate, 115200U);
  EXPECT_EQ(settings.byteSize, 8);
  EXPECT_EQ(settings.parity, dcb::kNoParity);
  EXPECT_EQ(settings.stopBits, dcb::kOneStopBit);
  EXPECT_EQ(settings.flags & (dcb::kOutxCtsFlow | dcb::kOutX | dcb::kInX), 0U);

  PortTimeouts timeouts{};
  ASSERT_TRUE(port.GetTimeouts(link.portHandle, timeouts));
  EXPECT_EQ(timeouts.readIntervalTimeout, 0xFFFFFFFFU);
  EXPECT_EQ(timeouts.readTotalTimeoutConstant, 500U);
  EXPECT_EQ(link.Close(), 1);
}

TEST_F(PtyTest, OneByteReadOfASilentPhoneGivesUpAfterTheTimeout) {
  PhoneLink link(Services());
  ASSERT_TRUE(link.Open(Wide(path), kPortBaudRate));
  std::array<std::uint8_t, 1> byte{};
  std::uint32_t done = 99;
  const auto start = Clock::now();
  EXPECT_TRUE(port.Read(link.portHandle, byte, done));
  const std::int64_t elapsed = MsSince(start);
  EXPECT_EQ(done, 0U);
  EXPECT_GE(elapsed, 500);
  EXPECT_LT(elapsed, 5000);
}

TEST_F(PtyTest, AnswerOfThePhoneIsReadAndTheCommandWritten) {
  PhoneLink link(Services());
  ASSERT_TRUE(link.Open(Wide(path), kPortBaudRate));
  ASSERT_TRUE(link.WriteCommand(u"ATE0\r"));
  EXPECT_EQ(PhoneReceived(), "ATE0\r");
  PhoneSends("ATE0\r\r\nOK\r\n");
  std::array<char16_t, kResponseCapacity> response{};
  const auto start = Clock::now();
  link.ReadResponse(response);
  EXPECT_EQ(TerminatedView(std::span<const char16_t>(response)), u"OK\r\n");
  EXPECT_GE(MsSince(start), 500);
}

TEST_F(PtyTest, WriteStopsShortAtItsTimeoutAndCountsWhatWentOut) {
  const PortHandle handle = port.Open(Wide(path));
  ASSERT_NE(handle, kInvalidPortHandle);
  PortSettings settings{};
  port.GetState(handle, settings);
  PhoneLink::ApplyPortSettings(settings);
  settings.baudRate = kPortBaudRate;
  ASSERT_TRUE(port.SetState(handle, settings));
  ASSERT_TRUE(port.SetTimeouts(handle, {0, 0, 0, 0, 200}));
  // The phone reads nothing, so the terminal's buffer fills up.
  const std::vector<std::uint8_t> bytes(1 << 20, 'x');
  std::uint32_t done = 0;
  const auto start = Clock::now();
  EXPECT_TRUE(port.Write(handle, bytes, done));
  EXPECT_GE(MsSince(start), 200);
  EXPECT_GT(done, 0U);
  EXPECT_LT(done, bytes.size());
  EXPECT_EQ(PhoneReceived(50).size(), done);
  EXPECT_TRUE(port.Close(handle));
}

TEST_F(PtyTest, SecondOpenIsRefusedUntilTheFirstIsClosed) {
  const PortHandle first = port.Open(Wide(path));
  ASSERT_NE(first, kInvalidPortHandle);
  PosixSerialPort other;
  EXPECT_EQ(other.Open(Wide(path)), kInvalidPortHandle);
  EXPECT_EQ(other.LastError(), static_cast<std::uint32_t>(EBUSY));
  ASSERT_TRUE(port.Close(first));
  const PortHandle second = other.Open(Wide(path));
  EXPECT_NE(second, kInvalidPortHandle);
  EXPECT_TRUE(other.Close(second));
}

TEST_F(PtyTest, LinkOpensAgainAfterClose) {
  PhoneLink link(Services());
  ASSERT_TRUE(link.Open(Wide(path), kPortBaudRate));
  ASSERT_EQ(link.Close(), 1);
  ASSERT_TRUE(link.Open(Wide(path), kPortBaudRate));
  EXPECT_EQ(link.Close(), 1);
  EXPECT_TRUE(boxes.Messages().empty());
}

// Restores an environment variable when the test is done.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) {
      old_ = old;
    }
    if (value != nullptr) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
  ~ScopedEnv() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST_F(PtyTest, Com3OpensTheDeviceNamedByBrindleCom3) {
  const ScopedEnv env("BRINDLE_COM3", path.c_str());
  PhoneLink link(Services());
  ASSERT_TRUE(link.Open(u"COM3:", kPortBaudRate));
  ASSERT_TRUE(link.WriteCommand(u"AT\r"));
  EXPECT_EQ(PhoneReceived(), "AT\r");
}

std::string Resolved(std::u16string_view name) {
  std::array<char, 256> out{};
  if (!PosixSerialPort::ResolvePath(name, out)) {
    return "<too long>";
  }
  return out.data();
}

TEST(PortNameTest, MapsComNamesToDevices) {
  const ScopedEnv com3("BRINDLE_COM3", nullptr);
  const ScopedEnv com12("BRINDLE_COM12", "/tmp/phone12");
  EXPECT_EQ(Resolved(u"COM3:"), "/dev/ttyS2");
  EXPECT_EQ(Resolved(u"COM1:"), "/dev/ttyS0");
  EXPECT_EQ(Resolved(u"com3:"), "/dev/ttyS2");
  EXPECT_EQ(Resolved(u"COM3"), "/dev/ttyS2");
  EXPECT_EQ(Resolved(u"COM12:"), "/tmp/phone12");
  EXPECT_EQ(Resolved(u"/dev/ttyUSB0"), "/dev/ttyUSB0");
  EXPECT_EQ(Resolved(u"COM0:"), "COM0:");
  EXPECT_EQ(Resolved(u"COMX:"), "COMX:");
  EXPECT_EQ(Resolved(u"COM3:x"), "COM3:x");
  EXPECT_EQ(Resolved(std::u16string(300, u'a')), "<too long>");
}

TEST(PortNameTest, EmptyVariableFallsBackToTheSerialDevice) {
  const ScopedEnv com3("BRINDLE_COM3", "");
  EXPECT_EQ(Resolved(u"COM3:"), "/dev/ttyS2");
}

TEST(PosixPortTest, MissingDeviceFailsWithTheSystemsText) {
  PosixSerialPort port;
  EXPECT_EQ(port.Open(u"/dev/brindle-no-such-device"), kInvalidPortHandle);
  EXPECT_EQ(port.LastError(), static_cast<std::uint32_t>(ENOENT));
  std::array<char16_t, kErrorTextCapacity> text{};
  EXPECT_GT(port.ErrorText(ENOENT, text), 0U);
  EXPECT_EQ(TerminatedView(std::span<const char16_t>(text)), u"No such file or directory");

  RecordingMessageSink boxes;
  RecordingSleeper sleeper;
  PhoneLink link({&port, &boxes, &sleeper, nullptr});
  EXPECT_FALSE(link.Open(u"/dev/brindle-no-such-device", kPortBaudRate));
  ASSERT_EQ(boxes.Messages().size(), 1U);
  EXPECT_EQ(boxes.Messages()[0].text, u"Unable to open portNo such file or directory");
  EXPECT_EQ(boxes.Messages()[0].caption, u"Error");
  EXPECT_EQ(boxes.Messages()[0].style, 0x40U);
  EXPECT_EQ(link.opened, 0);
  EXPECT_EQ(link.Close(), 1);
}

TEST(PosixPortTest, UnknownCodeHasNoText) {
  PosixSerialPort port;
  std::array<char16_t, 64> text{};
  EXPECT_EQ(port.ErrorText(99999, text), 0U);
  EXPECT_EQ(port.ErrorText(0x80000000U, text), 0U);
}

TEST(PosixPortTest, ErrorTextIsCutToTheBuffer) {
  PosixSerialPort port;
  std::array<char16_t, 6> text{};
  EXPECT_EQ(port.ErrorText(ENOENT, text), 5U);
  EXPECT_EQ(TerminatedView(std::span<const char16_t>(text)), u"No su");
}

TEST_F(PtyTest, PtyHasNoModemLinesButTheLinkStillOpens) {
  const PortHandle handle = port.Open(Wide(path));
  ASSERT_NE(handle, kInvalidPortHandle);
  EXPECT_FALSE(port.Escape(handle, EscapeFunction::kSetDtr));
  EXPECT_EQ(port.LastError(), static_cast<std::uint32_t>(ENOTTY));
  EXPECT_TRUE(port.Close(handle));
}

TEST_F(PtyTest, RateTheTerminalDoesNotKnowIsRefusedWithABox) {
  PhoneLink link(Services());
  EXPECT_FALSE(link.Open(Wide(path), 12345));
  ASSERT_EQ(boxes.Messages().size(), 1U);
  EXPECT_EQ(boxes.Messages()[0].text, u"Unable to set CommStateInvalid argument");
  EXPECT_EQ(link.portHandle, kInvalidPortHandle);
  // The handle was closed: the device can be opened again.
  EXPECT_TRUE(link.Open(Wide(path), kPortBaudRate));
}

TEST_F(PtyTest, PurgeDropsWhatThePhoneSentBefore) {
  PhoneLink link(Services());
  PhoneSends("stale");
  ASSERT_TRUE(link.Open(Wide(path), kPortBaudRate));
  PhoneSends("junk");
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_TRUE(port.Purge(link.portHandle, kPurgeAll));
  std::array<std::uint8_t, 1> byte{};
  std::uint32_t done = 0;
  EXPECT_TRUE(port.Read(link.portHandle, byte, done));
  EXPECT_EQ(done, 0U);
}

TEST_F(PtyTest, HungUpPhoneEndsTheAnswerAtOnce) {
  PhoneLink link(Services());
  ASSERT_TRUE(link.Open(Wide(path), kPortBaudRate));
  PhoneSends("\r\nOK");
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ::close(master);
  master = -1;
  std::array<char16_t, kResponseCapacity> response{};
  const auto start = Clock::now();
  link.ReadResponse(response);
  EXPECT_LT(MsSince(start), 2000);
  std::array<std::uint8_t, 1> byte{};
  std::uint32_t got = 1;
  EXPECT_FALSE(port.Read(link.portHandle, byte, got));  // a failure, not a quiet line
  EXPECT_EQ(got, 0U);
  EXPECT_EQ(port.LastError(), static_cast<std::uint32_t>(EIO));
  EXPECT_FALSE(link.WriteCommand(u"ATZ\r"));
}

// The one test that takes the bound's seconds: a phone sending a byte every 50 ms, forever,
// cannot hold an answer for longer than the bound.
TEST_F(PtyTest, FloodingPhoneIsCutOffAfterTheBoundInWallTime) {
  PhoneLink link(Services());
  ASSERT_TRUE(link.Open(Wide(path), kPortBaudRate));
  std::atomic<bool> stop = false;
  std::thread phone([this, &stop] {
    const auto until = Clock::now() + std::chrono::seconds(15);
    while (!stop && Clock::now() < until) {
      const char byte = 'x';
      if (::write(master, &byte, 1) != 1) {
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });
  std::array<char16_t, kResponseCapacity> response{};
  const auto start = Clock::now();
  link.ReadResponse(response);
  const std::int64_t elapsed = MsSince(start);
  stop = true;
  phone.join();
  EXPECT_GE(elapsed, static_cast<std::int64_t>(kResponseBoundMs));
  EXPECT_LT(elapsed, static_cast<std::int64_t>(kResponseBoundMs) + 2000);
  const std::u16string_view text = TerminatedView(std::span<const char16_t>(response));
  EXPECT_GE(text.size(), 40U);
  EXPECT_EQ(text.find_first_not_of(u'x'), std::u16string_view::npos);
}

}  // namespace
}  // namespace brindle
