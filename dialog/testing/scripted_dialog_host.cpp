#include "dialog/testing/scripted_dialog_host.h"

#include <utility>

#include "dialog/dialog_template.h"

namespace brindle {

void DialogLog::Add(DialogEvent event) {
  events.push_back(std::move(event));
  if (events.back().kind == DialogEvent::Kind::kMessageBox && onMessageBox) {
    onMessageBox();
  }
}

std::size_t FakeDialogWindow::GetItemText(int id, std::span<char16_t> out) {
  const std::size_t n = Text(id).copy(out.data(), out.size() - 1);
  out[n] = u'\0';
  return n;
}

void FakeDialogWindow::Repaint() {
  log_->Add({.kind = DialogEvent::Kind::kRepaint, .text = Text(IDC_RESULT)});
}

void FakeDialogWindow::End(std::intptr_t result) {
  ended_ = true;
  run_->result = result;
  log_->Add({.kind = DialogEvent::Kind::kEnd});
}

void FakeDialogWindow::ShowMessage(std::u16string_view text, std::u16string_view caption,
                                   std::uint32_t style) {
  log_->Add(
      {DialogEvent::Kind::kMessageBox, std::u16string(text), std::u16string(caption), style, true});
}

void FakeDialogWindow::Type(int id, std::u16string_view text) {
  std::u16string& box = run_->texts[id];
  const std::uint32_t limit = run_->limits.contains(id) ? run_->limits[id] : 30000;
  box.append(text.substr(0, box.size() < limit ? limit - box.size() : 0));
}

std::u16string FakeDialogWindow::Text(int id) const {
  const auto it = run_->texts.find(id);
  return it == run_->texts.end() ? std::u16string() : it->second;
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
  FakeDialogWindow window(log, run);
  run.initResult = proc(window, kWmInitDialog, 0, 0);
  for (PlayerAction& action : script) {
    if (window.Ended()) {
      break;
    }
    if (action.kind == PlayerAction::Kind::kType) {
      window.Type(action.id, action.text);
    } else if (action.kind == PlayerAction::Kind::kClear) {
      run.texts[action.id].clear();
    } else if (action.kind == PlayerAction::Kind::kRun) {
      action.code(window);
    } else {
      const std::uint32_t wParam = (std::uint32_t{action.notification} << 16U) |
                                   (static_cast<std::uint32_t>(action.id) & 0xFFFFU);
      run.commandResults.push_back(proc(window, kWmCommand, wParam, 0));
    }
  }
  runs.push_back(std::move(run));
  return runs.back().result;
}

void ScriptedDialogHost::ShowMessage(std::u16string_view text, std::u16string_view caption,
                                     std::uint32_t style) {
  log.Add({DialogEvent::Kind::kMessageBox, std::u16string(text), std::u16string(caption), style,
           false});
}

}  // namespace brindle
