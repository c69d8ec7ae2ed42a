// The log: every byte comes back from the file as written. The events' fields are checked
// where real runs write them (phone_link_pty_test, phone_store_test).
#include "tools/phone_sim/sim_log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "pty_link_fixture.h"

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
  std::ifstream file(path);
  std::string first;
  std::string second;
  std::getline(file, first);
  std::getline(file, second);
  (void)std::remove(path.c_str());
  const auto bytes = nlohmann::json::parse(first);
  EXPECT_EQ(bytes.at("t"), 5);
  EXPECT_EQ(bytes.at("dir"), "out");
  EXPECT_EQ(ptytest::LogBytes(bytes.at("data")), all);
  const auto line = nlohmann::json::parse(second);
  EXPECT_EQ(line.at("event"), "line");
  EXPECT_EQ(line.at("path"), "/dev/pts/9");
}

}  // namespace
}  // namespace brindle::sim
