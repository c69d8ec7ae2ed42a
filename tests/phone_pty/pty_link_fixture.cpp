#include "pty_link_fixture.h"

#include <unistd.h>

#include <chrono>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

namespace brindle::ptytest {
constexpr int kStartMs = 20000;
constexpr int kEventWaitMs = 5000;
constexpr int kEventPollMs = 20;

PhoneRun::PhoneRun() {
  std::string pattern = std::filesystem::temp_directory_path() / "brindle-phone-XXXXXX";
  if (mkdtemp(pattern.data()) != nullptr) {
    folder_ = pattern;
  }
}

PhoneRun::~PhoneRun() {
  process_.Finish(0);
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

bool PhoneRun::Start(const std::string& mode, const std::vector<std::string>& extra) {
  std::vector<std::string> arguments = {"phone",     "--mode", mode, "--log", Path("phone.jsonl"),
                                        "--timeout", "120"};
  arguments.insert(arguments.end(), extra.begin(), extra.end());
  return !folder_.empty() && process_.Start(BRINDLE_EXECUTABLE, arguments) &&
         process_.ReadLine(terminal_, kStartMs);
}

// Only whole lines: the phone may be writing the last one while it is read.
std::vector<LogEvent> PhoneRun::Events(std::string_view value, const std::string& key) const {
  std::vector<LogEvent> lines;
  std::ifstream file(Path("phone.jsonl"));
  for (std::string line; std::getline(file, line) && !file.eof();) {
    const nlohmann::json parsed = nlohmann::json::parse(line);
    if (parsed.value(key, "") != value) {
      continue;
    }
    LogEvent& event = lines.emplace_back();
    for (const auto& [name, field] : parsed.items()) {
      event[name] = field.is_string() ? field.get<std::string>() : field.dump();
    }
  }
  return lines;
}

std::vector<LogEvent> PhoneRun::AwaitEvents(std::string_view name, std::size_t count) const {
  auto events = Events(name);
  for (int waited = 0; events.size() < count && waited < kEventWaitMs; waited += kEventPollMs) {
    std::this_thread::sleep_for(std::chrono::milliseconds(kEventPollMs));
    events = Events(name);
  }
  return events;
}

std::string PhoneRun::Bytes(std::string_view direction) const {
  std::string bytes;
  for (const LogEvent& line : Events(direction, "dir")) {
    bytes += line.at("data");
  }
  return bytes;
}

}  // namespace brindle::ptytest
