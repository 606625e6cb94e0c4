// The batch operations against the scalar ones on every instruction set this
// processor runs, and the vector elementary functions against a correctly
// rounded reference (__float128).
#include <gtest/gtest.h>
#include <quadmath.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "barometra/isothermal/batch.hpp"
#include "barometra/simd/math.hpp"

namespace barometra {
namespace {

using simd::Isa;

// Distance in units in the last place, by the ordered bit patterns.
std::int64_t ulps(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b) ? 0 : INT64_MAX;
  auto ordered = [](double x) {
    const auto i = std::bit_cast<std::int64_t>(x);
    return i < 0 ? INT64_MIN - i : i;
  };
  const std::int64_t d = ordered(a) - ordered(b);
  return d < 0 ? -d : d;
}

bool same_bits(double a, double b) {
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b) ||
         (std::isnan(a) && std::isnan(b));
}

struct Function {
  simd::Elementary id;
  const char* name;
  __float128 (*reference)(__float128);
  std::vector<double> (*inputs)(std::mt19937_64&);
};

// 2^e for e uniform over the exponents, any sign: subnormals to huge.
double any_magnitude(std::mt19937_64& g) {
  const double e = std::uniform_real_distribution<double>(-1074.0, 1024.0)(g);
  return std::ldexp(1.0, 0) * std::exp2(e);
}
const double kSpecial[] = {0.0, -0.0, 5e-324, 0x1p-1022, 0x1.fffffffffffffp-1023, 1.0,
                           0x1.fffffffffffffp1023, HUGE_VAL, -HUGE_VAL, NAN, -1.0, 0x1p-900,
                           0x1p900, -746.0, -745.13, -708.0, 709.0, 709.78, 710.0};
constexpr std::size_t kInputs = std::size_t{1} << 20;

std::vector<double> cbrt_inputs(std::mt19937_64& g) {
  std::vector<double> x(std::begin(kSpecial), std::end(kSpecial));
  // Exact cubes n^3 * 2^(3k), whose roots are exact.
  for (double n = 1; n < 4096; ++n) x.push_back(std::ldexp(n * n * n, 3 * (int(n) % 600 - 300)));
  while (x.size() < kInputs) x.push_back((g() & 1 ? 1.0 : -1.0) * any_magnitude(g));
  return x;
}
std::vector<double> exp_inputs(std::mt19937_64& g) {
  std::vector<double> x(std::begin(kSpecial), std::end(kSpecial));
  std::uniform_real_distribution<double> all(-746.0, 710.0), near(-2.0, 2.0);
  while (x.size() < kInputs) x.push_back(x.size() % 2 ? all(g) : near(g));
  return x;
}
std::vector<double> log_inputs(std::mt19937_64& g) {
  std::vector<double> x(std::begin(kSpecial), std::end(kSpecial));
  std::uniform_real_distribution<double> near(0.25, 4.0);
  while (x.size() < kInputs) x.push_back(x.size() % 2 ? any_magnitude(g) : near(g));
  return x;
}

TEST(ElementaryFunctions, WithinOneUlpOfCorrectRoundingAndAlikeOnEveryPath) {
  const Function functions[] = {
      {simd::Elementary::Cbrt, "cbrt", [](__float128 x) { return cbrtq(x); }, cbrt_inputs},
      {simd::Elementary::Exp, "exp", [](__float128 x) { return expq(x); }, exp_inputs},
      {simd::Elementary::Log, "log", [](__float128 x) { return logq(x); }, log_inputs},
  };
  std::mt19937_64 g(12);
  for (const Function& f : functions) {
    SCOPED_TRACE(f.name);
    const std::vector<double> x = f.inputs(g);
    std::vector<double> reference(x.size()), scalar(x.size()), out(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
      reference[i] = static_cast<double>(f.reference(x[i]));  // the quad value, rounded once
    }
    for (Isa isa : simd::supported_isas()) {
      SCOPED_TRACE(simd::isa_name(isa));
      std::vector<double>& y = isa == Isa::Scalar ? scalar : out;
      simd::elementary_batch(f.id, x, y, isa);
      std::size_t failures = 0;
      for (std::size_t i = 0; i < x.size() && failures < 5; ++i) {
        if (ulps(y[i], reference[i]) > 1 || !same_bits(y[i], scalar[i])) {
          ADD_FAILURE() << std::hexfloat << x[i] << " gives " << y[i] << ", reference "
                        << reference[i] << ", scalar " << scalar[i];
          ++failures;
        }
      }
    }
  }
}

