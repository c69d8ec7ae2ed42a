// A dialog host for tests: runs a modal dialog by calling its procedure with kWmInitDialog and
// then with the player's scripted actions, and logs what the procedure shows.
//
//   ScriptedDialogHost host;
//   host.QueueRun({PlayerAction::Type(IDC_HANDLE, u"Ann"), PlayerAction::Press(IDC_SEND)});
//   RunHighScore(u"Comet Quarry", 1, 100, nullptr, Platform{&host, &port, &sleeper});
//   host.log.events -> every repaint (with the result box's text), End and box, in order
//   host.runs[0]    -> how the first modal run went
//
// A run stops at the first End (the actions after it are not played, as a real dialog has
// gone by then) or when its script runs out, and then returns kScriptRanOut. Boxes return at
// once, as if the player pressed OK.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dialog/dialog_window.h"

namespace brindle {

inline constexpr std::intptr_t kScriptRanOut = 0x7EADBEEF;

class FakeDialogWindow;

struct PlayerAction {
  enum class Kind { kType, kClear, kCommand, kRun };

  // Types at the end of box `id`; what goes beyond the box's text limit is lost.
  static PlayerAction Type(int id, std::u16string text) {
    return {Kind::kType, id, 0, std::move(text), {}};
  }
  static PlayerAction Clear(int id) { return {Kind::kClear, id, 0, {}, {}}; }
  // kWmCommand with `id` in the low word of wParam and `notification` in the high word.
  static PlayerAction Press(int id, std::uint16_t notification = 0) {
    return {Kind::kCommand, id, notification, {}, {}};
  }
  // Test code run inside the modal loop (a re-entrant call, say).
  static PlayerAction Run(std::function<void(FakeDialogWindow&)> code) {
    return {Kind::kRun, 0, 0, {}, std::move(code)};
  }

  Kind kind;
  int id;
  std::uint16_t notification;
  std::u16string text;
  std::function<void(FakeDialogWindow&)> code;
};

struct DialogEvent {
  enum class Kind { kRepaint, kEnd, kMessageBox };

  Kind kind = Kind::kRepaint;
  std::u16string text{};     // kRepaint: the result box's text; kMessageBox: the box's
  std::u16string caption{};  // kMessageBox
  std::uint32_t style = 0;   // kMessageBox
  bool owned = false;        // kMessageBox: owned by the dialog
};

struct DialogLog {
  std::vector<DialogEvent> events;
  // Called as each box is shown, before it returns.
  std::function<void()> onMessageBox;

  void Add(DialogEvent event);
};

// How one modal run went.
struct ModalRun {
  int templateId = 0;
  void* parentWindow = nullptr;
  std::intptr_t initResult = 0;
  std::vector<std::intptr_t> commandResults;  // the procedure's answer to each command
  std::intptr_t result = kScriptRanOut;
  std::u16string title;
  std::map<int, std::uint32_t> limits;
  std::map<int, std::u16string> texts;
};

// One open dialog: its boxes live in a run record, its events go to a log.
class FakeDialogWindow final : public DialogWindow {
 public:
  FakeDialogWindow(DialogLog& log, ModalRun& run) : log_(&log), run_(&run) {}

  std::size_t GetItemText(int id, std::span<char16_t> out) override;
  void SetItemText(int id, std::u16string_view text) override { run_->texts[id] = text; }
  void LimitText(int id, std::uint32_t limit) override { run_->limits[id] = limit; }
  void Repaint() override;
  void SetTitle(std::u16string_view text) override { run_->title = text; }
  void End(std::intptr_t result) override;
  void ShowMessage(std::u16string_view text, std::u16string_view caption,
                   std::uint32_t style) override;

  void Type(int id, std::u16string_view text);
  [[nodiscard]] std::u16string Text(int id) const;
  [[nodiscard]] bool Ended() const { return ended_; }

 private:
  DialogLog* log_;
  ModalRun* run_;
  bool ended_ = false;
};

class ScriptedDialogHost final : public DialogHost {
 public:
  // The player's actions for the next modal run; runs without a queued script get none.
  void QueueRun(std::vector<PlayerAction> actions) { scripts_.push_back(std::move(actions)); }
  std::intptr_t RunModal(int templateId, void* parentWindow, DialogProc proc) override;
  // A box with no owner window.
  void ShowMessage(std::u16string_view text, std::u16string_view caption,
                   std::uint32_t style) override;

  DialogLog log;
  std::vector<ModalRun> runs;

 private:
  std::deque<std::vector<PlayerAction>> scripts_;
};

}  // namespace brindle
