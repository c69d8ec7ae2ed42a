#include "bench/allocation_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<std::uint64_t> g_allocations{0};
}  // namespace

namespace brindle::bench {
std::uint64_t AllocationCount() { return g_allocations.load(std::memory_order_relaxed); }
}  // namespace brindle::bench

void* operator new(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* block = std::malloc(size == 0 ? 1 : size)) {  // NOLINT(cppcoreguidelines-no-malloc)
    return block;
  }
  throw std::bad_alloc();
}

void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* block) noexcept { std::free(block); }                          // NOLINT
void operator delete[](void* block) noexcept { std::free(block); }                        // NOLINT
void operator delete(void* block, std::size_t /*size*/) noexcept { std::free(block); }    // NOLINT
void operator delete[](void* block, std::size_t /*size*/) noexcept { std::free(block); }  // NOLINT
