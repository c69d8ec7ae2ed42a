// Counts every heap allocation of the process, so a benchmark can report them per message.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>

namespace brindle::bench {

std::uint64_t AllocationCount();

// Reports the allocations made since `before` as a per-message counter.
inline void ReportAllocations(benchmark::State& state, std::uint64_t before) {
  state.counters["allocs/msg"] = benchmark::Counter(static_cast<double>(AllocationCount() - before),
                                                    benchmark::Counter::kAvgIterations);
}

}  // namespace brindle::bench
