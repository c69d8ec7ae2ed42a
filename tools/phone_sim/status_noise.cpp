#include "tools/phone_sim/status_noise.h"

namespace brindle::sim {

std::string StatusNoise::Interleave(std::string_view answer, std::string_view announcement) {
  std::string out;
  for (std::size_t at = 0; at < answer.size(); ++at) {
    // A line ends here when a CR LF closes text (a CR LF after another one opens a line).
    const bool lineEnded = at >= 3 && answer.substr(at - 2, 2) == "\r\n" && answer[at - 3] != '\n';
    if (at == 0 || lineEnded) {
      const auto draw = static_cast<std::uint32_t>(random_());
      if (draw % kPlaceOdds == 0) {
        const std::uint32_t pick = draw / kPlaceOdds;
        const std::string_view line = !announcement.empty() && pick % kAnnouncementOdds == 0
                                          ? announcement
                                          : kStatusLines[pick % kStatusLines.size()];
        out += "\r\n";
        out += line;
        out += "\r\n";
      }
    }
    out += answer[at];
  }
  return out;
}

}  // namespace brindle::sim
