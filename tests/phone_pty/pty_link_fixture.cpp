#include "pty_link_fixture.h"

#include <array>

#include "codec/score_payload.h"
#include "codec/submit_pdu.h"

namespace brindle::ptytest {

std::string EncodeScoreMessage(std::int32_t gameId, std::int32_t score, std::u16string_view handle,
                               std::string_view number) {
  std::array<char, kPayloadCapacity> payload{};
  std::uint32_t position = 0;
  AppendNumberField(gameId, payload, position);
  AppendNumberField(1, payload, position);
  AppendNumberField(score, payload, position);
  AppendTextField(handle, payload, position);
  std::array<char, kPduTextCapacity> pdu{};
  if (BuildSubmitPdu(pdu, number, payload) != 1) {
    return {};
  }
  return pdu.data();
}

std::u16string Widen(std::string_view text) {
  std::u16string wide;
  for (const char c : text) {
    wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
  }
  return wide;
}

void PtyLinkTest::Connect(const std::string& mode, Sleeper* sleeper) {
  if (sleeper != nullptr) {
    sleeper_ = sleeper;
  }
  ASSERT_TRUE(phone_.Start(mode)) << phone_.error();
  link_ = MakeLink();
  ASSERT_TRUE(link_->Open(Widen(phone_.terminal()), kPortBaudRate));
}

std::unique_ptr<PhoneLink> PtyLinkTest::MakeLink() {
  LinkServices services;
  services.port = &port_;
  services.boxes = &boxes_;
  services.sleeper = sleeper_;
  return std::make_unique<PhoneLink>(services);
}

int PtyLinkTest::CountEvents(std::string_view name) const {
  int count = 0;
  for (const LogEntry& entry : phone_.Log()) {
    count += entry.IsEvent(name) ? 1 : 0;
  }
  return count;
}

}  // namespace brindle::ptytest
