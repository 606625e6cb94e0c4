#include "barometra/simd/dispatch.hpp"

#include <array>
#include <cstddef>

namespace barometra::simd {

namespace {

struct Supported {
  std::array<Isa, 4> isas{};
  std::size_t count = 0;
};

Supported detect() noexcept {
  Supported s;
  s.isas[s.count++] = Isa::Scalar;
#if defined(BAROMETRA_SIMD_KERNELS)
  __builtin_cpu_init();
  s.isas[s.count++] = Isa::Sse2;
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) {
    s.isas[s.count++] = Isa::Avx2;
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq")) {
      s.isas[s.count++] = Isa::Avx512;
    }
  }
#endif
  return s;
}

const Supported& supported() noexcept {
  static const Supported s = detect();
  return s;
}

}  // namespace

const char* isa_name(Isa isa) noexcept {
  switch (isa) {
    case Isa::Scalar: return "scalar";
    case Isa::Sse2: return "sse2";
    case Isa::Avx2: return "avx2";
    case Isa::Avx512: return "avx512";
  }
  return "unknown";
}

std::span<const Isa> supported_isas() noexcept {
  const Supported& s = supported();
  return {s.isas.data(), s.count};
}

Isa best_isa() noexcept { return supported_isas().back(); }

}  // namespace barometra::simd
