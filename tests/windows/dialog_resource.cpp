#include "dialog_resource.h"

namespace brindle::pe {
namespace {

constexpr std::uint32_t kDsSetFont = 0x40;

class Cursor {
 public:
  explicit Cursor(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  bool ok() const { return ok_; }
  std::size_t position() const { return position_; }

  std::uint16_t Word() {
    if (position_ + 2 > bytes_.size()) {
      ok_ = false;
      return 0;
    }
    const auto value = static_cast<std::uint16_t>(bytes_[position_] | (bytes_[position_ + 1] << 8));
    position_ += 2;
    return value;
  }
  std::int16_t Short() { return static_cast<std::int16_t>(Word()); }
  std::uint32_t Dword() {
    const std::uint32_t low = Word();
    return low | (static_cast<std::uint32_t>(Word()) << 16);
  }
  std::u16string String() {
    std::u16string text;
    for (std::uint16_t c = Word(); ok_ && c != 0; c = Word()) {
      text.push_back(static_cast<char16_t>(c));
    }
    return text;
  }
  // sz_Or_Ord: 0 (none), 0xFFFF and a number, or a string.
  std::u16string StringOrOrdinal() {
    if (position_ + 2 <= bytes_.size() && bytes_[position_] == 0xFF &&
        bytes_[position_ + 1] == 0xFF) {
      Word();
      return AtomName(Word());
    }
    return String();
  }
  void AlignDword() { position_ = (position_ + 3) & ~std::size_t{3}; }
  void Skip(std::size_t count) {
    if (position_ + count > bytes_.size()) {
      ok_ = false;
    }
    position_ += count;
  }

 private:
  static std::u16string AtomName(std::uint16_t atom) {
    switch (atom) {
      case 0x80:
        return u"BUTTON";
      case 0x81:
        return u"EDIT";
      case 0x82:
        return u"STATIC";
      case 0x83:
        return u"LISTBOX";
      case 0x84:
        return u"SCROLLBAR";
      case 0x85:
        return u"COMBOBOX";
      default:
        return u"#" + std::u16string(1, static_cast<char16_t>(atom));
    }
  }

  std::span<const std::uint8_t> bytes_;
  std::size_t position_ = 0;
  bool ok_ = true;
};

}  // namespace

std::optional<DialogResource> ParseDialog(std::span<const std::uint8_t> bytes, std::string& error) {
  Cursor in(bytes);
  DialogResource dialog;
  dialog.style = in.Dword();
  if (bytes.size() >= 4 && bytes[0] == 1 && bytes[1] == 0 && bytes[2] == 0xFF && bytes[3] == 0xFF) {
    error = "extended template (DLGTEMPLATEEX), expected the classic one";
    return std::nullopt;
  }
  dialog.exStyle = in.Dword();
  const std::uint16_t count = in.Word();
  dialog.x = in.Short();
  dialog.y = in.Short();
  dialog.cx = in.Short();
  dialog.cy = in.Short();
  dialog.menu = in.StringOrOrdinal();
  dialog.className = in.StringOrOrdinal();
  dialog.title = in.String();
  if ((dialog.style & kDsSetFont) != 0) {
    dialog.pointSize = in.Word();
    dialog.font = in.String();
  }
  for (std::uint16_t i = 0; i < count && in.ok(); ++i) {
    in.AlignDword();
    DialogItem item;
    item.style = in.Dword();
    item.exStyle = in.Dword();
    item.x = in.Short();
    item.y = in.Short();
    item.cx = in.Short();
    item.cy = in.Short();
    item.id = in.Word();
    item.className = in.StringOrOrdinal();
    item.text = in.StringOrOrdinal();
    item.extraBytes = in.Word();
    in.Skip(item.extraBytes);
    dialog.items.push_back(std::move(item));
  }
  if (!in.ok()) {
    error = "template ends early, at byte " + std::to_string(in.position());
    return std::nullopt;
  }
  return dialog;
}

}  // namespace brindle::pe
