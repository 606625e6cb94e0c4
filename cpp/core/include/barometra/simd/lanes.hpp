// Lane types of the vector kernels, and the handful of operations that the
// elementary functions and model formulas need on top of GCC's vector
// extensions. Every operation is also defined for a plain double, so one
// template body serves the scalar path (one lane) and the kernels (2, 4 or 8
// lanes) and, with IEEE arithmetic and no contraction, gives the same bits.
//
// A vector width belongs to exactly one instruction set: 2 lanes to the
// baseline (SSE2) kernels, 4 to AVX2, 8 to AVX-512 (also inside a Pack). So every template
// instantiated over a vector type lives in one translation unit only, and the
// linker can never hand baseline code a copy compiled for a wider target.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <type_traits>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

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

// K registers' worth of lanes, each operation applied to every part: the
// independent chains hide the latency of loops whose steps depend on each
// other. (GCC lowers over-wide vector types to scalar code instead.)
template <class T, int K>
struct Pack {
  T part[K];
};

template <class T>
inline constexpr bool kIsPack = false;
template <class T, int K>
inline constexpr bool kIsPack<Pack<T, K>> = true;

#define BAROMETRA_PACK_BINARY(op)                                                         \
  template <class T, int K>                                                               \
  inline auto operator op(const Pack<T, K>& a, const Pack<T, K>& b) noexcept {            \
    Pack<decltype(a.part[0] op b.part[0]), K> r;                                          \
    for (int i = 0; i < K; ++i) r.part[i] = a.part[i] op b.part[i];                       \
    return r;                                                                             \
  }                                                                                       \
  template <class T, int K, class S>                                                      \
    requires std::is_arithmetic_v<S>                                                      \
  inline auto operator op(const Pack<T, K>& a, S b) noexcept {                            \
    Pack<decltype(a.part[0] op b), K> r;                                                  \
    for (int i = 0; i < K; ++i) r.part[i] = a.part[i] op b;                               \
    return r;                                                                             \
  }                                                                                       \
  template <class T, int K, class S>                                                      \
    requires std::is_arithmetic_v<S>                                                      \
  inline auto operator op(S a, const Pack<T, K>& b) noexcept {                            \
    Pack<decltype(a op b.part[0]), K> r;                                                  \
    for (int i = 0; i < K; ++i) r.part[i] = a op b.part[i];                               \
    return r;                                                                             \
  }
BAROMETRA_PACK_BINARY(+)
BAROMETRA_PACK_BINARY(-)
BAROMETRA_PACK_BINARY(*)
BAROMETRA_PACK_BINARY(/)
BAROMETRA_PACK_BINARY(<)
BAROMETRA_PACK_BINARY(<=)
BAROMETRA_PACK_BINARY(>)
BAROMETRA_PACK_BINARY(>=)
BAROMETRA_PACK_BINARY(==)
BAROMETRA_PACK_BINARY(!=)
BAROMETRA_PACK_BINARY(&)
BAROMETRA_PACK_BINARY(|)
BAROMETRA_PACK_BINARY(>>)
BAROMETRA_PACK_BINARY(<<)
#undef BAROMETRA_PACK_BINARY

template <class T, int K>
inline Pack<T, K> operator-(const Pack<T, K>& a) noexcept {
  Pack<T, K> r;
  for (int i = 0; i < K; ++i) r.part[i] = -a.part[i];
  return r;
}
template <class T, int K>
inline Pack<T, K> operator~(const Pack<T, K>& a) noexcept {
  Pack<T, K> r;
  for (int i = 0; i < K; ++i) r.part[i] = ~a.part[i];
  return r;
}
template <class T, int K, class B>
inline Pack<T, K>& operator&=(Pack<T, K>& a, const B& b) noexcept {
  return a = a & b;
}
template <class T, int K, class B>
inline Pack<T, K>& operator|=(Pack<T, K>& a, const B& b) noexcept {
  return a = a | b;
}

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
template <class T, int K>
struct Traits<Pack<T, K>> {
  static constexpr int kWidth = K * Traits<T>::kWidth;
  using U = Pack<typename Traits<T>::U, K>;
  using M = Pack<typename Traits<T>::M, K>;
};

template <class V>
using BitsOf = typename Traits<V>::U;
template <class V>
using MaskOf = typename Traits<V>::M;

template <class V>
inline BitsOf<V> bits(V x) noexcept {
  if constexpr (kIsPack<V>) {
    BitsOf<V> r;
    for (int i = 0; i < int(std::size(x.part)); ++i) r.part[i] = bits(x.part[i]);
    return r;
  } else if constexpr (Traits<V>::kWidth == 1) {
    return std::bit_cast<std::uint64_t>(x);
  } else {
    return reinterpret_cast<BitsOf<V>>(x);
  }
}

