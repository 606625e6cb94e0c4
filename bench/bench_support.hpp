// Shared by the C++ benchmarks: a heap-allocation counter (this header replaces
// the global operator new, so include it from exactly one file per program)
// and a best-of-N timing loop.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <new>
#include <vector>

#include "barometra/checks.hpp"

namespace bench {

inline std::atomic<long> g_allocations{0};

struct Timing {
  double ns_per_call;
  long allocations;
};

// Best of several repetitions of one pass over the inputs.
template <class Body>
Timing time_loop(const std::vector<double>& inputs, std::vector<double>& outputs, Body body,
                 int repetitions = 7) {
  double best = 1e300;
  long allocations = 0;
  for (int r = 0; r < repetitions; ++r) {
    const long before = g_allocations.load();
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < inputs.size(); ++i) outputs[i] = body(inputs[i]);
    const auto stop = std::chrono::steady_clock::now();
    allocations += g_allocations.load() - before;
    best = std::min(best, std::chrono::duration<double, std::nano>(stop - start).count());
  }
  return {best / static_cast<double>(inputs.size()), allocations};
}

inline double value_or_nan(const barometra::Result& r) { return r ? *r : NAN; }

}  // namespace bench

void* operator new(std::size_t size) {
  bench::g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
