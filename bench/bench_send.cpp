// One press of "Send SMS" from the dialog to the end of the send, on doubles that answer at
// once and keep their state in fixed arrays (so that they allocate nothing themselves): the
// whole send runs on fixed buffers, with no heap allocation.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <string_view>

#include "bench/allocation_counter.h"
#include "dialog/dialog_template.h"
#include "entry/score_request.h"

namespace brindle::bench {
namespace {

// The handle "Ann" and a result box on a fixed buffer; everything else is dropped.
class FixedDialogWindow final : public DialogWindow {
 public:
  std::size_t GetItemText(int id, std::span<char16_t> out) override {
    const std::u16string_view text = id == IDC_HANDLE ? u"Ann" : Result();
    const std::size_t n = std::min(text.size(), out.size() - 1);
    std::copy_n(text.begin(), n, out.begin());
    out[n] = u'\0';
    return n;
  }
  void SetItemText(int id, std::u16string_view text) override {
    if (id == IDC_RESULT) {
      length = std::min(text.size(), result.size());
      std::copy_n(text.begin(), length, result.begin());
    }
  }
  void LimitText(int /*id*/, std::uint32_t /*limit*/) override {}
  void Repaint() override {}
  void SetTitle(std::u16string_view /*title*/) override {}
  void End(std::intptr_t /*value*/) override { ended = true; }
  void ShowMessage(std::u16string_view /*text*/, std::u16string_view /*caption*/,
                   std::uint32_t /*style*/) override {}
  [[nodiscard]] std::u16string_view Result() const { return {result.data(), length}; }

  std::array<char16_t, 512> result{};
  std::size_t length = 0;
  bool ended = false;
};

// A phone that prompts after AT+CMGS and says OK to everything else, or says nothing.
class FixedPhonePort final : public SerialPort {
 public:
  PortHandle Open(std::u16string_view /*name*/) override { return 7; }
  bool GetState(PortHandle /*port*/, PortSettings& /*settings*/) override { return true; }
  bool SetState(PortHandle /*port*/, const PortSettings& /*settings*/) override { return true; }
  bool GetTimeouts(PortHandle /*port*/, PortTimeouts& /*timeouts*/) override { return true; }
  bool SetTimeouts(PortHandle /*port*/, const PortTimeouts& /*timeouts*/) override { return true; }
  bool Escape(PortHandle /*port*/, EscapeFunction /*function*/) override { return true; }
  bool Purge(PortHandle /*port*/, std::uint32_t /*flags*/) override { return true; }
  bool Read(PortHandle /*port*/, std::span<std::uint8_t> bytes, std::uint32_t& done) override {
    done = at_ < answer_.size() ? 1 : 0;
    if (done == 1) {
      bytes[0] = static_cast<std::uint8_t>(answer_[at_++]);
    }
    return true;
  }
  bool Write(PortHandle /*port*/, std::span<const std::uint8_t> bytes,
             std::uint32_t& done) override {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const bool prompt = text.starts_with("AT+CMGS");
    answer_ = silent ? "" : prompt ? "\r\n> " : "\r\nOK\r\n";
    at_ = 0;
    done = static_cast<std::uint32_t>(bytes.size());
    return true;
  }
  bool Close(PortHandle /*port*/) override { return true; }
  std::uint32_t LastError() override { return 0; }
  std::size_t ErrorText(std::uint32_t /*code*/, std::span<char16_t> /*out*/) override { return 0; }

  bool silent = false;

 private:
  std::string_view answer_;
  std::size_t at_ = 0;
};

class NoSleep final : public Sleeper {
 public:
  void Pause(std::uint32_t /*milliseconds*/) override {}
};

void SendFromThePress(benchmark::State& state, bool silent) {
  FixedPhonePort port;
  port.silent = silent;
  NoSleep sleeper;
  const std::uint64_t before = AllocationCount();
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
    FixedDialogWindow window;
    ScoreRequest request(u"Comet Quarry", 42, 1234, LinkServices{&port, nullptr, &sleeper});
    request.InitDialog(window);
    request.HandleCommand(window, kWmCommand, IDC_SEND);
    // The send went as far as it should: sent, or stopped at the silent phone.
    if (window.ended == silent) {
      state.SkipWithError("the send did not end as it should");
      break;
    }
  }
  ReportAllocations(state, before);
}

void BM_SendFromThePress(benchmark::State& state) { SendFromThePress(state, false); }
BENCHMARK(BM_SendFromThePress);
void BM_SendToASilentPhone(benchmark::State& state) { SendFromThePress(state, true); }
BENCHMARK(BM_SendToASilentPhone);

}  // namespace
}  // namespace brindle::bench
