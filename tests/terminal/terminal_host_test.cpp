#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "dialog/terminal/terminal_dialog_host.h"
#include "dialog/terminal/terminal_sleeper.h"

namespace brindle::terminal {
namespace {

int g_procCalls = 0;

std::intptr_t CountingProc(DialogWindow& /*dialog*/, std::uint32_t /*message*/,
                           std::uintptr_t /*wParam*/, std::intptr_t /*lParam*/) {
  ++g_procCalls;
  return 0;
}

struct Files {
  Files() : in(std::tmpfile()), out(std::tmpfile()) {}
  Files(const Files&) = delete;
  Files& operator=(const Files&) = delete;
  Files(Files&&) = delete;
  Files& operator=(Files&&) = delete;
  ~Files() {
    static_cast<void>(std::fclose(in));
    static_cast<void>(std::fclose(out));
  }
  std::FILE* in;
  std::FILE* out;
};

TEST(TerminalDialogHost, WithoutATerminalFailsClearlyAndDrawsNothing) {
  Files files;
  TerminalDialogHost host(kHighscoreDialog, files.in, files.out);
  g_procCalls = 0;
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(host.RunModal(IDD_SENDHIGHSCORE, nullptr, CountingProc), -1);
  const std::string error = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(error.find("needs a terminal"), std::string::npos) << error;
  EXPECT_EQ(g_procCalls, 0);
  EXPECT_EQ(std::ftell(files.out), 0L);
  EXPECT_FALSE(host.DialogOpen());
}

TEST(TerminalDialogHost, RefusesOtherTemplates) {
  TerminalDialogHost host;
  g_procCalls = 0;
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(host.RunModal(130, nullptr, CountingProc), -1);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("130"), std::string::npos);
  EXPECT_EQ(g_procCalls, 0);
}

TEST(TerminalDialogHost, BoxesWithoutAnOpenDialogGoToStderr) {
  TerminalDialogHost host;
  ::testing::internal::CaptureStderr();
  host.ShowMessage(u"Unable to open port: gone", u"Error", 0x40);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Error: Unable to open port: gone\n");
}

TEST(TerminalSleeper, SleepsAtLeastAsLongAsAsked) {
  TerminalDialogHost host;
  TerminalSleeper sleeper(host);
  for (const std::uint32_t ms : {0U, 1U, 120U, 350U}) {
    const auto start = std::chrono::steady_clock::now();
    sleeper.Pause(ms);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(ms)) << ms;
  }
}

}  // namespace
}  // namespace brindle::terminal
