#include "dialog/terminal/terminal_dialog_host.h"

#include <array>

#include "base/text.h"
#include "dialog/terminal/draw.h"
#include "dialog/terminal/keys.h"

namespace brindle::terminal {
namespace {

constexpr std::uintptr_t kBnClicked = 0;

}  // namespace

// The open dialog: what the dialog procedure talks to.
class TerminalDialogHost::Window final : public DialogWindow {
 public:
  Window(const DialogTemplate& source, TerminalScreen& screen) : screen_(screen) {
    model_.source = &source;
    model_.title.Set(source.title);
    Layout();
    for (std::size_t i = 0; i < model_.layout.count; ++i) {
      model_.items.at(i).Set(model_.layout.controls.at(i).source->text);
    }
  }

  std::size_t GetItemText(int id, std::span<char16_t> out) override {
    const EditText* item = Find(id);
    return CopyText(item != nullptr ? item->Text() : std::u16string_view{}, out);
  }
  void SetItemText(int id, std::u16string_view text) override {
    if (EditText* item = Find(id)) {
      item->Set(text);
    }
  }
  void LimitText(int id, std::uint32_t limit) override {
    if (EditText* item = Find(id)) {
      item->SetLimit(limit);
    }
  }
  void Repaint() override { Draw(); }
  void SetTitle(std::u16string_view title) override { model_.title.Set(title); }
  void End(std::intptr_t result) override {
    ended_ = true;
    result_ = result;
  }
  void ShowMessage(std::u16string_view text, std::u16string_view caption,
                   std::uint32_t /*style*/) override {
    const MessageBoxView box{text, caption};
    screen_.DropPendingKeys();
    DrawScreen(model_, &box);
    KeyPress key;
    while (screen_.ReadKey(key)) {
      const KeyAction action = MapKey(key.isFunctionKey, key.code).action;
      if (action == KeyAction::kResize) {
        Layout();
        DrawScreen(model_, &box);
      } else if (action == KeyAction::kEnter || action == KeyAction::kSpace ||
                 action == KeyAction::kCancel) {
        break;
      }
    }
    Draw();
  }

  void ShowPause(std::uint32_t elapsed, std::uint32_t total) {
    model_.pauseElapsed = elapsed;
    model_.pauseTotal = total;
    Draw();
  }

  std::intptr_t Run(DialogProc proc) {
    // The dialog manager focuses the first control that takes it after WM_INITDIALOG.
    proc(*this, kWmInitDialog, 0, 0);
    Focus(NextTabStop(model_.layout, model_.layout.count, false));
    Draw();
    KeyPress key;
    while (!ended_) {
      if (!screen_.ReadKey(key)) {
        // The terminal has gone: leave as Cancel would.
        Command(proc, IDCANCEL);
        if (!ended_) {
          End(-1);
        }
        break;
      }
      Handle(proc, MapKey(key.isFunctionKey, key.code));
      Draw();
    }
    return result_;
  }

 private:
  void Layout() { model_.layout = LayoutDialog(*model_.source, screen_.Lines(), screen_.Cols()); }
  void Draw() { DrawScreen(model_, nullptr); }

  EditText* Find(int id) {
    for (std::size_t i = 0; i < model_.layout.count; ++i) {
      if (model_.layout.controls.at(i).source->id == id) {
        return &model_.items.at(i);
      }
    }
    return nullptr;
  }

  void Focus(std::size_t index) {
    model_.focus = index;
    if (index < model_.layout.count) {
      const ControlKind kind = model_.layout.controls.at(index).kind;
      if (kind == ControlKind::kEdit || kind == ControlKind::kMultiLineEdit) {
        // Focusing a box by keyboard selects its text, so typing replaces it.
        model_.items.at(index).End();
        model_.items.at(index).SelectAll();
      }
    }
  }

  [[nodiscard]] const PlacedControl* Focused() const {
    return model_.focus < model_.layout.count ? &model_.layout.controls.at(model_.focus) : nullptr;
  }

