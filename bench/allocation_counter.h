// Counts every heap allocation of the process, so a benchmark can report them per message.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>

namespace brindle::bench {

std::uint64_t AllocationCount();

// Reports the allocations made since `before` as a per-message counter. The benchmarks that
// report it run on fixed buffers, so a single allocation fails the run.
inline void ReportAllocations(benchmark::State& state, std::uint64_t before) {
  const std::uint64_t made = AllocationCount() - before;
  state.counters["allocs/msg"] =
      benchmark::Counter(static_cast<double>(made), benchmark::Counter::kAvgIterations);
  if (made > 0) {
    state.SkipWithError("allocated on the heap");
  }
}

}  // namespace brindle::bench