// The finite-strain models take the root of V0 / V through cbrt_of_quotient,
// which derives 1 / x from 1 / V0 rather than dividing; Vinet takes the root
// of V (1 / V0) with the inverse V0 / V. Both start from the inverse.
TEST(ElementaryFunctions, CbrtFromAnInverseIsWithinOneUlp) {
  std::mt19937_64 g(3);
  std::vector<double> numerators{5e-324, 0x1p-1022, 1.0, 11.25, 0x1.fffffffffffffp1023};
  while (numerators.size() < 64) numerators.push_back(any_magnitude(g));
  for (double n : numerators) {
    for (int i = 0; i < 4096; ++i) {
      const double d = i % 64 == 0 ? kSpecial[g() % std::size(kSpecial)] : n * any_magnitude(g);
      const double x = n / d;
      ASSERT_LE(ulps(simd::cbrt_of_quotient(n, d), static_cast<double>(cbrtq(x))), 1)
          << std::hexfloat << n << " / " << d;
      const double ratio = d * (1.0 / n);
      ASSERT_LE(ulps(simd::cbrt_given_inverse(ratio, n / d), static_cast<double>(cbrtq(ratio))), 1)
          << std::hexfloat << d << " * (1 / " << n << ")";
    }
  }
}

// The models' roots skip the sign handling; for x >= 0 the bits must not move.
TEST(ElementaryFunctions, NonnegativeCbrtGivesTheSameBits) {
  std::mt19937_64 g(4);
  constexpr auto kNonnegative = simd::CbrtDomain::Nonnegative;
  for (double x : cbrt_inputs(g)) {
    x = std::fabs(x);
    const double inverse = 1.0 / x;
    ASSERT_TRUE(same_bits(simd::cbrt<kNonnegative>(x), simd::cbrt(x))) << std::hexfloat << x;
    ASSERT_TRUE(same_bits(simd::cbrt_given_inverse<kNonnegative>(x, inverse),
                          simd::cbrt_given_inverse(x, inverse)))
        << std::hexfloat << x;
    ASSERT_TRUE(same_bits(simd::cbrt_of_quotient<kNonnegative>(11.25, x),
                          simd::cbrt_of_quotient(11.25, x)))
        << std::hexfloat << x;
  }
}

// ---- Batch operations against the scalar operations ----

// A typical parameter set per RtModel tag; models are drawn around it.
const std::vector<double> kTypical[RtModel::kModelCount] = {
    {11.25, 160, 4.5},          {11.25, 3.58, -100, -20, 5, 2}, {11.25, 160},
    {11.25, 160, 4.5},          {11.25, 160, 4.5, -0.03},       {11.25, 160, 4.5},
    {11.25, 160, 4.5},          {11.25, 160, 4.5, -0.03, 1.5},  {11.25, 160, 4.5, -0.03},
    {11.25, 160},               {11.25, 160, 4.5},              {11.25, 160, 4.5, -0.03},
    {11.25, 160, 4.5, 2.5},     {11.25, 160, 4.5},              {11.25, 160, 4.5},
    {11.25, 160, 4.5},          {1.125, 160, 4.5, 2, 10},
};

template <std::size_t... Tags>
std::optional<RtModel> build(std::size_t tag, const std::vector<double>& p,
                             std::index_sequence<Tags...>) {
  std::optional<RtModel> model;
  auto one = [&]<std::size_t Tag>() {
    using Model = std::variant_alternative_t<Tag, RtModel::Variant>;
    std::array<double, Model::kParameterNames.size()> values;
    std::copy_n(p.begin(), values.size(), values.begin());
    if (auto m = Model::from_parameters(values)) model = RtModel(*m);
  };
  ((Tags == tag ? one.template operator()<Tags>() : void()), ...);
  return model;
}

RtModel random_model(std::size_t tag, std::mt19937_64& g) {
  std::uniform_real_distribution<double> nudge(0.9, 1.1);
  for (;;) {
    std::vector<double> p = kTypical[tag];
    for (double& x : p) x *= nudge(g);
    if (auto m = build(tag, p, std::make_index_sequence<RtModel::kModelCount>())) return *m;
  }
}

// Inputs around `typical`, with an occasional bad or extreme value.
std::vector<double> random_inputs(double typical, bool log_spread, std::size_t n,
                                  std::mt19937_64& g) {
  const double bad[] = {NAN, HUGE_VAL, -HUGE_VAL, 0.0, -0.0, -1.0, 5e-324, 1e-310, 1e300,
                        -1e300, 1e-14 * typical, 1e4 * typical};
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<double> x(n);
  for (double& v : x) {
    if (unit(g) < 0.002) {
      v = bad[g() % std::size(bad)];
    } else {
      v = log_spread ? typical * std::exp(6.0 * unit(g) - 3.0) : typical * (4.0 * unit(g) - 1.0);
    }
  }
  return x;
}

