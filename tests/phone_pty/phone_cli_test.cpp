// `brindle phone` as a process: how it starts, keeps its terminal raw, and every way it ends.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "pty_link_fixture.h"

namespace brindle::ptytest {
namespace {

bool Exists(const std::string& path) {
  struct stat status {};
  return lstat(path.c_str(), &status) == 0;
}

TEST(PhoneCli, LinkPointsAtTheRawTerminalAndGoesOnSignal) {
  for (const int signal : {SIGTERM, SIGINT}) {
    PhoneProcess phone;
    const std::string link = "/tmp/brindle-phone-link-" + std::to_string(getpid());
    ASSERT_TRUE(phone.Start("ok", {"--link", link})) << phone.error();
    EXPECT_EQ(phone.terminal().rfind("/dev/pts/", 0), 0U) << phone.terminal();
    EXPECT_EQ(std::filesystem::read_symlink(link), phone.terminal());

    const int fd = ::open(link.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    termios settings{};
    ASSERT_EQ(tcgetattr(fd, &settings), 0);
    EXPECT_EQ(settings.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0U);
    EXPECT_EQ(settings.c_iflag & (ICRNL | IXON | ISTRIP | INLCR | IGNCR), 0U);
    EXPECT_EQ(settings.c_oflag & OPOST, 0U);
    EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(cfgetospeed(&settings), static_cast<speed_t>(B115200));
    ::close(fd);

    phone.Signal(signal);
    EXPECT_EQ(phone.WaitExit(5000), 0) << "signal " << signal;
    EXPECT_FALSE(Exists(link)) << "signal " << signal;
  }
}

TEST(PhoneCli, EndsAfterItsTimeOutAndRemovesTheLink) {
  PhoneProcess phone;
  const std::string link = "/tmp/brindle-phone-timeout-" + std::to_string(getpid());
  const Stopwatch watch;
  // A later --timeout overrides the fixture's.
  ASSERT_TRUE(phone.Start("flood", {"--link", link, "--timeout", "1"})) << phone.error();
  EXPECT_EQ(phone.WaitExit(5000), 0);
  EXPECT_GE(watch.ElapsedMs(), 1000);
  EXPECT_FALSE(Exists(link));
}

// With --count 1 the phone stays until the link has read the answers to the shutdown
// commands too, then ends by itself.
TEST_F(PtyLinkTest, EndsAfterItsCountOnceTheAnswersAreRead) {
  const std::string link = "/tmp/brindle-phone-count-" + std::to_string(getpid());
  ASSERT_TRUE(phone_.Start("ok", {"--count", "1", "--link", link})) << phone_.error();
  link_ = MakeLink();
  ASSERT_TRUE(link_->Open(Widen(link), kPortBaudRate));
  EXPECT_EQ(link_->InitPhone(), 1);
  EXPECT_EQ(link_->SendPdu(EncodeScoreMessage(kGameId, kScore, kHandle, kNumber)), 1);
  EXPECT_EQ(phone_.WaitExit(200), std::nullopt) << "ended before its last answers were read";
  EXPECT_EQ(link_->Close(), 1);
  EXPECT_EQ(phone_.WaitExit(10000), 0);
  EXPECT_FALSE(Exists(link));
  const std::string out = OutBytes();
  EXPECT_EQ(out.substr(out.size() - 12), "\r\nOK\r\n\r\nOK\r\n");  // CNMI and ATZ answered
  EXPECT_EQ(CountEvents("sms"), 1);
}

TEST(PhoneCli, RefusesBadArguments) {
  const std::string file = "/tmp/brindle-phone-file-" + std::to_string(getpid());
  std::ofstream(file) << "not a link";
  const std::vector<std::vector<std::string>> cases = {
      {"--mode", "bogus"}, {"--count", "-1"}, {"--count", "x"},
      {"--timeout", "-2"}, {"--link", file},  {"--log", "/nonexistent-dir/phone.jsonl"},
      {"--unknown"},
  };
  for (const auto& extra : cases) {
    PhoneProcess phone;
    EXPECT_FALSE(phone.Start("ok", extra)) << extra.front();
    EXPECT_EQ(phone.WaitExit(5000), 2) << extra.front() << " " << extra.back();
  }
  // The file that was in the link's way is still there.
  std::ifstream kept(file);
  std::string text;
  std::getline(kept, text);
  EXPECT_EQ(text, "not a link");
  std::filesystem::remove(file);
}

}  // namespace
}  // namespace brindle::ptytest
