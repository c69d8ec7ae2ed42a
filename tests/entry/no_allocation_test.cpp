// Pressing "Send SMS" runs the whole send on fixed buffers: not one heap allocation from the
// press to the end of the send. Global operator new is replaced in this binary to count them;
// the doubles here keep their state in fixed arrays so that they allocate nothing themselves.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <string_view>

#include "dialog/dialog_template.h"
#include "entry/score_request.h"

namespace {

std::atomic<bool> g_counting{false};
std::atomic<int> g_allocations{0};

}  // namespace

void* operator new(std::size_t size) {
  g_allocations += g_counting ? 1 : 0;
  void* p = std::malloc(size == 0 ? 1 : size);  // NOLINT(cppcoreguidelines-no-malloc)
  if (p == nullptr) {
    throw std::bad_alloc();
  }
  return p;
}
void operator delete(void* p) noexcept { std::free(p); }  // NOLINT(cppcoreguidelines-no-malloc)
void operator delete(void* p, std::size_t /*size*/) noexcept {
  std::free(p);  // NOLINT(cppcoreguidelines-no-malloc)
}

namespace brindle {
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

TEST(NoAllocation, SendFromThePressToItsEnd) {
  // The count works: an allocation while counting is seen.
  g_counting = true;
  const auto probe = std::make_unique<int>(5);
  g_counting = false;
  ASSERT_EQ(g_allocations.load(), 1);

  for (const bool silent : {false, true}) {
    FixedPhonePort port;
    port.silent = silent;
    NoSleep sleeper;
    FixedDialogWindow window;
    ScoreRequest request(u"Comet Quarry", 42, 1234, LinkServices{&port, nullptr, &sleeper});
    request.InitDialog(window);
    g_allocations = 0;
    g_counting = true;
    request.HandleCommand(window, kWmCommand, IDC_SEND);
    g_counting = false;
    EXPECT_EQ(g_allocations.load(), 0) << silent;
    // The send really went as far as it should.
    EXPECT_EQ(window.ended, !silent);
    EXPECT_EQ(window.Result().ends_with(u"Check that IR is enable on the phone!\r\n"), silent);
  }
}

}  // namespace
}  // namespace brindle
