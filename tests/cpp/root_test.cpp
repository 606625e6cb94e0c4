#include "barometra/root.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace barometra {
namespace {

// Wraps a plain function, counting evaluations.
template <class F>
struct Counting {
  F f;
  int* calls;
  Result operator()(double x) const noexcept {
    ++*calls;
    return f(x);
  }
};
template <class F>
Counting<F> counting(F f, int& calls) {
  return Counting<F>{f, &calls};
}

// A stiff decreasing pressure curve, P(V) = 100 ((10/V)^4 - 1).
Result stiff(double v) noexcept { return 100.0 * (std::pow(10.0 / v, 4.0) - 1.0); }

TEST(SolveVolume, InvertsAcrossCompressionAndExpansion) {
  for (double v : {2.0, 6.0, 9.99, 10.0, 10.5, 14.0}) {
    auto p = stiff(v);
    auto solved = solve_volume_function(stiff, *p, 10.0);
    ASSERT_TRUE(solved) << v;
    EXPECT_NEAR(*solved, v, 1e-12 * v) << v;
  }
}

TEST(SolveVolume, StartWithinRelativeToleranceIsReturnedAfterOneEvaluation) {
  int calls = 0;
  auto solved = solve_volume_function(counting(stiff, calls), 5e-11, 10.0);
  ASSERT_TRUE(solved);
  EXPECT_EQ(*solved, 10.0);
  EXPECT_EQ(calls, 1);
}

TEST(SolveVolume, RejectsBadTargetBeforeEvaluating) {
  for (double target : {double(NAN), double(INFINITY), -double(INFINITY)}) {
    int calls = 0;
    auto solved = solve_volume_function(counting(stiff, calls), target, 10.0);
    ASSERT_FALSE(solved);
    EXPECT_EQ(solved.error(), EosError::invalid_state("pressure", "must be finite"));
    EXPECT_EQ(calls, 0);
  }
  for (double start : {0.0, -1.0, double(NAN), double(INFINITY)}) {
    auto solved = solve_volume_function(stiff, 1.0, start);
    ASSERT_FALSE(solved);
    EXPECT_EQ(solved.error(),
              EosError::invalid_state("reference volume", "must be positive and finite"));
  }
}

TEST(SolveVolume, CompressionStopsAtTheLowerLimitAfter144Trials) {
  int calls = 0;
  auto never_enough = [](double) noexcept -> Result { return -1.0; };
  auto solved = solve_volume_function(counting(never_enough, calls), 0.0, 10.0);
  ASSERT_FALSE(solved);
  EXPECT_EQ(solved.error().kind(), EosErrorKind::BracketingFailed);
  EXPECT_EQ(calls, 1 + 144);
}

TEST(SolveVolume, ExpansionStopsAfter160TrialsWithOutsideInvertibleRange) {
  int calls = 0;
  // Tends to a finite minimum of -1 on expansion; the target lies below it.
  auto floored = [](double v) noexcept -> Result { return 1.0 / v - 1.0; };
  auto solved = solve_volume_function(counting(floored, calls), -2.0, 1.0);
  ASSERT_FALSE(solved);
  EXPECT_EQ(solved.error().kind(), EosErrorKind::OutsideInvertibleRange);
  EXPECT_EQ(calls, 1 + 160);
}

TEST(SolveVolume, ModelErrorsMetDuringTheSearchPassThrough) {
  const EosError domain = EosError::invalid_state("volume", "is outside the modified Tait EOS domain");
  auto bounded = [&](double v) noexcept -> Result {
    if (v < 7.0) return std::unexpected(domain);
    return stiff(v);
  };
  auto solved = solve_volume_function(bounded, *stiff(5.0), 10.0);
  ASSERT_FALSE(solved);
  EXPECT_EQ(solved.error(), domain);
}

TEST(SolveVolume, DiscontinuityFailsTheFinalResidualCheck) {
  auto step = [](double v) noexcept -> Result { return v < 7.3 ? 10.0 : -10.0; };
  auto solved = solve_volume_function(step, 0.0, 10.0);
  ASSERT_FALSE(solved);
  EXPECT_EQ(solved.error().kind(), EosErrorKind::ConvergenceFailed);
}

TEST(BisectBracket, SameSignEndsFailAndAcceptedPointIsNotRechecked) {
  auto same = bisect_bracket(stiff, 0.0, 2.0, 1.0, 3.0, 2.0, 1e-14, 1e-15);
  ASSERT_FALSE(same);
  EXPECT_EQ(same.error().kind(), EosErrorKind::BracketingFailed);

  auto step = [](double v) noexcept -> Result { return v < 7.3 ? 10.0 : -10.0; };
  auto accepted = bisect_bracket(step, 0.0, 5.0, 10.0, 10.0, -10.0, 1e-12, 1e-15);
  ASSERT_TRUE(accepted);
  EXPECT_NEAR(*accepted, 7.3, 1e-10);
}

TEST(CheckResidual, UsesTheRelativeTolerance) {
  auto identity = [](double x) noexcept -> Result { return x; };
  EXPECT_TRUE(check_residual(identity, 1e9, 1e9 + 9.0));
  EXPECT_FALSE(check_residual(identity, 1e9, 1e9 + 11.0));
  EXPECT_TRUE(check_residual(identity, 0.0, 0.9e-8));
  EXPECT_FALSE(check_residual(identity, 0.0, 1.1e-8));
}

// g(T) = (ln(T/Ts) - a)(ln(T/Ts) - b): two roots, one on each side of Ts.
auto two_roots(double a, double b) {
  return [a, b](double t) noexcept -> Result {
    const double l = std::log(t / 300.0);
    return (l - a) * (l - b);
  };
}

TEST(SolveTemperature, KeepsTheRootNearestTheStartOnALogScale) {
  auto lower = solve_temperature_function(two_roots(-0.05, 0.1), 0.0, 300.0);
  ASSERT_TRUE(lower);
  EXPECT_NEAR(*lower, 300.0 * std::exp(-0.05), 1e-9);
  auto upper = solve_temperature_function(two_roots(-0.1, 0.05), 0.0, 300.0);
  ASSERT_TRUE(upper);
  EXPECT_NEAR(*upper, 300.0 * std::exp(0.05), 1e-9);
}

TEST(SolveTemperature, FindsAOneSidedRootAndItsInverse) {
  auto linear = [](double t) noexcept -> Result { return 0.003 * (t - 300.0); };
  for (double t : {1.0, 150.0, 299.0, 301.0, 2500.0, 1e6}) {
    auto solved = solve_temperature_function(linear, *linear(t), 300.0);
    ASSERT_TRUE(solved) << t;
    EXPECT_NEAR(*solved, t, 1e-9 * t) << t;
  }
}

TEST(SolveTemperature, CrossingBeyondTheLimitsIsOutsideTheRange) {
  int calls = 0;
  auto far = [](double t) noexcept -> Result { return t - 2e8; };
  auto solved = solve_temperature_function(counting(far, calls), 0.0, 1.0);
  ASSERT_FALSE(solved);
  EXPECT_EQ(solved.error().kind(), EosErrorKind::OutsideInvertibleRange);
  EXPECT_LE(calls, 1 + 2 * 160);
}

TEST(SolveTemperature, ChecksTargetThenStart) {
  auto flat = [](double) noexcept -> Result { return 0.0; };
  auto bad_both = solve_temperature_function(flat, NAN, -1.0);
  ASSERT_FALSE(bad_both);
  EXPECT_EQ(bad_both.error(), EosError::invalid_state("pressure", "must be finite"));
  auto bad_start = solve_temperature_function(flat, 1.0, 0.0);
  ASSERT_FALSE(bad_start);
  EXPECT_EQ(bad_start.error(), EosError::invalid_state("temperature", "must be positive and finite"));
}

TEST(SolveTemperature, FunctionErrorsPassThrough) {
  auto failing = [](double t) noexcept -> Result {
    if (t > 400.0) return std::unexpected(EosError::non_finite_result());
    return t;
  };
  auto solved = solve_temperature_function(failing, 1000.0, 300.0);
  ASSERT_FALSE(solved);
  EXPECT_EQ(solved.error().kind(), EosErrorKind::NonFiniteResult);
}

}  // namespace
}  // namespace barometra
