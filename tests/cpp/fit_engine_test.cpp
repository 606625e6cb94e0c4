#include "barometra/fit/engine.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

namespace barometra {
namespace {

constexpr double kInf = INFINITY;

// f(x) = x - 3, recording every point it is evaluated at.
struct ShiftedLine {
  std::vector<double> points;
  ResidualStatus operator()(std::span<const double> x, std::vector<double>& f) {
    points.push_back(x[0]);
    f = {x[0] - 3.0};
    return {};
  }
};

std::expected<SolverResult, FitError> run(ShiftedLine& f, double x0, double lo, double hi,
                                          SolverOptions options = {}) {
  return least_squares_internal(std::vector{x0}, std::vector{lo}, std::vector{hi}, options,
                                std::nullopt, f);
}

TEST(LeastSquares, LinearResidualReachesItsRootAndTheFirstStepIsDamped) {
  ShiftedLine f;
  const SolverResult r = run(f, 0.0, -10.0, 10.0).value();
  // Evaluations: the start, the central difference (2), then the first trial.
  EXPECT_NEAR(f.points[3], 3.0 / 1.001, 1e-12);
  EXPECT_NEAR(r.x[0], 3.0, 1e-9);
  EXPECT_TRUE(r.success);
  EXPECT_GE(r.status, 1);
  EXPECT_EQ(r.row_count(), 1u);
  EXPECT_NEAR(r.jac.at(0, 0), 1.0, 1e-7);
  EXPECT_LT(r.nfev, 8u);
}

TEST(LeastSquares, MinimumOutsideTheBoxStopsOnItsBoundByGtol) {
  ShiftedLine f;
  const SolverResult r = run(f, 0.0, -1.0, 1.0).value();
  EXPECT_EQ(r.x[0], 1.0);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.message, "`gtol` termination condition is satisfied.");
  EXPECT_EQ(r.optimality, 0.0);
  EXPECT_EQ(r.nfev, 2u);
  EXPECT_EQ(r.cost, 2.0);
}

TEST(LeastSquares, BudgetOfOneTriesNoStep) {
  ShiftedLine f;
  SolverOptions options;
  options.max_evaluations = 1;
  const SolverResult r = run(f, 0.0, -10.0, 10.0, options).value();
  EXPECT_EQ(r.status, 0);
  EXPECT_FALSE(r.success);
  EXPECT_EQ(r.message, "The maximum number of function evaluations is exceeded.");
  EXPECT_EQ(r.nfev, 1u);
  EXPECT_EQ(r.njev, 1u);
  EXPECT_NEAR(r.optimality, 3.0, 1e-7);
  EXPECT_EQ(r.x[0], 0.0);
}

TEST(LeastSquares, StartAtTheMinimumComputesTwoJacobians) {
  ShiftedLine f;
  const SolverResult r = run(f, 3.0, -10.0, 10.0).value();
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.nfev, 1u);
  EXPECT_EQ(r.njev, 2u);
  EXPECT_EQ(r.cost, 0.0);
}

// The budget runs out after the first accepted step: the reported Jacobian and
// optimality are those of the start, as the last outer iteration left them.
TEST(LeastSquares, BudgetAfterAnAcceptedStepKeepsThePreviousJacobian) {
  auto quadratic = [](std::span<const double> x, std::vector<double>& f) -> ResidualStatus {
    f = {x[0] * x[0] - 2.0, x[0] - 1.0};
    return {};
  };
  SolverOptions options;
  options.max_evaluations = 2;
  const SolverResult r = least_squares_internal(std::vector{3.0}, std::vector{-kInf},
                                                std::vector{kInf}, options, std::nullopt,
                                                quadratic).value();
  EXPECT_EQ(r.nfev, 2u);
  EXPECT_EQ(r.njev, 1u);
  EXPECT_NEAR(r.jac.at(0, 0), 6.0, 1e-6);
  EXPECT_NE(r.x[0], 3.0);
  EXPECT_EQ(r.message, "The maximum number of function evaluations is exceeded.");
}

