// The record of one highscore submission: what the game handed over, the handle, the result
// box text, the open dialog and the link to the phone.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/text.h"
#include "dialog/dialog_window.h"
#include "phone/phone_link.h"

namespace brindle {

inline constexpr std::size_t kHandleCapacity = 16;
inline constexpr std::size_t kStatusCapacity = 256;
inline constexpr std::size_t kGameNameCapacity = 48;
inline constexpr std::size_t kMinHandleLength = 2;
inline constexpr std::size_t kMaxHandleLength = kHandleCapacity - 1;
inline constexpr std::u16string_view kDefaultPortName = u"COM3:";

// The text of a fixed field: up to its terminator, never past its end.
template <std::size_t N>
std::u16string_view FieldText(const char16_t (&field)[N]) {
  return TerminatedView(std::span<const char16_t>(field));
}

struct ScoreRequest {
  // `name` is NUL-terminated (null reads as empty); a longer name than the field holds is cut
  // to 47 characters.
  ScoreRequest(const char16_t* name, std::int32_t id, std::int32_t points,
               const LinkServices& services);
  ScoreRequest(const ScoreRequest&) = delete;
  ScoreRequest& operator=(const ScoreRequest&) = delete;
  ScoreRequest(ScoreRequest&&) = delete;
  ScoreRequest& operator=(ScoreRequest&&) = delete;
  ~ScoreRequest() = default;

  // true: boxes into the record; false: record into the boxes. Nothing without a dialog.
  void TransferText(bool fromDialog);
  int InitDialog(DialogWindow& window);
  int HandleCommand(DialogWindow& window, std::uint32_t message, std::uintptr_t wParam);
  void SendScore();

  std::int32_t gameId;
  std::int32_t score;
  char16_t handle[kHandleCapacity] = {};
  char16_t status[kStatusCapacity] = {};
  char16_t gameName[kGameNameCapacity] = {};
  DialogWindow* dialog = nullptr;
  PhoneLink link;
  // The port SendScore opens; the caller's text outlives the record.
  std::u16string_view portName = kDefaultPortName;
  // How the sends of this dialog went: the last one succeeded, or one failed.
  bool sent = false;
  bool sendFailed = false;
};

}  // namespace brindle
