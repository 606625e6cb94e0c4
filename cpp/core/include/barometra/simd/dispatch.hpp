// Runtime choice of the instruction set for the array kernels. The package is
// built for baseline x86-64; kernels for wider vectors are compiled beside the
// baseline ones and picked once, from what the processor reports.
#pragma once

#include <cstdint>
#include <span>

namespace barometra::simd {

enum class Isa : std::uint8_t {
  Scalar,  // the element-by-element loop over the scalar operations
  Sse2,    // 2 lanes, baseline x86-64
  Avx2,    // 4 lanes, with AVX2 and FMA present (FMA itself is never used)
  Avx512,  // 8 lanes, AVX-512 F and DQ
};

const char* isa_name(Isa isa) noexcept;
// Every instruction set this process can run, Scalar first, best last.
std::span<const Isa> supported_isas() noexcept;
// The best of them; what the array operations use unless told otherwise.
Isa best_isa() noexcept;

}  // namespace barometra::simd