TEST(LeastSquares, ResidualFailuresEndTheRunUnchanged) {
  int calls = 0;
  auto shrinking = [&](std::span<const double> x, std::vector<double>& f) -> ResidualStatus {
    f.assign(++calls < 4 ? 2 : 1, x[0]);
    return {};
  };
  EXPECT_EQ(least_squares_internal(std::vector{1.0}, std::vector{-kInf}, std::vector{kInf}, {},
                                   std::nullopt, shrinking).error(),
            FitError::evaluation_failed("residual evaluation returned an invalid vector"));
  auto eos = [](std::span<const double>, std::vector<double>&) -> ResidualStatus {
    return std::unexpected(FitError(EosError::non_finite_result()));
  };
  EXPECT_EQ(least_squares_internal(std::vector{1.0}, std::vector{0.0}, std::vector{2.0}, {},
                                   std::nullopt, eos).error(),
            FitError(EosError::non_finite_result()));
  // Invalid problems never evaluate.
  SolverOptions bad;
  bad.f_scale = -1.0;
  EXPECT_EQ(least_squares_internal(std::vector{1.0}, std::vector{0.0}, std::vector{2.0}, bad,
                                   std::nullopt, eos).error(),
            FitError::invalid_input("f_scale must be positive and finite"));
}

TEST(LeastSquares, LayoutMustMatchBothVectors) {
  auto two = [](std::span<const double> x, std::vector<double>& f) -> ResidualStatus {
    f = {x[0], x[1], x[1]};
    return {};
  };
  const std::vector<double> x{1.0, 1.0}, lo(2, -kInf), hi(2, kInf);
  EXPECT_EQ(least_squares_internal(x, lo, hi, {}, StructuredLayout{1, 1, 1}, two).error(),
            FitError::invalid_input("structured layout does not match the residual vector"));
  EXPECT_EQ(least_squares_internal(x, lo, hi, {}, StructuredLayout{1, 2, 1}, two).error(),
            FitError::invalid_input("structured layout does not match the parameter vector"));
}

// The start is an isolated minimum that the Jacobian cannot see: every trial
// is rejected, lambda climbs to 1e20, and the smallest step (5e-15) still
// exceeds xtol * (xtol + |x|), so no step is acceptable.
TEST(LeastSquares, GivesUpAfterTwentyFourAttempts) {
  auto kink = [](std::span<const double> x, std::vector<double>& f) -> ResidualStatus {
    f = {x[0] == 0.0 ? 0.5 : 1.0 + 1e-6 * x[0]};
    return {};
  };
  const SolverResult r = least_squares_internal(std::vector{0.0}, std::vector{-1.0},
                                                std::vector{1.0}, {}, std::nullopt, kink)
                             .value();
  EXPECT_EQ(r.nfev, 1u + 24u);
  EXPECT_EQ(r.njev, 1u);
  EXPECT_EQ(r.x[0], 0.0);
  EXPECT_FALSE(r.success);
  EXPECT_EQ(r.message, "No acceptable optimization step could be computed.");
}

// Residuals whose squares, or the sum of whose squares, overflow: no step
// could be accepted from the infinite cost, so the run fails at once.
TEST(LeastSquares, InfiniteStartingCostFailsNamingTheResidual) {
  for (const auto& [residuals, index] :
       {std::pair{std::vector{1.0, -1e300, 1e300}, 1}, {std::vector{1.0, 1e154, 1e154, 2e154}, 2}}) {
    auto constant = [&](std::span<const double>, std::vector<double>& f) -> ResidualStatus {
      f = residuals;
      return {};
    };
    EXPECT_EQ(least_squares_internal(std::vector{0.0}, std::vector{-1.0}, std::vector{1.0}, {},
                                     std::nullopt, constant)
                  .error(),
              FitError::evaluation_failed("cost is not finite at the initial values (residual " +
                                          std::to_string(index) + ")"));
  }
}

TEST(ProjectedGradientNorm, BlocksOnlyTowardsTheBoundReached) {
  const std::vector<double> lo{0.0, 0.0, 0.0}, hi{1.0, 1.0, 1.0};
  EXPECT_EQ(projected_gradient_norm(std::vector{2.0, -3.0, 0.5}, std::vector{0.0, 1.0, 0.5}, lo,
                                    hi),
            0.5);
  EXPECT_EQ(projected_gradient_norm(std::vector{-2.0, double(NAN), 0.0}, std::vector{0.0, 0.5, 0.5}, lo,
                                    hi),
            2.0);
  EXPECT_EQ(projected_gradient_norm({}, {}, {}, {}), 0.0);
  EXPECT_EQ(scaled_norm_difference(std::vector{3.0, 0.5, 9.0}, std::vector{1.0, 0.5}), 2.0);
  EXPECT_EQ(scaled_norm_difference({}, {}), 0.0);
}

}  // namespace
}  // namespace barometra
