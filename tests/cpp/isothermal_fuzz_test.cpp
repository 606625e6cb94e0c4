// Random and special doubles through every constructor and operation of every
// isothermal model: each outcome must be a finite value or an error value.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "barometra/isothermal/rt_model.hpp"

namespace barometra {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kMax = std::numeric_limits<double>::max();
constexpr double kMinNormal = std::numeric_limits<double>::min();
constexpr double kTrueMin = std::numeric_limits<double>::denorm_min();
constexpr double kEps = std::numeric_limits<double>::epsilon();

const double kSpecial[] = {kNaN,  -kNaN,      kInf,       -kInf,     0.0,       -0.0,
                           kTrueMin, -kTrueMin, kMinNormal, 1e-310,   1e-300,    1e-150,
                           kEps,  1.0 - kEps, 1.0,        1.0 + kEps, -1.0,     0.25,
                           -0.25, 1.0 / 3.0,  -1.0 / 3.0, 2.0,       1e150,     1e300,
                           1e308, -1e308,     kMax,       -kMax};

// splitmix64: a fixed sequence, the same on every platform.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  double unit() { return static_cast<double>(next() >> 11) * 0x1p-53; }
  std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }
  double special() { return kSpecial[below(std::size(kSpecial))]; }
  // Any bit pattern: NaNs with payloads, subnormals, both infinities.
  double any_bits() {
    const std::uint64_t bits = next();
    double x;
    std::memcpy(&x, &bits, sizeof x);
    return x;
  }
  // A typical value, nudged, replaced or scaled across the double range.
  double around(double typical) {
    switch (below(8)) {
      case 0:
      case 1:
        return typical;
      case 2:
        return typical * (1.0 + (unit() - 0.5) * 1e-3);
      case 3:
        return typical * (1.0 + static_cast<double>(static_cast<int>(below(9)) - 4) * kEps);
      case 4:
        return special();
      case 5:
        return any_bits();
      case 6:
        return -typical;
      default:
        return (below(2) ? 1.0 : -1.0) * std::pow(10.0, unit() * 616.0 - 308.0);
    }
  }

 private:
  std::uint64_t state_;
};

