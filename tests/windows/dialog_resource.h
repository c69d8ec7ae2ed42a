// Reads a classic DLGTEMPLATE (what a DIALOG statement compiles to) back into plain values.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace brindle::pe {

struct DialogItem {
  std::uint32_t style = 0;
  std::uint32_t exStyle = 0;
  std::int16_t x = 0, y = 0, cx = 0, cy = 0;
  std::uint16_t id = 0;
  std::u16string className;  // predefined atoms spelled as their class names
  std::u16string text;
  std::uint16_t extraBytes = 0;
};

struct DialogResource {
  std::uint32_t style = 0;
  std::uint32_t exStyle = 0;
  std::int16_t x = 0, y = 0, cx = 0, cy = 0;
  std::u16string menu;
  std::u16string className;
  std::u16string title;
  std::uint16_t pointSize = 0;
  std::u16string font;
  std::vector<DialogItem> items;
};

// Empty when the bytes are not a whole classic template; `error` says where it stopped.
std::optional<DialogResource> ParseDialog(std::span<const std::uint8_t> bytes, std::string& error);

}  // namespace brindle::pe