template <class V>
inline V from_bits(BitsOf<V> b) noexcept {
  if constexpr (kIsPack<V>) {
    V r;
    for (int i = 0; i < int(std::size(r.part)); ++i) {
      r.part[i] = from_bits<std::remove_cvref_t<decltype(r.part[0])>>(b.part[i]);
    }
    return r;
  } else if constexpr (Traits<V>::kWidth == 1) {
    return std::bit_cast<double>(b);
  } else {
    return reinterpret_cast<V>(b);
  }
}

// The same value in every lane.
template <class V>
inline V splat(double x) noexcept {
  if constexpr (kIsPack<V>) {
    V r;
    for (auto& p : r.part) p = splat<std::remove_cvref_t<decltype(p)>>(x);
    return r;
  } else if constexpr (Traits<V>::kWidth == 1) {
    return x;
  } else {
    return V{} + x;
  }
}

template <class V>
inline V select(MaskOf<V> m, V a, V b) noexcept {
  if constexpr (kIsPack<V>) {
    V r;
    for (int i = 0; i < int(std::size(r.part)); ++i) {
      r.part[i] = select<std::remove_cvref_t<decltype(r.part[0])>>(m.part[i], a.part[i], b.part[i]);
    }
    return r;
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
  if constexpr (kIsPack<M>) {
    constexpr int kPartWidth = sizeof(m.part[0]) / sizeof(std::int64_t);
    unsigned r = 0;
    for (int i = 0; i < int(std::size(m.part)); ++i) r |= lane_bits(m.part[i]) << (i * kPartWidth);
    return r;
  } else if constexpr (std::is_same_v<M, bool>) {
    return m ? 1u : 0u;
#if defined(__x86_64__)
  } else if constexpr (sizeof(M) == 16) {
    return static_cast<unsigned>(_mm_movemask_pd(reinterpret_cast<__m128d>(m)));
  } else if constexpr (sizeof(M) == 32) {
    return static_cast<unsigned>(_mm256_movemask_pd(reinterpret_cast<__m256d>(m)));
  } else {
    return static_cast<unsigned>(_mm512_movepi64_mask(reinterpret_cast<__m512i>(m)));
  }
#else
  } else {
    unsigned r = 0;
    for (int i = 0; i < int(sizeof(M) / sizeof(std::int64_t)); ++i) r |= (m[i] != 0 ? 1u : 0u) << i;
    return r;
  }
#endif
}

template <class M>
inline bool any(M m) noexcept {
  return lane_bits(m) != 0;
}
template <class M>
inline bool all(M m) noexcept {
  constexpr int kWidth = std::is_same_v<M, bool> ? 1 : sizeof(M) / sizeof(std::int64_t);
  static_assert(kWidth <= 32);
  return lane_bits(m) == ~0u >> (32 - kWidth);
}

// Whether every lane lies in [lo, hi] (false for NaN). On AVX-512 the two
// comparisons go straight to a mask register, skipping the round trip
// through a vector mask that GCC makes of a vector comparison.
template <class V>
inline bool all_within(V x, double lo, double hi) noexcept {
  if constexpr (kIsPack<V>) {
    for (const auto& p : x.part) {
      if (!all_within(p, lo, hi)) return false;
    }
    return true;
#if defined(__AVX512F__)
  } else if constexpr (Traits<V>::kWidth == 8) {
    const __m512d v = reinterpret_cast<__m512d>(x);
    const __mmask8 low = _mm512_cmp_pd_mask(v, _mm512_set1_pd(lo), _CMP_GE_OQ);
    return _mm512_mask_cmp_pd_mask(low, v, _mm512_set1_pd(hi), _CMP_LE_OQ) == 0xff;
#endif
  } else {
    return all(MaskOf<V>((x >= lo) & (x <= hi)));
  }
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

// table[index] in each lane, for indices known to lie inside the table: a
// gather where the instruction set has one, lane by lane elsewhere.
template <class V>
inline V lookup(const double* table, BitsOf<V> index) noexcept {
  if constexpr (kIsPack<V>) {
    V r;
    for (int i = 0; i < int(std::size(r.part)); ++i) {
      r.part[i] = lookup<std::remove_cvref_t<decltype(r.part[0])>>(table, index.part[i]);
    }
    return r;
  } else if constexpr (Traits<V>::kWidth == 1) {
    return table[index];
#if defined(__AVX512F__)
  } else if constexpr (Traits<V>::kWidth == 8) {
    // The masked form with a defined source: GCC 12 warns about the
    // undefined one inside _mm512_i64gather_pd.
    return reinterpret_cast<V>(_mm512_mask_i64gather_pd(
        _mm512_setzero_pd(), 0xff, reinterpret_cast<__m512i>(index), table, sizeof(double)));
#endif
#if defined(__AVX2__)
  } else if constexpr (Traits<V>::kWidth == 4) {
    return reinterpret_cast<V>(
        _mm256_i64gather_pd(table, reinterpret_cast<__m256i>(index), sizeof(double)));
#endif
  } else {
    V r;
    for (int i = 0; i < Traits<V>::kWidth; ++i) r[i] = table[index[i]];
    return r;
  }
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
