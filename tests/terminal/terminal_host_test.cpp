#include <gtest/gtest.h>

#include <cstdio>

#include "dialog/terminal/terminal_dialog_host.h"

namespace brindle::terminal {
namespace {

int g_procCalls = 0;

std::intptr_t CountingProc(DialogWindow& /*dialog*/, std::uint32_t /*message*/,
                           std::uintptr_t /*wParam*/, std::intptr_t /*lParam*/) {
  ++g_procCalls;
  return 0;
}

TEST(TerminalDialogHost, WithoutATerminalOrWithAnotherTemplateRefusesAndDrawsNothing) {
  std::FILE* in = std::tmpfile();
  std::FILE* out = std::tmpfile();
  {
    TerminalDialogHost host(kHighscoreDialog, in, out);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(host.RunModal(IDD_SENDHIGHSCORE, nullptr, CountingProc), -1);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("needs a terminal"), std::string::npos);
    EXPECT_EQ(std::ftell(out), 0L);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(host.RunModal(130, nullptr, CountingProc), -1);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("130"), std::string::npos);
  }
  EXPECT_EQ(g_procCalls, 0);
  static_cast<void>(std::fclose(in));
  static_cast<void>(std::fclose(out));
}

TEST(TerminalDialogHost, BoxesWithoutAnOpenDialogGoToStderr) {
  TerminalDialogHost host;
  ::testing::internal::CaptureStderr();
  host.ShowMessage(u"Unable to open port: gone", u"Error", 0x40);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Error: Unable to open port: gone\n");
}

}  // namespace
}  // namespace brindle::terminal