::testing::AssertionResult finite_or_error(const Result& r, const char* what) {
  if (!r) {
    const EosError& e = r.error();
    if (e.has_field() && (e.field().empty() || e.message().empty())) {
      return ::testing::AssertionFailure() << what << ": error without field or message";
    }
    return ::testing::AssertionSuccess();
  }
  if (std::isfinite(*r)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << what << " returned " << *r;
}

bool same(const Result& a, const Result& b) {
  if (a.has_value() != b.has_value()) return false;
  if (!a) return a.error() == b.error();
  return std::memcmp(&*a, &*b, sizeof(double)) == 0;
}

template <class Params>
bool all_finite(const Params& values) {
  for (double x : values) {
    if (!std::isfinite(x)) return false;
  }
  return true;
}

// Typical parameters, some placed on a model's own boundary (Morse3's K0' = 1,
// the Sun-Morse roots, Murnaghan's K0' = 0, a discriminant near zero) so that
// nudges of a few epsilons probe both sides of it.
template <class Model>
struct Tag {};
auto typical(Tag<Baonza>) { return std::array{11.25, 160.0, 4.5}; }
auto typical(Tag<DensityPolynomial3>) { return std::array{11.25, 3.58, -100.0, -20.0, 5.0, 2.0}; }
auto typical(Tag<BM2>) { return std::array{11.25, 160.0}; }
auto typical(Tag<BM3>) { return std::array{11.25, 160.0, 4.5}; }
auto typical(Tag<BM4>) { return std::array{11.25, 160.0, 4.5, -0.03}; }
auto typical(Tag<Morse3>) { return std::array{11.25, 160.0, 1.0}; }
auto typical(Tag<Murnaghan>) { return std::array{11.25, 160.0, 0.0}; }
auto typical(Tag<SecondOrderMurnaghan>) { return std::array{11.25, 160.0, 4.0, 0.05, 1.5}; }
auto typical(Tag<ModifiedTait>) { return std::array{11.25, 160.0, 4.5, -0.03}; }
auto typical(Tag<NaturalStrain2>) { return std::array{11.25, 160.0}; }
auto typical(Tag<NaturalStrain3>) { return std::array{11.25, 160.0, 4.5}; }
auto typical(Tag<NaturalStrain4>) { return std::array{11.25, 160.0, 4.5, -0.03}; }
auto typical(Tag<RydbergStacey>) { return std::array{11.25, 160.0, 4.5, 2.5}; }
auto typical(Tag<SunMorse3>) { return std::array{11.25, 160.0, -1.0 / 3.0}; }
auto typical(Tag<SunMorse4>) { return std::array{11.25, 160.0, -0.25}; }
auto typical(Tag<Vinet>) { return std::array{11.25, 160.0, 4.5}; }
auto typical(Tag<Holzapfel>) { return std::array{1.125, 160.0, 4.5, 2.0, 10.0}; }

constexpr int kParameterSets = 3000;

template <class Model>
class IsothermalFuzz : public ::testing::Test {};

using AllModels =
    ::testing::Types<Baonza, DensityPolynomial3, BM2, BM3, BM4, Morse3, Murnaghan,
                     SecondOrderMurnaghan, ModifiedTait, NaturalStrain2, NaturalStrain3,
                     NaturalStrain4, RydbergStacey, SunMorse3, SunMorse4, Vinet, Holzapfel>;

class ModelNames {
 public:
  template <class T>
  static std::string GetName(int) {
    return T::kName;
  }
};

TYPED_TEST_SUITE(IsothermalFuzz, AllModels, ModelNames);

// FNV-1a of the model name, so each model draws its own sequence.
std::uint64_t seed_for(std::string_view name) {
  std::uint64_t h = 0xcbf29ce484222325ULL;
  for (char c : name) h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
  return h;
}

template <class Model>
void exercise_model(const Model& m, Random& rng) {
  const RtModel rt = m;
  const double v0 = m.v0();
  ASSERT_TRUE(all_finite(m.parameters()));

  std::vector<double> volumes = {v0,        v0 * (1 + kEps), v0 * (1 - kEps), 0.6 * v0,
                                 1.2 * v0,  0.1 * v0,        10 * v0,         1e-10 * v0,
                                 1e10 * v0, rng.special(),   rng.special(),   rng.any_bits(),
                                 rng.around(v0)};
  for (double v : volumes) {
    auto p = m.pressure(v);
    auto k = m.bulk_modulus(v);
    ASSERT_TRUE(finite_or_error(p, "pressure")) << v;
    ASSERT_TRUE(finite_or_error(k, "bulk_modulus")) << v;
    EXPECT_TRUE(same(rt.pressure(v), p)) << v;
    EXPECT_TRUE(same(rt.bulk_modulus(v), k)) << v;
    for (double step : {1e-4, rng.around(1e-4)}) {
      auto kp = m.bulk_modulus_derivative(v, step);
      ASSERT_TRUE(finite_or_error(kp, "bulk_modulus_derivative")) << v << ", " << step;
      EXPECT_TRUE(same(rt.bulk_modulus_derivative(v, step), kp)) << v << ", " << step;
    }
    if constexpr (std::is_same_v<Model, Holzapfel>) {
      ASSERT_TRUE(finite_or_error(m.bulk_modulus_derivative_eps(v, rng.around(1e-4)), "eps"));
      const double kt = k ? *k : rng.around(160.0);
      ASSERT_TRUE(finite_or_error(
          holzapfel_bulk_modulus_derivative_analytical(v0, v, kt, m.k0(), m.c0(), m.c2()),
          "analytical"));
    }
  }

  // The inversions are the expensive part, so only a few targets per model.
  for (double p : {m.pressure(0.8 * v0).value_or(10.0), rng.around(100.0), rng.special()}) {
    auto v = m.volume(p);
    ASSERT_TRUE(finite_or_error(v, "volume")) << p;
    if (v) {
      EXPECT_GT(*v, 0.0) << p;
    }
    EXPECT_TRUE(same(rt.volume(p), v)) << p;
  }

  const double new_v0 = rng.around(v0), new_k0 = rng.around(100.0);
  auto moved = m.with_reference_state(new_v0, new_k0);
  if (moved) {
    ASSERT_TRUE(all_finite(moved->parameters()));
    ASSERT_TRUE(finite_or_error(moved->pressure(0.9 * moved->v0()), "moved pressure"));
  }
  auto rt_moved = rt.with_reference_state(new_v0, new_k0);
  EXPECT_EQ(rt_moved.has_value(), moved.has_value());

  for (double shift : {0.0, rng.around(0.5), rng.special()}) {
    auto shifted = m.with_pressure_derivative_shift(shift);
    if (shifted) {
      ASSERT_TRUE(all_finite(shifted->parameters()));
      ASSERT_TRUE(finite_or_error(shifted->bulk_modulus(0.9 * shifted->v0()), "shifted K"));
    }
    EXPECT_EQ(rt.with_pressure_derivative_shift(shift).has_value(), shifted.has_value());
  }
}

TYPED_TEST(IsothermalFuzz, EveryOutcomeIsFiniteOrAnError) {
  Random rng(seed_for(TypeParam::kName));
  int built = 0;
  for (int trial = 0; trial < kParameterSets; ++trial) {
    auto values = typical(Tag<TypeParam>{});
    for (double& x : values) x = rng.around(x);
    auto m = TypeParam::from_parameters(values);
    if (!m) {
      EXPECT_EQ(m.error().kind(), EosErrorKind::InvalidParameter);
      EXPECT_FALSE(m.error().field().empty());
      continue;
    }
    ++built;
    exercise_model(*m, rng);
    if (::testing::Test::HasFatalFailure()) {
      ADD_FAILURE() << "parameters: " << ::testing::PrintToString(values);
      return;
    }
  }
  // The draws must reach the evaluations, not only the constructor checks.
  EXPECT_GT(built, kParameterSets / 20);
}

TEST(HolzapfelFuzz, AnalyticalDerivativeOnArbitraryArguments) {
  Random rng(42);
  for (int i = 0; i < 20000; ++i) {
    const double args[] = {rng.around(1.125), rng.around(0.9),  rng.around(160.0),
                           rng.around(160.0), rng.around(1.7), rng.around(0.55)};
    ASSERT_TRUE(finite_or_error(holzapfel_bulk_modulus_derivative_analytical(
                                    args[0], args[1], args[2], args[3], args[4], args[5]),
                                "analytical"))
        << ::testing::PrintToString(args);
  }
}

}  // namespace
}  // namespace barometra
