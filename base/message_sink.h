// Message boxes with no owner window: how port set-up failures reach the player.
#pragma once

#include <cstdint>
#include <string_view>

namespace brindle {

inline constexpr std::uint32_t kMbOk = 0x0;
inline constexpr std::uint32_t kMbIconInformation = 0x40;

class MessageSink {
 public:
  MessageSink() = default;
  MessageSink(const MessageSink&) = delete;
  MessageSink& operator=(const MessageSink&) = delete;
  MessageSink(MessageSink&&) = delete;
  MessageSink& operator=(MessageSink&&) = delete;
  virtual ~MessageSink() = default;
  // Shows the box and returns when the player has dismissed it.
  virtual void ShowMessage(std::u16string_view text, std::u16string_view caption,
                           std::uint32_t style) = 0;
};

}  // namespace brindle
