// The vector kernels, written once over the lane count W and compiled once
// per instruction set (kernels_<isa>.cpp). Everything here has internal
// linkage, and the model formulas are instantiated only over this unit's own
// lane width, so no code compiled for a wide target can stand in for
// baseline code at link time.
#pragma once

#include <cstddef>
#include <type_traits>
#include <utility>
#include <variant>

#include "barometra/isothermal/rt_model.hpp"
#include "barometra/root.hpp"
#include "barometra/simd/lanes.hpp"
#include "barometra/simd/math.hpp"
#include "kernel_table.hpp"

namespace barometra::detail {
namespace {

using simd::any;
using simd::lane_bits;
using simd::select;
using simd::splat;

template <class V>
inline simd::MaskOf<V> positive_finite(V x) noexcept {
  return (x > 0.0) & (x < __builtin_huge_val());
}
template <class V>
inline simd::MaskOf<V> finite(V x) noexcept {
  return (x - x) == 0.0;
}

// W lanes as K registers of W / K lanes.
template <int W, int K>
struct LaneGroupOf {
  using type = simd::Pack<typename simd::Lanes<W / K>::D, K>;
};
template <int W>
struct LaneGroupOf<W, 1> {
  using type = typename simd::Lanes<W>::D;
};
template <int W, int K>
using LaneGroup = typename LaneGroupOf<W, K>::type;

struct Pressure {
  template <class Model, class V>
  static V formula(const Model& m, V x) noexcept {
    return m.pressure_formula(x);
  }
  template <class Model, class R>
  static auto from(const Model& m, const R& r) noexcept {
    return m.pressure_from(r);
  }
};
struct BulkModulus {
  template <class Model, class V>
  static V formula(const Model& m, V x) noexcept {
    return m.bulk_modulus_formula(x);
  }
  template <class Model, class R>
  static auto from(const Model& m, const R& r) noexcept {
    return m.bulk_modulus_from(r);
  }
};

template <class Model>
constexpr bool kStaged = requires(const Model& m, double v) { m.reduced(v); };

// Vectors per block of a staged evaluation: enough independent work for
// each stage to fill the processor, few enough to stay in registers and L1.
inline constexpr int kStageBlock = 8;

// One bit per lane whose input x is a positive finite volume and whose value
// y is finite. On AVX-512 the classes go straight to a mask register.
template <class V>
unsigned valid_lanes(V x, V y) noexcept {
#if defined(__AVX512DQ__)
  if constexpr (simd::Traits<V>::kWidth == 8) {
    // NaN, zero of either sign, infinity of either sign, negative finite.
    constexpr int kNotPositiveFinite = 0x01 | 0x02 | 0x04 | 0x08 | 0x10 | 0x40 | 0x80;
    constexpr int kNotFinite = 0x01 | 0x08 | 0x10 | 0x80;
    return static_cast<unsigned>(static_cast<__mmask8>(
        ~(_mm512_fpclass_pd_mask(reinterpret_cast<__m512d>(x), kNotPositiveFinite) |
          _mm512_fpclass_pd_mask(reinterpret_cast<__m512d>(y), kNotFinite))));
  }
#endif
  return lane_bits(positive_finite(x) & finite(y));
}

// The evaluation protocol over lanes: volume check, formula, finiteness.
// Stores the values of x's lanes and returns W, or stores those before the
// first failing lane and returns its index.
template <class V>
int check_and_store(V x, V y, double* out) noexcept {
  constexpr int kWidth = simd::Traits<V>::kWidth;
  const unsigned ok = valid_lanes(x, y);
  if (ok == ~0u >> (32 - kWidth)) {
    simd::store(out, y);
    return kWidth;
  }
  const int lane = __builtin_ctz(~ok);
  simd::store_partial(out, y, lane);
  return lane;
}

template <int W, class Model, class Operation>
std::size_t evaluate(const void* model, const double* in, double* out, std::size_t n) noexcept {
  using V = typename simd::Lanes<W>::D;
  // A local copy: the compiler then knows that no store to `out` changes the
  // model, and keeps the parameters' derived constants out of the loop.
  const Model m = *static_cast<const Model*>(model);
  std::size_t i = 0;
  if constexpr (kStaged<Model>) {
    // Stage one (the reduced variables) over a block, then stage two.
    using Reduced = decltype(m.reduced(V{}));
    constexpr std::size_t kBlock = kStageBlock * W;
    for (; i + kBlock <= n; i += kBlock) {
      Reduced r[kStageBlock];
      for (int b = 0; b < kStageBlock; ++b) r[b] = m.reduced(simd::load<V>(in + i + b * W));
      for (int b = 0; b < kStageBlock; ++b) {
        const std::size_t at = i + static_cast<std::size_t>(b) * W;
        const int stored = check_and_store(simd::load<V>(in + at), Operation::from(m, r[b]),
                                           out + at);
        if (stored < W) return at + static_cast<std::size_t>(stored);
      }
    }
  }
  for (; i + W <= n; i += W) {
    const V x = simd::load<V>(in + i);
    const int stored = check_and_store(x, Operation::formula(m, x), out + i);
    if (stored < W) return i + static_cast<std::size_t>(stored);
  }
  if (i == n) return n;
  const int rest = static_cast<int>(n - i);
  const V x = simd::load_partial<V>(in + i, rest);
  const V y = Operation::formula(m, x);
  const unsigned bad = ~valid_lanes(x, y) & ((1u << rest) - 1);
  const int lane = bad ? __builtin_ctz(bad) : rest;
  simd::store_partial(out + i, y, lane);
  return i + static_cast<std::size_t>(lane);
}

// The model's lanes for the volume inversion of root.hpp: a lane whose
// evaluation fails, or that the algorithm gives up on, is only marked; the
// caller asks the scalar solver for that element's exact error.
template <class V, class Model>
struct ModelLanes {
  using M = simd::MaskOf<V>;

