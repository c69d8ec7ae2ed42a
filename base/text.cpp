#include "base/text.h"

#include <algorithm>
#include <cstring>

namespace brindle {

char NarrowChar(char16_t c) { return c <= 0xFF ? static_cast<char>(c) : '?'; }

char16_t WidenChar(char c) { return static_cast<char16_t>(static_cast<unsigned char>(c)); }

std::size_t NarrowText(std::u16string_view text, std::span<char> out) {
  const std::size_t n = std::min(text.size(), out.size());
  std::transform(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n), out.begin(),
                 NarrowChar);
  return n;
}

std::size_t WidenText(std::string_view text, std::span<char16_t> out) {
  const std::size_t n = std::min(text.size(), out.size());
  std::transform(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n), out.begin(),
                 WidenChar);
  return n;
}

std::string_view TerminatedView(std::span<const char> buffer) {
  const auto* end = static_cast<const char*>(std::memchr(buffer.data(), '\0', buffer.size()));
  return {buffer.data(),
          end == nullptr ? buffer.size() : static_cast<std::size_t>(end - buffer.data())};
}

// Without substr, which can throw: the DLLs link this file and carry no exception machinery.
std::string_view TrimBlanks(std::string_view text) {
  constexpr std::string_view kBlank = " \t\r\n";
  text.remove_prefix(std::min(text.size(), text.find_first_not_of(kBlank)));
  text.remove_suffix(text.size() - (text.find_last_not_of(kBlank) + 1));
  return text;
}

std::u16string_view TerminatedView(std::span<const char16_t> buffer) {
  const auto end = std::find(buffer.begin(), buffer.end(), u'\0');
  return {buffer.data(), static_cast<std::size_t>(end - buffer.begin())};
}

std::u16string_view TerminatedView(const char16_t* text) {
  return text == nullptr ? std::u16string_view{} : std::u16string_view{text};
}

namespace {

template <typename Char>
std::size_t CopyAt(std::basic_string_view<Char> text, std::span<Char> buffer, std::size_t at) {
  if (buffer.empty() || at >= buffer.size()) {
    return 0;
  }
  const std::size_t n = std::min(text.size(), buffer.size() - 1 - at);
  std::copy_n(text.begin(), n, buffer.begin() + static_cast<std::ptrdiff_t>(at));
  buffer[at + n] = Char{};
  return n;
}

}  // namespace

std::size_t CopyText(std::u16string_view text, std::span<char16_t> buffer) {
  return CopyAt(text, buffer, 0);
}

std::size_t CopyText(std::string_view text, std::span<char> buffer) {
  return CopyAt(text, buffer, 0);
}

std::size_t AppendText(std::u16string_view text, std::span<char16_t> buffer) {
  return CopyAt(text, buffer, TerminatedView(std::span<const char16_t>(buffer)).size());
}

std::size_t AppendText(std::string_view text, std::span<char> buffer) {
  return CopyAt(text, buffer, TerminatedView(std::span<const char>(buffer)).size());
}

}  // namespace brindle
