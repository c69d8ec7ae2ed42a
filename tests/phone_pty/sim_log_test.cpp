// The log: every byte comes back from the file as written. The events' fields are checked
// where real runs write them (phone_link_pty_test, phone_store_test).
#include "tools/phone_sim/sim_log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "sim_log_reader.h"

namespace brindle::sim {
namespace {

TEST(SimLog, EveryByteComesBackFromTheFile) {
  std::string all;
  for (int code = 0; code < 256; ++code) {
    all.push_back(static_cast<char>(code));
  }
  const std::string path = ::testing::TempDir() + "sim-log-" + std::to_string(getpid()) + ".jsonl";
  {
    SimLog log;
    std::string error;
    ASSERT_TRUE(log.Open(path, error)) << error;
    log.Bytes(5, "out", all);
    log.NewLine(6, "/dev/pts/9");
  }
  const auto entries = ptytest::ReadLog(path);
  (void)std::remove(path.c_str());
  ASSERT_EQ(entries.size(), 2U);
  EXPECT_EQ(entries[0].t(), 5U);
  EXPECT_TRUE(entries[0].IsBytes("out"));
  EXPECT_EQ(entries[0].Text("data"), all);
  EXPECT_TRUE(entries[1].IsEvent("line"));
  EXPECT_EQ(entries[1].Text("path"), "/dev/pts/9");
}

}  // namespace
}  // namespace brindle::sim
