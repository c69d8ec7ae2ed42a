// Counts every heap allocation of the process, so a benchmark can report them per message.
#pragma once

#include <cstdint>

namespace brindle::bench {

std::uint64_t AllocationCount();

}  // namespace brindle::bench
