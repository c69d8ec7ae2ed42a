// A dialog host for tests: runs a modal dialog by calling its procedure with kWmInitDialog and
// then with the player's scripted actions, and records everything the procedure shows.
//
//   ScriptedDialogHost host;
//   host.QueueRun({PlayerAction::Type(IDC_HANDLE, u"ACE"), PlayerAction::Press(IDC_SEND)});
//   RunHighScore(u"Quarry", 1, 100, nullptr, Platform{&host, &port, &sleeper});
//   host.log.events -> every SetItemText, LimitText, Repaint, title, End and box, in order
//   host.runs[0]   -> how the first modal run went (result, title, box texts at its end)
//
// Each RunModal takes the next queued script; the run stops at the first End (the actions
// after it are not played, as a real dialog has gone by then) or when the script runs out,
// and then returns kScriptRanOut. Boxes return at once, as if the player pressed OK.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "dialog/dialog_window.h"

namespace brindle {

inline constexpr std::uint16_t kBnClicked = 0;
inline constexpr std::uint16_t kEnChange = 0x300;
inline constexpr std::uint16_t kEnSetFocus = 0x100;
// What RunModal returns when the script ends while the dialog is still open.
inline constexpr std::intptr_t kScriptRanOut = 0x7EADBEEF;
// An edit box without EM_LIMITTEXT takes this many characters, as a Win32 edit box does.
inline constexpr std::uint32_t kDefaultTextLimit = 30000;

class FakeDialogWindow;

struct PlayerAction {
  enum class Kind { kType, kClear, kCommand, kRun };

  // Types `text` at the end of box `id`; characters beyond the box's text limit are lost.
  static PlayerAction Type(int id, std::u16string text);
  // Empties box `id`.
  static PlayerAction Clear(int id);
  // kWmCommand with `id` in the low word of wParam and `notification` in the high word.
  static PlayerAction Press(int id, std::uint16_t notification = kBnClicked);
  // Runs test code inside the modal loop (for example a re-entrant call from the host).
  static PlayerAction Run(std::function<void(FakeDialogWindow&)> code);

  Kind kind = Kind::kCommand;
  int id = 0;
  std::uint16_t notification = kBnClicked;
  std::u16string text;
  std::function<void(FakeDialogWindow&)> code;
};

struct DialogEvent {
  enum class Kind { kLimitText, kSetItemText, kRepaint, kSetTitle, kEnd, kMessageBox };

  Kind kind = Kind::kRepaint;
  int id = 0;               // kLimitText, kSetItemText
  std::u16string text;      // kSetItemText, kSetTitle, kMessageBox; kRepaint: the result box's text
  std::u16string caption;   // kMessageBox
  std::uint32_t value = 0;  // kLimitText: the limit; kMessageBox: the style
  std::intptr_t result = 0;  // kEnd
  bool owned = false;        // kMessageBox: owned by the dialog (true) or ownerless (false)
};

// What dialogs show, in order: the events of every window and every box, owned or not.
struct DialogLog {
  std::vector<DialogEvent> events;
  // Called as each box is shown, before it returns: to look at the world at that moment.
  std::function<void(const DialogEvent&)> onMessageBox;

  void Add(DialogEvent event);
};

// One open dialog: holds the boxes' texts and limits and writes its events into a log.
class FakeDialogWindow final : public DialogWindow {
 public:
  // Events go to `log`, which must outlive the window.
  explicit FakeDialogWindow(DialogLog& log) : log_(&log) {}
  // Events go to the window's own log, events().
  FakeDialogWindow() : log_(&ownLog_) {}

  std::size_t GetItemText(int id, std::span<char16_t> out) override;
  void SetItemText(int id, std::u16string_view text) override;
  void LimitText(int id, std::uint32_t limit) override;
  void Repaint() override;
  void SetTitle(std::u16string_view title) override;
  void End(std::intptr_t result) override;
  void ShowMessage(std::u16string_view text, std::u16string_view caption,
                   std::uint32_t style) override;

  // The player's edits, honouring the box's text limit.
  void Type(int id, std::u16string_view text);
  void Clear(int id);

  [[nodiscard]] std::u16string Text(int id) const;
  [[nodiscard]] std::uint32_t Limit(int id) const;
  [[nodiscard]] const std::u16string& title() const { return title_; }
  [[nodiscard]] bool ended() const { return ended_; }
  [[nodiscard]] std::intptr_t result() const { return result_; }
  [[nodiscard]] const std::vector<DialogEvent>& events() const { return log_->events; }

 private:
  DialogLog ownLog_;
  DialogLog* log_;
  std::map<int, std::u16string> texts_;
  std::map<int, std::uint32_t> limits_;
  std::u16string title_;
  bool ended_ = false;
  std::intptr_t result_ = 0;
};

// How one modal run went.
struct ModalRun {
  int templateId = 0;
  void* parentWindow = nullptr;
  std::intptr_t initResult = 0;
  std::vector<std::intptr_t> commandResults;  // the procedure's result for each command
  std::intptr_t result = kScriptRanOut;
  std::u16string title;
  std::map<int, std::u16string> finalTexts;  // IDC_HANDLE, IDC_SCORE, IDC_RESULT at the end
};

class ScriptedDialogHost final : public DialogHost {
 public:
  // The player's actions for the next modal run; runs without a queued script get none.
  void QueueRun(std::vector<PlayerAction> actions);

  std::intptr_t RunModal(int templateId, void* parentWindow, DialogProc proc) override;
  // A box with no owner window.
  void ShowMessage(std::u16string_view text, std::u16string_view caption,
                   std::uint32_t style) override;

  // Filters of `log`.
  [[nodiscard]] std::vector<std::u16string> RepaintedResults() const;
  [[nodiscard]] std::vector<DialogEvent> Boxes() const;

  DialogLog log;
  std::vector<ModalRun> runs;

 private:
  std::deque<std::vector<PlayerAction>> scripts_;
};

}  // namespace brindle
