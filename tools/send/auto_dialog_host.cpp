#include "tools/send/auto_dialog_host.h"

#include <array>
#include <string>

#include "base/text.h"
#include "base/utf8.h"
#include "dialog/dialog_template.h"

namespace brindle::tools {
namespace {

constexpr std::size_t kItemCapacity = 512;

struct Item {
  int id = 0;
  std::array<char16_t, kItemCapacity> text{};

  [[nodiscard]] std::u16string_view Text() const {
    return TerminatedView(std::span<const char16_t>(text));
  }
};

void PrintText(std::u16string_view text, std::FILE* out) {
  std::array<char, kItemCapacity> narrow{};
  const std::size_t length = NarrowText(text.substr(0, narrow.size()), narrow);
  const std::string utf8 = Latin1ToUtf8({narrow.data(), length});
  static_cast<void>(std::fwrite(utf8.data(), 1, utf8.size(), out));
}

void PrintBox(std::u16string_view text, std::u16string_view caption, std::FILE* out) {
  static_cast<void>(std::fputc('[', out));
  PrintText(caption, out);
  static_cast<void>(std::fputs("] ", out));
  PrintText(text, out);
  static_cast<void>(std::fputc('\n', out));
  static_cast<void>(std::fflush(out));
}

class AutoWindow final : public DialogWindow {
 public:
  explicit AutoWindow(std::FILE* out) : out_(out) {}

  std::size_t GetItemText(int id, std::span<char16_t> out) override {
    const Item* item = Find(id);
    return CopyText(item != nullptr ? item->Text() : std::u16string_view{}, out);
  }
  void SetItemText(int id, std::u16string_view text) override {
    Item* item = Find(id);
    if (item == nullptr) {
      return;
    }
    const std::u16string_view before = item->Text();
    if (id == IDC_RESULT && text != before) {
      // Progress lines are appended; anything else replaces the box and is shown whole.
      const bool appended = !before.empty() && text.starts_with(before);
      PrintLines(appended ? text.substr(before.size()) : text, out_);
    }
    CopyText(text, item->text);
  }
  void LimitText(int /*id*/, std::uint32_t /*limit*/) override {}
  void Repaint() override {}
  void SetTitle(std::u16string_view /*title*/) override {}
  void End(std::intptr_t result) override {
    ended_ = true;
    result_ = result;
  }
  void ShowMessage(std::u16string_view text, std::u16string_view caption,
                   std::uint32_t /*style*/) override {
    PrintBox(text, caption, out_);
  }

  [[nodiscard]] bool Ended() const { return ended_; }
  [[nodiscard]] std::intptr_t Result() const { return result_; }

 private:
  Item* Find(int id) {
    for (Item& item : items_) {
      if (item.id == id) {
        return &item;
      }
    }
    return nullptr;
  }

  std::FILE* out_;
  std::array<Item, 3> items_ = {Item{IDC_HANDLE}, Item{IDC_SCORE}, Item{IDC_RESULT}};
  bool ended_ = false;
  std::intptr_t result_ = 0;
};

void Press(DialogProc proc, AutoWindow& window, int id) {
  proc(window, kWmCommand, static_cast<std::uintptr_t>(id), 0);
}

}  // namespace

void PrintLines(std::u16string_view text, std::FILE* out) {
  while (!text.empty()) {
    const std::size_t end = text.find(u"\r\n");
    PrintText(text.substr(0, end), out);
    static_cast<void>(std::fputc('\n', out));
    text = end == std::u16string_view::npos ? std::u16string_view{} : text.substr(end + 2);
  }
  static_cast<void>(std::fflush(out));
}

std::intptr_t AutoDialogHost::RunModal(int /*templateId*/, void* /*parentWindow*/,
                                       DialogProc proc) {
  AutoWindow window(out_);
  proc(window, kWmInitDialog, 0, 0);
  if (!handle_.empty()) {
    window.SetItemText(IDC_HANDLE, handle_);
  }
  Press(proc, window, IDC_SEND);
  if (!window.Ended()) {
    Press(proc, window, IDCANCEL);
  }
  return window.Ended() ? window.Result() : -1;
}

void AutoDialogHost::ShowMessage(std::u16string_view text, std::u16string_view caption,
                                 std::uint32_t /*style*/) {
  PrintBox(text, caption, out_);
}

}  // namespace brindle::tools
