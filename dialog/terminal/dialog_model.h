// Everything the terminal dialog shows: the placed controls, their texts, the focus, the
// title, the progress of a pause and an open message box.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "dialog/terminal/edit_text.h"
#include "dialog/terminal/layout.h"

namespace brindle::terminal {

inline constexpr std::size_t kTitleCapacity = 128;

struct DialogModel {
  const DialogTemplate* source = nullptr;
  DialogLayout layout;
  std::array<EditText, kMaxControls> items{};  // by index in the layout
  EditText title;
  std::size_t focus = kMaxControls;  // index in the layout; kMaxControls when none
  // A pause in progress: elapsed of total milliseconds; total 0 when none.
  std::uint32_t pauseElapsed = 0;
  std::uint32_t pauseTotal = 0;
};

struct MessageBoxView {
  std::u16string_view text;
  std::u16string_view caption;
};

}  // namespace brindle::terminal
