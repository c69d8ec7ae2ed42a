// --feed: a named pipe that messages arrive on while the phone runs, one PDU a line. The
// phone holds a write end of its own, so a writer that closes is no end of the feed and the
// next writer just writes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace brindle::sim {

inline constexpr std::size_t kFeedLineCapacity = 1024;

class FeedPipe {
 public:
  explicit FeedPipe(std::string path) : path_(std::move(path)) {}
  FeedPipe(const FeedPipe&) = delete;
  FeedPipe& operator=(const FeedPipe&) = delete;
  FeedPipe(FeedPipe&&) = delete;
  FeedPipe& operator=(FeedPipe&&) = delete;
  // Closes the pipe; removes it if it was made here.
  ~FeedPipe();

  // Makes the pipe when nothing is at the path; refuses anything there but a pipe.
  bool Open(std::string& error);
  [[nodiscard]] int fd() const { return fd_; }
  // Takes what has been written; complete lines (without the line end) go to `lines`. A line
  // longer than kFeedLineCapacity comes out cut to that length, followed by the rest as its
  // own line, so whoever checks it refuses both.
  void Read(std::vector<std::string>& lines);

 private:
  std::string path_;
  int fd_ = -1;
  bool made_ = false;
  std::string partial_;
};

// A line of an inbox file or the feed as PDU text: blanks around it removed; empty for a blank
// line or a '#' comment.
std::string PduOfLine(std::string_view line);

}  // namespace brindle::sim
