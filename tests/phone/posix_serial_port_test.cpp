// The POSIX port on a real pseudo-terminal: the test holds the master side as the "phone".
#include "phone/posix_serial_port.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/phone/link_fixture.h"

namespace brindle {
namespace {

class PtyTest : public ::testing::Test {
 protected:
  // The slave stays open so that its settings can be read back.
  void SetUp() override {
    std::array<char, 128> name{};
    ASSERT_EQ(::openpty(&master, &slave, name.data(), nullptr, nullptr), 0);
    path.assign(name.data(), name.data() + std::strlen(name.data()));
  }
  void TearDown() override {
    ::close(slave);
    ::close(master);
  }

  // Whether a one-byte read succeeded, and how many bytes it got.
  [[nodiscard]] std::pair<bool, std::uint32_t> ReadOne() {
    std::array<std::uint8_t, 1> byte{};
    std::uint32_t done = 99;
    const bool ok = port.Read(link.portHandle, byte, done);
    return {ok, done};
  }

  int master = -1;
  int slave = -1;
  std::u16string path;
  PosixSerialPort port;
  RecordingMessageSink boxes;
  PhoneLink link{{&port, &boxes, nullptr, nullptr}};
};

TEST_F(PtyTest, OpenLeavesTheLineRawAt115200EightNoneOneAndDropsStaleInput) {
  ASSERT_EQ(::write(master, "stale", 5), 5);
  ASSERT_TRUE(link.Open(path, kPortBaudRate));
  EXPECT_TRUE(boxes.Messages().empty());
  termios tio{};
  ASSERT_EQ(::tcgetattr(slave, &tio), 0);
  EXPECT_EQ(::cfgetospeed(&tio), B115200);
  EXPECT_EQ(::cfgetispeed(&tio), B115200);
  EXPECT_EQ(tio.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS | CLOCAL | CREAD),
            static_cast<tcflag_t>(CS8 | CLOCAL | CREAD));
  EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), 0U);
  EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0U);
  EXPECT_EQ(tio.c_oflag & OPOST, 0U);
  EXPECT_EQ(ReadOne(), std::pair(true, 0U));
}

TEST_F(PtyTest, ComNameOpensTheDeviceItsVariableNamesAndWriteStopsAtItsTimeout) {
  ::setenv("BRINDLE_COM3", std::string(path.begin(), path.end()).c_str(), 1);
  const bool opened = link.Open(u"COM3:", kPortBaudRate);
  ::unsetenv("BRINDLE_COM3");
  ASSERT_TRUE(opened);
  ASSERT_TRUE(port.SetTimeouts(link.portHandle, {0, 0, 0, 0, 200}));
  // The phone reads nothing, so the terminal's buffer fills up.
  const std::vector<std::uint8_t> bytes(1 << 20, 'x');
  std::uint32_t done = 0;
  EXPECT_TRUE(port.Write(link.portHandle, bytes, done));
  EXPECT_GT(done, 0U);
  EXPECT_LT(done, bytes.size());
  // What reached the phone; it waits up to 200 ms for each further piece.
  ssize_t received = 0;
  pollfd request{master, POLLIN, 0};
  std::array<char, 4096> chunk{};
  for (ssize_t got = 0;
       ::poll(&request, 1, 200) > 0 && (got = ::read(master, chunk.data(), chunk.size())) > 0;) {
    received += got;
  }
  EXPECT_EQ(received, static_cast<ssize_t>(done));
}

TEST_F(PtyTest, SecondOpenIsRefusedUntilTheFirstIsClosed) {
  ASSERT_TRUE(link.Open(path, kPortBaudRate));
  PosixSerialPort other;
  EXPECT_EQ(other.Open(path), kInvalidPortHandle);
  EXPECT_EQ(other.LastError(), static_cast<std::uint32_t>(EBUSY));
  ASSERT_EQ(link.Close(), 1);
  const PortHandle second = other.Open(path);
  EXPECT_NE(second, kInvalidPortHandle);
  EXPECT_TRUE(other.Close(second));
}

TEST_F(PtyTest, HungUpPhoneFailsReadsAndWrites) {
  ASSERT_TRUE(link.Open(path, kPortBaudRate));
  ::close(master);
  master = -1;
  EXPECT_EQ(ReadOne(), std::pair(false, 0U));  // a failure, not a quiet line
  EXPECT_EQ(port.LastError(), static_cast<std::uint32_t>(EIO));
  EXPECT_FALSE(link.WriteCommand(u"ATZ\r"));
}

TEST_F(PtyTest, RateTheTerminalDoesNotKnowIsRefusedWithABoxAndTheDeviceReleased) {
  EXPECT_FALSE(link.Open(path, 12345));
  ASSERT_EQ(boxes.Messages().size(), 1U);
  EXPECT_EQ(boxes.Messages()[0].text, u"Unable to set CommStateInvalid argument");
  EXPECT_TRUE(link.Open(path, kPortBaudRate));
}

TEST(PosixPortTest, PortNamesMapToDevices) {
  ::setenv("BRINDLE_COM12", "/tmp/phone12", 1);
  ::setenv("BRINDLE_COM4", "", 1);
  ::unsetenv("BRINDLE_COM3");
  const std::pair<std::u16string, std::string> rows[] = {
      {u"COM3:", "/dev/ttyS2"}, {u"com3", "/dev/ttyS2"},           {u"COM12:", "/tmp/phone12"},
      {u"COM4:", "/dev/ttyS3"}, {u"/dev/ttyUSB0", "/dev/ttyUSB0"}, {u"COM0:", "COM0:"},
      {u"COM3:x", "COM3:x"},    {std::u16string(300, u'a'), ""}};
  for (const auto& [name, device] : rows) {
    std::array<char, 256> out{};
    EXPECT_EQ(PosixSerialPort::ResolvePath(name, out) ? out.data() : "", device) << device;
  }
  ::unsetenv("BRINDLE_COM12");
  ::unsetenv("BRINDLE_COM4");
}

TEST(PosixPortTest, MissingDeviceFailsWithTheSystemsText) {
  PosixSerialPort port;
  EXPECT_EQ(port.Open(u"/dev/brindle-no-such-device"), kInvalidPortHandle);
  EXPECT_EQ(port.LastError(), static_cast<std::uint32_t>(ENOENT));
  std::array<char16_t, 6> cut{};
  EXPECT_EQ(port.ErrorText(ENOENT, cut), 5U);
  EXPECT_EQ(TerminatedView(std::span<const char16_t>(cut)), u"No su");
  EXPECT_EQ(port.ErrorText(99999, cut), 0U);
}

}  // namespace
}  // namespace brindle
