#include "dialog/testing/scripted_dialog_host.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "dialog/dialog_template.h"

namespace brindle {
namespace {

DialogEvent Event(DialogEvent::Kind kind) {
  DialogEvent event;
  event.kind = kind;
  return event;
}

DialogEvent Box(std::u16string_view text, std::u16string_view caption, std::uint32_t style,
                bool owned) {
  DialogEvent event = Event(DialogEvent::Kind::kMessageBox);
  event.text = text;
  event.caption = caption;
  event.value = style;
  event.owned = owned;
  return event;
}

}  // namespace

void DialogLog::Add(DialogEvent event) {
  events.push_back(std::move(event));
  if (events.back().kind == DialogEvent::Kind::kMessageBox && onMessageBox) {
    // A copy: the hook may show more and so grow the log.
    const DialogEvent box = events.back();
    onMessageBox(box);
  }
}

PlayerAction PlayerAction::Type(int id, std::u16string text) {
  PlayerAction action;
  action.kind = Kind::kType;
  action.id = id;
  action.text = std::move(text);
  return action;
}

PlayerAction PlayerAction::Clear(int id) {
  PlayerAction action;
  action.kind = Kind::kClear;
  action.id = id;
  return action;
}

PlayerAction PlayerAction::Press(int id, std::uint16_t notification) {
  PlayerAction action;
  action.kind = Kind::kCommand;
  action.id = id;
  action.notification = notification;
  return action;
}

PlayerAction PlayerAction::Run(std::function<void(FakeDialogWindow&)> code) {
  PlayerAction action;
  action.kind = Kind::kRun;
  action.code = std::move(code);
  return action;
}

std::size_t FakeDialogWindow::GetItemText(int id, std::span<char16_t> out) {
  if (out.empty()) {
    return 0;
  }
  const std::u16string text = Text(id);
  const std::size_t n = std::min(text.size(), out.size() - 1);
  std::copy_n(text.begin(), n, out.begin());
  out[n] = u'\0';
  return n;
}

void FakeDialogWindow::SetItemText(int id, std::u16string_view text) {
  texts_[id] = std::u16string(text);
  DialogEvent event = Event(DialogEvent::Kind::kSetItemText);
  event.id = id;
  event.text = texts_[id];
  log_->Add(std::move(event));
}

void FakeDialogWindow::LimitText(int id, std::uint32_t limit) {
  limits_[id] = limit;
  DialogEvent event = Event(DialogEvent::Kind::kLimitText);
  event.id = id;
  event.value = limit;
  log_->Add(std::move(event));
}

void FakeDialogWindow::Repaint() {
  DialogEvent event = Event(DialogEvent::Kind::kRepaint);
  event.text = Text(IDC_RESULT);
  log_->Add(std::move(event));
}

void FakeDialogWindow::SetTitle(std::u16string_view title) {
  title_ = title;
  DialogEvent event = Event(DialogEvent::Kind::kSetTitle);
  event.text = title_;
  log_->Add(std::move(event));
}

void FakeDialogWindow::End(std::intptr_t result) {
  ended_ = true;
  result_ = result;
  DialogEvent event = Event(DialogEvent::Kind::kEnd);
  event.result = result;
  log_->Add(std::move(event));
}

void FakeDialogWindow::ShowMessage(std::u16string_view text, std::u16string_view caption,
                                   std::uint32_t style) {
  log_->Add(Box(text, caption, style, true));
}

void FakeDialogWindow::Type(int id, std::u16string_view text) {
  std::u16string& box = texts_[id];
  const std::size_t limit = Limit(id);
  const std::size_t room = box.size() < limit ? limit - box.size() : 0;
  box.append(text.substr(0, room));
}

void FakeDialogWindow::Clear(int id) { texts_[id].clear(); }

std::u16string FakeDialogWindow::Text(int id) const {
  const auto it = texts_.find(id);
  return it == texts_.end() ? std::u16string() : it->second;
}

std::uint32_t FakeDialogWindow::Limit(int id) const {
  const auto it = limits_.find(id);
  return it == limits_.end() ? kDefaultTextLimit : it->second;
}

void ScriptedDialogHost::QueueRun(std::vector<PlayerAction> actions) {
  scripts_.push_back(std::move(actions));
}

std::intptr_t ScriptedDialogHost::RunModal(int templateId, void* parentWindow, DialogProc proc) {
  std::vector<PlayerAction> script;
  if (!scripts_.empty()) {
    script = std::move(scripts_.front());
    scripts_.pop_front();
  }
  ModalRun run;
  run.templateId = templateId;
  run.parentWindow = parentWindow;
  FakeDialogWindow window(log);
  run.initResult = proc(window, kWmInitDialog, 0, 0);
  for (PlayerAction& action : script) {
    if (window.ended()) {
      break;
    }
    switch (action.kind) {
      case PlayerAction::Kind::kType:
        window.Type(action.id, action.text);
        break;
      case PlayerAction::Kind::kClear:
        window.Clear(action.id);
        break;
      case PlayerAction::Kind::kCommand: {
        const auto wParam =
            static_cast<std::uintptr_t>((static_cast<std::uint32_t>(action.notification) << 16U) |
                                        (static_cast<std::uint32_t>(action.id) & 0xFFFFU));
        run.commandResults.push_back(proc(window, kWmCommand, wParam, 0));
        break;
      }
      case PlayerAction::Kind::kRun:
        action.code(window);
        break;
    }
  }
  if (window.ended()) {
    run.result = window.result();
  }
  run.title = window.title();
  for (const int id : {IDC_HANDLE, IDC_SCORE, IDC_RESULT}) {
    run.finalTexts[id] = window.Text(id);
  }
  runs.push_back(std::move(run));
  return runs.back().result;
}

void ScriptedDialogHost::ShowMessage(std::u16string_view text, std::u16string_view caption,
                                     std::uint32_t style) {
  log.Add(Box(text, caption, style, false));
}

std::vector<std::u16string> ScriptedDialogHost::RepaintedResults() const {
  std::vector<std::u16string> texts;
  for (const DialogEvent& event : log.events) {
    if (event.kind == DialogEvent::Kind::kRepaint) {
      texts.push_back(event.text);
    }
  }
  return texts;
}

std::vector<DialogEvent> ScriptedDialogHost::Boxes() const {
  std::vector<DialogEvent> boxes;
  std::copy_if(log.events.begin(), log.events.end(), std::back_inserter(boxes),
               [](const DialogEvent& e) { return e.kind == DialogEvent::Kind::kMessageBox; });
  return boxes;
}

}  // namespace brindle