  void Command(DialogProc proc, int id) {
    proc(*this, kWmCommand, static_cast<std::uintptr_t>(id) | (kBnClicked << 16U), 0);
  }

  void Handle(DialogProc proc, const KeyEvent& key) {
    const PlacedControl* focused = Focused();
    const bool onButton = focused != nullptr && (focused->kind == ControlKind::kPushButton ||
                                                 focused->kind == ControlKind::kDefaultButton);
    EditText* edit = (focused != nullptr && !onButton) ? &model_.items.at(model_.focus) : nullptr;
    switch (key.action) {
      case KeyAction::kNextControl:
      case KeyAction::kPreviousControl:
        Focus(NextTabStop(model_.layout, model_.focus, key.action == KeyAction::kPreviousControl));
        break;
      case KeyAction::kEnter:
        Command(proc, onButton ? focused->source->id : DefaultButton());
        break;
      case KeyAction::kCancel:
        Command(proc, IDCANCEL);
        break;
      case KeyAction::kSpace:
      case KeyAction::kType:
        if (onButton && key.action == KeyAction::kSpace) {
          Command(proc, focused->source->id);
        } else if (edit != nullptr) {
          edit->Insert(key.character);
        }
        break;
      case KeyAction::kResize:
        Layout();
        break;
      default:
        if (edit != nullptr) {
          Edit(*edit, key.action);
        }
        break;
    }
  }

  static void Edit(EditText& edit, KeyAction action) {
    switch (action) {
      case KeyAction::kBackspace:
        edit.Backspace();
        break;
      case KeyAction::kDelete:
        edit.Delete();
        break;
      case KeyAction::kLeft:
        edit.Left();
        break;
      case KeyAction::kRight:
        edit.Right();
        break;
      case KeyAction::kHome:
        edit.Home();
        break;
      case KeyAction::kEnd:
        edit.End();
        break;
      default:
        break;
    }
  }

  [[nodiscard]] int DefaultButton() const {
    for (const PlacedControl& control : model_.layout.Controls()) {
      if (control.kind == ControlKind::kDefaultButton && control.visible) {
        return control.source->id;
      }
    }
    return IDOK;
  }

  TerminalScreen& screen_;
  DialogModel model_;
  bool ended_ = false;
  std::intptr_t result_ = 0;
};

TerminalDialogHost::TerminalDialogHost(const DialogTemplate& dialog, std::FILE* input,
                                       std::FILE* output)
    : dialog_(dialog), input_(input), output_(output) {}

std::intptr_t TerminalDialogHost::RunModal(int templateId, void* /*parentWindow*/,
                                           DialogProc proc) {
  if (templateId != IDD_SENDHIGHSCORE || proc == nullptr) {
    static_cast<void>(std::fprintf(stderr, "brindle: no dialog template %d\n", templateId));
    return -1;
  }
  if (window_ != nullptr) {
    static_cast<void>(std::fputs("brindle: a dialog is already open\n", stderr));
    return -1;
  }
  TerminalScreen screen(input_, output_);
  if (!screen.Open()) {
    return -1;
  }
  Window window(dialog_, screen);
  window_ = &window;
  const std::intptr_t result = window.Run(proc);
  window_ = nullptr;
  return result;
}

void TerminalDialogHost::ShowMessage(std::u16string_view text, std::u16string_view caption,
                                     std::uint32_t style) {
  if (window_ != nullptr) {
    window_->ShowMessage(text, caption, style);
    return;
  }
  std::array<char, kItemTextCapacity> narrowCaption{};
  std::array<char, kItemTextCapacity> narrowText{};
  const std::size_t captionLength = NarrowText(caption, narrowCaption);
  const std::size_t textLength = NarrowText(text, narrowText);
  static_cast<void>(std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(captionLength),
                                 narrowCaption.data(), static_cast<int>(textLength),
                                 narrowText.data()));
}

void TerminalDialogHost::ShowPause(std::uint32_t elapsed, std::uint32_t total) {
  if (window_ != nullptr) {
    window_->ShowPause(elapsed, total);
  }
}

}  // namespace brindle::terminal