Result scalar(const RtModel& m, BatchOperation op, double x) {
  return op == BatchOperation::Pressure      ? m.pressure(x)
         : op == BatchOperation::BulkModulus ? m.bulk_modulus(x)
                                             : m.volume(x);
}

// Runs the batch over the whole span, resuming after each failure, in
// pieces of random length at random (so unaligned) offsets, half in place.
void expect_batch_matches_scalar(const RtModel& m, BatchOperation op,
                                 const std::vector<double>& x, Isa isa, std::mt19937_64& g) {
  std::vector<double> out(x.size());
  std::size_t begin = 0, mismatches = 0;
  while (begin < x.size() && mismatches < 5) {
    const std::size_t n = std::min<std::size_t>(1 + g() % 67, x.size() - begin);
    const bool in_place = g() & 1;
    if (in_place) std::copy_n(x.begin() + begin, n, out.begin() + begin);
    const std::span<double> target(out.data() + begin, n);
    const std::span<const double> source = in_place ? target : std::span(x.data() + begin, n);
    const BatchResult r = evaluate_batch(m, op, source, target, isa);
    const std::size_t done = r ? r->index : n;
    for (std::size_t i = 0; i < done; ++i) {
      const Result s = scalar(m, op, x[begin + i]);
      if (!s || !same_bits(*s, out[begin + i])) {
        ADD_FAILURE() << m.model_name() << ' ' << std::hexfloat << x[begin + i] << " batch "
                      << out[begin + i] << " scalar " << (s ? *s : NAN);
        ++mismatches;
      }
    }
    if (r) {
      const Result s = scalar(m, op, x[begin + r->index]);
      if (s || !(s.error() == r->error)) {
        ADD_FAILURE() << m.model_name() << ' ' << std::hexfloat << x[begin + r->index]
                      << " failed in the batch only, or with another error";
        ++mismatches;
      }
    }
    begin += r ? r->index + 1 : n;
  }
}

class BatchMatchesScalar : public ::testing::TestWithParam<BatchOperation> {};

TEST_P(BatchMatchesScalar, OverAMillionRandomStatesOfEveryModel) {
  const BatchOperation op = GetParam();
  // Inversions cost fifty evaluations each: fewer states, as many models.
  const std::size_t per_model = (op == BatchOperation::Volume ? 1 << 16 : 1 << 20) /
                                RtModel::kModelCount;
  std::mt19937_64 g(static_cast<unsigned>(op));
  for (std::size_t tag = 0; tag < RtModel::kModelCount; ++tag) {
    const RtModel m = random_model(tag, g);
    std::vector<double> x;
    if (op == BatchOperation::Volume) {
      const std::vector<double> v = random_inputs(m.v0(), true, per_model, g);
      for (double volume : v) x.push_back(m.pressure(volume).value_or(volume));
    } else {
      x = random_inputs(m.v0(), tag % 2 == 0, per_model, g);
    }
    for (Isa isa : simd::supported_isas()) {
      SCOPED_TRACE(simd::isa_name(isa));
      expect_batch_matches_scalar(m, op, x, isa, g);
    }
  }
}

std::string operation_name(const ::testing::TestParamInfo<BatchOperation>& info) {
  constexpr const char* kNames[] = {"Pressure", "BulkModulus", "Volume"};
  return kNames[static_cast<int>(info.param)];
}
INSTANTIATE_TEST_SUITE_P(Operations, BatchMatchesScalar,
                         ::testing::Values(BatchOperation::Pressure, BatchOperation::BulkModulus,
                                           BatchOperation::Volume),
                         operation_name);

TEST(Batch, FirstFailureInAFullArray) {
  const RtModel bm3 = BM3::create(11.25, 160, 4.5).value();
  std::vector<double> v(1000, 9.0), out(v.size());
  v[700] = NAN;
  v[3] = -1.0;
  for (Isa isa : simd::supported_isas()) {
    const BatchResult r = evaluate_batch(bm3, BatchOperation::Pressure, v, out, isa);
    ASSERT_TRUE(r);
    EXPECT_EQ(*r, (BatchFailure{3, EosError::invalid_state("volume", "must be positive and finite")}));
    EXPECT_EQ(out[2], bm3.pressure(9.0).value());
  }
  EXPECT_TRUE(has_vector_kernels(bm3) || simd::best_isa() == Isa::Scalar);
  EXPECT_FALSE(has_vector_kernels(Baonza::create(11.25, 160, 4.5).value()));
}

}  // namespace
}  // namespace barometra
