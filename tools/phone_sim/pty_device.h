// The simulator's end of a pseudo-terminal. The master is the phone's side of the line; one
// descriptor of the slave stays open for the whole life of the pair, so that its raw settings
// stick and the program under test can open and close the slave as often as it likes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace brindle::sim {

class PtyDevice {
 public:
  PtyDevice() = default;
  PtyDevice(const PtyDevice&) = delete;
  PtyDevice& operator=(const PtyDevice&) = delete;
  PtyDevice(PtyDevice&&) = delete;
  PtyDevice& operator=(PtyDevice&&) = delete;
  ~PtyDevice();

  // A new pair, slave raw at 115200 8N1, master non-blocking. On failure `error` says why.
  bool Open(std::string& error);
  // Drops the line: whoever has the slave open sees a hangup.
  void Close();

  [[nodiscard]] bool isOpen() const { return master_ >= 0; }
  [[nodiscard]] int master() const { return master_; }
  [[nodiscard]] const std::string& slavePath() const { return slavePath_; }

  // Bytes the program sent, at most `capacity`; 0 when there are none. -1 on a read error
  // other than "nothing there".
  long Read(char* buffer, std::size_t capacity) const;
  // Writes what the line takes now; returns the number of bytes written (0 when full).
  [[nodiscard]] std::size_t Write(std::string_view bytes) const;
  // Bytes written to the line that the program has not read yet.
  [[nodiscard]] std::size_t Unread() const;

 private:
  int master_ = -1;
  int keptSlave_ = -1;
  std::string slavePath_;
};

}  // namespace brindle::sim
