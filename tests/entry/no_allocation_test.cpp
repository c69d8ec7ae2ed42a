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

void* Allocate(std::size_t size) {
  if (g_counting.load()) {
    g_allocations.fetch_add(1);
  }
  void* p = std::malloc(size == 0 ? 1 : size);  // NOLINT(cppcoreguidelines-no-malloc)
  if (p == nullptr) {
    throw std::bad_alloc();
  }
  return p;
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t& /*tag*/) noexcept {
  if (g_counting.load()) {
    g_allocations.fetch_add(1);
  }
  return std::malloc(size == 0 ? 1 : size);  // NOLINT(cppcoreguidelines-no-malloc)
}
void operator delete(void* p) noexcept { std::free(p); }    // NOLINT(cppcoreguidelines-no-malloc)
void operator delete[](void* p) noexcept { std::free(p); }  // NOLINT(cppcoreguidelines-no-malloc)
void operator delete(void* p, std::size_t /*size*/) noexcept {
  std::free(p);  // NOLINT(cppcoreguidelines-no-malloc)
}
void operator delete[](void* p, std::size_t /*size*/) noexcept {
  std::free(p);  // NOLINT(cppcoreguidelines-no-malloc)
}

namespace brindle {
namespace {

// A dialog window on fixed buffers.
class FixedDialogWindow final : public DialogWindow {
 public:
  std::size_t GetItemText(int id, std::span<char16_t> out) override {
    const Box* box = Find(id);
    if (out.empty()) {
      return 0;
    }
    const std::size_t n = box == nullptr ? 0 : std::min(box->length, out.size() - 1);
    if (box != nullptr) {
      std::copy_n(box->text.begin(), n, out.begin());
    }
    out[n] = u'\0';
    return n;
  }
  void SetItemText(int id, std::u16string_view text) override {
    Box* box = Find(id);
    if (box != nullptr) {
      box->length = std::min(text.size(), box->text.size());
      std::copy_n(text.begin(), box->length, box->text.begin());
    }
  }
  void LimitText(int /*id*/, std::uint32_t /*limit*/) override {}
  void Repaint() override { ++repaints; }
  void SetTitle(std::u16string_view /*title*/) override {}
  void End(std::intptr_t value) override {
    ended = true;
    result = value;
  }
  void ShowMessage(std::u16string_view text, std::u16string_view /*caption*/,
                   std::uint32_t /*style*/) override {
    sentBoxShown = text == u"Your highscore has been sent successfully!";
  }

  [[nodiscard]] std::u16string_view Text(int id) {
    const Box* box = Find(id);
    return box == nullptr ? std::u16string_view{}
                          : std::u16string_view(box->text.data(), box->length);
  }

  int repaints = 0;
  bool ended = false;
  std::intptr_t result = 0;
  bool sentBoxShown = false;

 private:
  struct Box {
    std::array<char16_t, 512> text{};
    std::size_t length = 0;
  };
  Box* Find(int id) {
    switch (id) {
      case IDC_HANDLE:
        return &handle_;
      case IDC_SCORE:
        return &score_;
      case IDC_RESULT:
        return &result_;
      default:
        return nullptr;
    }
  }
  Box handle_;
  Box score_;
  Box result_;
};

// A phone that prompts after AT+CMGS and says OK to everything else, on a fixed buffer.
class FixedPhonePort final : public SerialPort {
 public:
  PortHandle Open(std::u16string_view /*name*/) override {
    ++opens;
    return 7;
  }
  bool GetState(PortHandle /*port*/, PortSettings& /*settings*/) override { return true; }
  bool SetState(PortHandle /*port*/, const PortSettings& /*settings*/) override { return true; }
  bool GetTimeouts(PortHandle /*port*/, PortTimeouts& /*timeouts*/) override { return true; }
  bool SetTimeouts(PortHandle /*port*/, const PortTimeouts& /*timeouts*/) override { return true; }
  bool Escape(PortHandle /*port*/, EscapeFunction /*function*/) override { return true; }
  bool Purge(PortHandle /*port*/, std::uint32_t /*flags*/) override { return true; }
  bool Read(PortHandle /*port*/, std::span<std::uint8_t> bytes, std::uint32_t& done) override {
    done = 0;
    if (!bytes.empty() && at_ < answer_.size()) {
      bytes[0] = static_cast<std::uint8_t>(answer_[at_++]);
      done = 1;
    }
    return true;
  }
  bool Write(PortHandle /*port*/, std::span<const std::uint8_t> bytes,
             std::uint32_t& done) override {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (silent) {
      answer_ = {};
    } else {
      answer_ = text.find("AT+CMGS") != std::string_view::npos ? "\r\n> " : "\r\nOK\r\n";
    }
    at_ = 0;
    done = static_cast<std::uint32_t>(bytes.size());
    ++writes;
    return true;
  }
  bool Close(PortHandle /*port*/) override {
    ++closes;
    return true;
  }
  std::uint32_t LastError() override { return 0; }
  std::size_t ErrorText(std::uint32_t /*code*/, std::span<char16_t> /*out*/) override { return 0; }

  bool silent = false;
  int opens = 0;
  int writes = 0;
  int closes = 0;

 private:
  std::string_view answer_;
  std::size_t at_ = 0;
};

class NoSleep final : public Sleeper {
 public:
  void Pause(std::uint32_t /*milliseconds*/) override {}
};

class NoBoxes final : public MessageSink {
 public:
  void ShowMessage(std::u16string_view /*text*/, std::u16string_view /*caption*/,
                   std::uint32_t /*style*/) override {}
};

TEST(NoAllocation, CountingSeesAnAllocation) {
  g_allocations = 0;
  g_counting = true;
  const auto probe = std::make_unique<int>(5);
  g_counting = false;
  EXPECT_EQ(g_allocations.load(), 1);
  EXPECT_EQ(*probe, 5);
}

struct Press {
  bool silentPhone;
  std::int32_t score;
  int writes;
  bool sent;
  std::u16string_view result;
};

class NoAllocationTest : public ::testing::TestWithParam<Press> {};

TEST_P(NoAllocationTest, FromSendSmsToTheEndOfTheSend) {
  const Press& press = GetParam();
  FixedPhonePort port;
  port.silent = press.silentPhone;
  NoSleep sleeper;
  NoBoxes boxes;
  FixedDialogWindow window;
  ScoreRequest request(u"Quarry", 42, press.score, LinkServices{&port, &boxes, &sleeper});
  request.InitDialog(window);
  window.SetItemText(IDC_HANDLE, u"ACE");

  g_allocations = 0;
  g_counting = true;
  const int handled = request.HandleCommand(window, kWmCommand, IDC_SEND);
  g_counting = false;

  EXPECT_EQ(g_allocations.load(), 0);
  // The send really went as far as it should.
  EXPECT_EQ(handled, 1);
  EXPECT_EQ(window.sentBoxShown, press.sent);
  EXPECT_EQ(window.ended, press.sent);
  EXPECT_EQ(port.writes, press.writes);
  EXPECT_EQ(window.Text(IDC_RESULT), press.result);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, NoAllocationTest,
    ::testing::Values(
        Press{false, 1234, 7, true,
              u"Opening IR Port..\r\nInitializing the phone..\r\n"
              u"Preparing the highscore SMS..\r\nSending the highscore SMS..\r\n"},
        Press{true, 1234, 2, false,
              u"Unable to initialize the phone. Check that IR is enable on the phone!\r\n"},
        Press{false, 100000000, 0, false,
              u"Unable to prepare the SMS message! Your highscore was not sent!\r\n"}));

}  // namespace
}  // namespace brindle
