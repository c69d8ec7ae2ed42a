// The score message both codecs are measured on: an SMS-SUBMIT to the score service from the
// player "Ann", as the encoder builds it.
#pragma once

#include <string_view>

namespace brindle::bench {

inline constexpr std::string_view kAnnPdu =
    "0011000C912143658709210000AA2ACD241104B3C96C349BCC06B3C56C311BCC56B3C56C32DBCC46B3D56C30DB"
    "CC16C3D9883622";

}  // namespace brindle::bench
