// Lane types of the vector kernels, and the handful of operations that the
// elementary functions and model formulas need on top of GCC's vector
// extensions. Every operation is also defined for a plain double, so one
// template body serves the scalar path (one lane) and the kernels (2, 4 or 8
// lanes) and, with IEEE arithmetic and no contraction, gives the same bits.
//
// A vector width belongs to exactly one instruction set: 2 lanes to the
// baseline (SSE2) kernels, 4 to AVX2, 8 to AVX-512. So every template
// instantiated over a vector type lives in one translation unit only, and the
// linker can never hand baseline code a copy compiled for a wider target.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include <immintrin.h>

namespace barometra::simd {

template <int W>
struct Lanes;
template <>
struct Lanes<2> {
  typedef double D __attribute__((vector_size(16)));
  typedef std::uint64_t U __attribute__((vector_size(16)));
  typedef std::int64_t M __attribute__((vector_size(16)));
};
template <>
struct Lanes<4> {
  typedef double D __attribute__((vector_size(32)));
  typedef std::uint64_t U __attribute__((vector_size(32)));
  typedef std::int64_t M __attribute__((vector_size(32)));
};
template <>
struct Lanes<8> {
  typedef double D __attribute__((vector_size(64)));
  typedef std::uint64_t U __attribute__((vector_size(64)));
  typedef std::int64_t M __attribute__((vector_size(64)));
};

// The lane count, bit type and mask type of a value type.
template <class V>
struct Traits {
  static constexpr int kWidth = sizeof(V) / sizeof(double);
  using U = typename Lanes<kWidth>::U;
  using M = typename Lanes<kWidth>::M;
};
template <>
struct Traits<double> {
  static constexpr int kWidth = 1;
  using U = std::uint64_t;
  using M = bool;
};

template <class V>
using BitsOf = typename Traits<V>::U;
template <class V>
using MaskOf = typename Traits<V>::M;

template <class V>
inline BitsOf<V> bits(V x) noexcept {
  if constexpr (Traits<V>::kWidth == 1) {
    return std::bit_cast<std::uint64_t>(x);
  } else {
    return reinterpret_cast<BitsOf<V>>(x);
  }
}

template <class V>
inline V from_bits(BitsOf<V> b) noexcept {
  if constexpr (Traits<V>::kWidth == 1) {
    return std::bit_cast<double>(b);
  } else {
    return reinterpret_cast<V>(b);
  }
}

// The same value in every lane.
template <class V>
inline V splat(double x) noexcept {
  if constexpr (Traits<V>::kWidth == 1) {
    return x;
  } else {
    return V{} + x;
  }
}

template <class V>
inline V select(MaskOf<V> m, V a, V b) noexcept {
  if constexpr (Traits<V>::kWidth == 1) {
    return m ? a : b;
  } else {
    return m ? a : b;
  }
}

template <class M>
inline M mask_not(M m) noexcept {
  if constexpr (std::is_same_v<M, bool>) {
    return !m;
  } else {
    return ~m;
  }
}

// One bit per lane, lane 0 lowest.
template <class M>
inline unsigned lane_bits(M m) noexcept {
  if constexpr (std::is_same_v<M, bool>) {
    return m ? 1u : 0u;
  } else if constexpr (sizeof(M) == 16) {
    return static_cast<unsigned>(_mm_movemask_pd(reinterpret_cast<__m128d>(m)));
  } else if constexpr (sizeof(M) == 32) {
    return static_cast<unsigned>(_mm256_movemask_pd(reinterpret_cast<__m256d>(m)));
  } else {
    return static_cast<unsigned>(_mm512_movepi64_mask(reinterpret_cast<__m512i>(m)));
  }
}

template <class M>
inline bool any(M m) noexcept {
  return lane_bits(m) != 0;
}
template <class M>
inline bool all(M m) noexcept {
  constexpr int kWidth = std::is_same_v<M, bool> ? 1 : sizeof(M) / sizeof(std::int64_t);
  return lane_bits(m) == (1u << kWidth) - 1;
}

template <class V>
inline V abs(V x) noexcept {
  return from_bits<V>(bits(x) & 0x7fffffffffffffffULL);
}

// |magnitude| with the sign of `sign`.
template <class V>
inline V copysign(V magnitude, V sign) noexcept {
  return from_bits<V>((bits(magnitude) & 0x7fffffffffffffffULL) |
                      (bits(sign) & 0x8000000000000000ULL));
}

template <class V>
inline V load(const double* p) noexcept {
  V v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
template <class V>
inline void store(double* p, V v) noexcept {
  std::memcpy(p, &v, sizeof v);
}

// The first n < W lanes from p; the others repeat p[0], so that they compute
// something harmless.
template <class V>
inline V load_partial(const double* p, int n) noexcept {
  double lanes[Traits<V>::kWidth];
  for (double& x : lanes) x = p[0];
  std::memcpy(lanes, p, static_cast<std::size_t>(n) * sizeof(double));
  return load<V>(lanes);
}
template <class V>
inline void store_partial(double* p, V v, int n) noexcept {
  double lanes[Traits<V>::kWidth];
  store(lanes, v);
  std::memcpy(p, lanes, static_cast<std::size_t>(n) * sizeof(double));
}

}  // namespace barometra::simd
