// A message sink for tests: it records every box and returns at once, as if the player had
// pressed OK.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/message_sink.h"

namespace brindle {

struct ShownMessage {
  std::u16string text;
  std::u16string caption;
  std::uint32_t style = 0;
};

class RecordingMessageSink final : public MessageSink {
 public:
  void ShowMessage(std::u16string_view text, std::u16string_view caption,
                   std::uint32_t style) override {
    messages_.push_back({std::u16string(text), std::u16string(caption), style});
  }
  [[nodiscard]] const std::vector<ShownMessage>& Messages() const { return messages_; }

 private:
  std::vector<ShownMessage> messages_;
};

}  // namespace brindle