  const Model& model;
  double v0;
  M marked{};

  V pressure(V v, M& active) noexcept {
    // Inactive lanes evaluate at V0, which is known to succeed.
    const V x = select<V>(active, v, splat<V>(v0));
    const V p = model.pressure_formula(x);
    const M ok = positive_finite(x) & finite(p);
    marked |= active & ~ok;
    active &= ok;
    return p;
  }
  void retire(M& active, M lanes, EosErrorKind) noexcept {
    marked |= active & lanes;
    active &= ~lanes;
  }
  M failed() const noexcept { return marked; }
};

template <int W, int K, class Model>
std::size_t volume(const void* model, double v0, double p0, const double* in, double* out,
                   std::size_t n) noexcept {
  using V = LaneGroup<W, K>;
  using M = simd::MaskOf<V>;
  const Model& m = *static_cast<const Model*>(model);
  for (std::size_t i = 0; i < n; i += W) {
    const int count = n - i < W ? static_cast<int>(n - i) : W;
    const V target = count == W ? simd::load<V>(in + i) : simd::load_partial<V>(in + i, count);
    // Lanes [0, count): a lane's index below count.
    V index;
    for (int lane = 0; lane < W; ++lane) reinterpret_cast<double*>(&index)[lane] = lane;
    M active = index < static_cast<double>(count);
    ModelLanes<V, Model> lanes{m, v0};
    lanes.retire(active, ~finite(target), EosErrorKind::InvalidState);
    V result;
    solve_volume_from_start(lanes, target, v0, splat<V>(p0), active, result);
    const unsigned bad = lane_bits(lanes.failed());
    const int lane = bad ? __builtin_ctz(bad) : count;
    simd::store_partial(out + i, result, lane);
    if (lane < count) return i + static_cast<std::size_t>(lane);
  }
  return n;
}

template <int W, class Function>
void elementary(const double* in, double* out, std::size_t n) noexcept {
  using V = typename simd::Lanes<W>::D;
  std::size_t i = 0;
  for (; i + W <= n; i += W) simd::store(out + i, Function::apply(simd::load<V>(in + i)));
  if (i < n) {
    const int rest = static_cast<int>(n - i);
    simd::store_partial(out + i, Function::apply(simd::load_partial<V>(in + i, rest)), rest);
  }
}
struct Cbrt {
  template <class V>
  static V apply(V x) noexcept { return simd::cbrt(x); }
};
struct Exp {
  template <class V>
  static V apply(V x) noexcept { return simd::exp(x); }
};
struct Log {
  template <class V>
  static V apply(V x) noexcept { return simd::log(x); }
};


// W lanes for the evaluations. The inversions take WV lanes as K registers:
// their bisection steps depend on each other, and independent registers
// hide the latency of each step.
template <int W, int WV, int K, std::size_t... Tags>
constexpr KernelTable make_table(std::index_sequence<Tags...>) noexcept {
  KernelTable table{};
  auto fill = [&]<std::size_t Tag>() {
    using Model = std::variant_alternative_t<Tag, RtModel::Variant>;
    if constexpr (Model::kVectorKernels) {
      table.pressure[Tag] = &evaluate<W, Model, Pressure>;
      table.bulk_modulus[Tag] = &evaluate<W, Model, BulkModulus>;
      table.volume[Tag] = &volume<WV, K, Model>;
    }
  };
  (fill.template operator()<Tags>(), ...);
  table.cbrt = &elementary<W, Cbrt>;
  table.exp = &elementary<W, Exp>;
  table.log = &elementary<W, Log>;
  return table;
}

template <int W, int WV, int K>
constexpr KernelTable make_table() noexcept {
  return make_table<W, WV, K>(std::make_index_sequence<RtModel::kModelCount>());
}

}  // namespace
}  // namespace barometra::detail
