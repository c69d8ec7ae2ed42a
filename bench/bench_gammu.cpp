// The same two jobs through libgammu, a general SMS library, for the side-by-side ratio.
// (No allocation counter here: gammu allocates with malloc, which the counter does not see.)
// Gammu knows nothing of the score payload, so both sides share our payload code and only
// the PDU work differs; the PDU's hex text is gammu's own work on its side.
#include <benchmark/benchmark.h>
#include <gammu.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "bench/sample_pdu.h"
#include "codec/payload_decode.h"
#include "codec/score_payload.h"
#include "codec/score_reader.h"

namespace brindle::bench {
namespace {

// The payload of a score text as gammu hands it over: the marker dropped, each pair of hex
// digits unscrambled into a byte, up to the first zero byte.
void ReadScoreText(std::string_view text, std::span<char> out) {
  std::size_t k = 0;
  for (std::size_t at = 4; at + 1 < text.size() && k + 1 < out.size(); at += 2, ++k) {
    out[k] =
        static_cast<char>(UnscrambleByte(static_cast<std::uint8_t>(ParseHexByte(text.substr(at)))));
    if (out[k] == '\0') {
      break;
    }
  }
  out[k] = '\0';
}

void BM_GammuEncodeScoreMessage(benchmark::State& state) {
  auto sms = std::make_unique<GSM_SMSMessage>();
  std::int32_t score = 12345;
  for (auto _ : state) {                             // NOLINT(clang-analyzer-deadcode.DeadStores)
    std::array<char, kPayloadCapacity> payload;      // NOLINT: written by BuildScorePayload
    std::array<char, kScoreTextCapacity> scoreText;  // NOLINT: written by EncodeScoreText
    const std::size_t payloadLength = BuildScorePayload(42, score++, u"Ann", payload);
    EncodeScoreText(payload, scoreText);

    GSM_SetDefaultSMSData(sms.get());
    sms->PDU = SMS_Submit;
    sms->Coding = SMS_Coding_Default_No_Compression;
    sms->UDH.Type = UDH_NoUDH;
    EncodeUnicode(sms->Number, "+123456789012", 13);
    EncodeUnicode(sms->Text, scoreText.data(), 4 + 2 * payloadLength);
    sms->SMSC.Number[0] = 0;
    sms->SMSC.Number[1] = 0;
    std::array<unsigned char, 400> frame{};
    int length = 0;
    GSM_EncodeSMSFrame(nullptr, sms.get(), frame.data(), PHONE_SMSSubmit, &length, TRUE);
    std::array<char, 2 * frame.size() + 1> text;  // NOLINT: written by EncodeHexBin
    EncodeHexBin(text.data(), frame.data(),
                 std::min(static_cast<std::size_t>(length), frame.size()));
    benchmark::DoNotOptimize(text.data());
  }
}
BENCHMARK(BM_GammuEncodeScoreMessage);

void BM_GammuDecodeScoreMessage(benchmark::State& state) {
  auto sms = std::make_unique<GSM_SMSMessage>();
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
    std::array<unsigned char, 256> octets{};
    const std::size_t count = kAnnPdu.size() / 2;
    DecodeHexBin(octets.data(), reinterpret_cast<const unsigned char*>(kAnnPdu.data()),  // NOLINT
                 kAnnPdu.size());
    std::size_t end = 0;
    GSM_DecodePDUFrame(nullptr, sms.get(), octets.data(), count, &end, TRUE);
    std::array<char, kMaxSeptets + 1> text{};
    const std::size_t length = UnicodeLength(sms->Text);
    for (std::size_t i = 0; i < length && i < kMaxSeptets; ++i) {
      text[i] = static_cast<char>(sms->Text[2 * i + 1]);
    }
    std::array<char, kDecodedPayloadCapacity> payload{};
    ReadScoreText(text.data(), payload);
    ScoreFields fields;
    benchmark::DoNotOptimize(SplitScorePayload(payload.data(), fields));
  }
}
BENCHMARK(BM_GammuDecodeScoreMessage);

}  // namespace
}  // namespace brindle::bench
