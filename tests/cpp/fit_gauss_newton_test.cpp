#include "barometra/fit/gauss_newton.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace barometra {
namespace {

constexpr double kInf = INFINITY, kH = 1.4901161193847656e-08;

// G = 2 globals (a, b), latents u_k (c = 0) and v_k (c = 1) of point k; rows
// of point k read only a, b, u_k and v_k.
struct Sparse {
  StructuredLayout layout;
  int calls = 0;
  ResidualStatus operator()(std::span<const double> x, std::vector<double>& f) {
    ++calls;
    const std::size_t p = layout.point_count;
    f.assign(3 * p, 0.0);
    for (std::size_t k = 0; k < p; ++k) {
      const double a = x[0], b = x[1], u = x[layout.latent_index(k, 0)],
                   v = x[layout.latent_index(k, 1)];
      f[k] = a * std::exp(-b * u) + a * v * u - std::sin(0.3 * k);
      f[p + k] = u - 0.1 * k;
      f[2 * p + k] = b * v * v - 0.5;
    }
    return {};
  }
};

std::vector<double> start(const StructuredLayout& layout) {
  std::vector<double> x(*layout.parameter_count());
  x[0] = 1.3;
  x[1] = 0.7;
  for (std::size_t i = 2; i < x.size(); ++i) x[i] = 0.2 + 0.01 * i;
  return x;
}

struct Problem {
  StructuredLayout layout;
  Sparse f;
  std::vector<double> x, lower, upper, f0;
  explicit Problem(std::size_t points)
      : layout{2, points, 2}, f{layout}, x(start(layout)), lower(x.size(), -kInf),
        upper(x.size(), kInf) {
    (void)f(x, f0);
  }
};

Jacobian dense_copy(const Jacobian& j) {
  Jacobian dense = Jacobian::dense(j.rows(), j.cols());
  const auto values = j.to_dense();
  for (std::size_t r = 0; r < j.rows(); ++r) {
    for (std::size_t c = 0; c < j.cols(); ++c) dense.at(r, c) = values[r * j.cols() + c];
  }
  return dense;
}

TEST(FiniteDifferenceColumn, CentralInsideOneSidedOnABound) {
  auto linear = [](std::span<const double> x, std::vector<double>& f) -> ResidualStatus {
    f = {3.0 * x[0] - 1.0, x[0] * x[0]};
    return {};
  };
  const std::vector<double> f0{2.0, 1.0};
  auto inside = finite_difference_column(std::vector{1e6}, std::vector{-kInf},
                                         std::vector{kInf}, f0, 0, linear).value();
  EXPECT_EQ(inside.step, 2 * 1e6 * kH);
  EXPECT_EQ(inside.evaluations, 2u);
  auto at_lower = finite_difference_column(std::vector{1.0}, std::vector{1.0}, std::vector{2.0},
                                           std::vector{2.0, 1.0}, 0, linear).value();
  EXPECT_EQ(at_lower.step, kH);
  EXPECT_EQ(at_lower.evaluations, 1u);
  EXPECT_NEAR(at_lower.difference[0] / at_lower.step, 3.0, 1e-7);
  EXPECT_NEAR(at_lower.difference[1] / at_lower.step, 2.0, 1e-7);  // forward: 2 + h
  // Close to the upper bound the forward room is cut short.
  auto near_upper = finite_difference_column(std::vector{0.0}, std::vector{-1.0},
                                             std::vector{1e-9}, f0, 0, linear).value();
  EXPECT_EQ(near_upper.step, kH + 1e-9);
  auto at_upper = finite_difference_column(std::vector{0.0}, std::vector{-1.0},
                                           std::vector{0.0}, std::vector{-1.0, 0.0}, 0, linear);
  EXPECT_EQ(at_upper->step, kH);
  EXPECT_NEAR(at_upper->difference[1] / at_upper->step, -kH, 1e-12);  // backward: (0 - h^2) / h
  EXPECT_EQ(finite_difference_column(std::vector{0.0, 1.0}, std::vector{0.0, 1.0},
                                     std::vector{1.0, 1.0}, f0, 1, linear).error(),
            FitError::invalid_input("parameter 1 is fixed by equal bounds"));
}

TEST(FiniteDifferenceForLayout, PassesEvaluationFailuresThrough) {
  int calls = 0;
  auto failing = [&](std::span<const double> x, std::vector<double>& f) -> ResidualStatus {
    if (++calls == 2) return std::unexpected(FitError::evaluation_failed("boom"));
    f.assign(calls == 3 ? 1 : 2, x[0]);
    return {};
  };
  const std::vector<double> x{1.0, 2.0}, lo{-kInf, -kInf}, hi{kInf, kInf}, f0{0.0, 0.0};
  EXPECT_EQ(finite_difference_for_layout(x, lo, hi, f0, std::nullopt, failing).error(),
            FitError::evaluation_failed("boom"));
  calls = 2;  // the next one returns one value where two are expected
  EXPECT_EQ(finite_difference_for_layout(x, lo, hi, f0, std::nullopt, failing).error(),
            FitError::evaluation_failed("residual evaluation returned an invalid vector"));
}

// Rows depend only on their own point, so moving every point's latent at
// once gives bit for bit the columns of one-at-a-time differences, for
// 2 G + 2 L evaluations instead of 2 n.
TEST(FiniteDifferenceForLayout, StructuredEqualsDenseWithTwoEvaluationsPerLatent) {
  for (std::size_t points : {1u, 3u, 40u}) {
    Problem p(points);
    auto structured =
        finite_difference_for_layout(p.x, p.lower, p.upper, p.f0, p.layout, p.f).value();
    auto dense = finite_difference_for_layout(p.x, p.lower, p.upper, p.f0, std::nullopt, p.f)
                     .value();
    EXPECT_EQ(structured.evaluations, 2u * 2 + 2u * 2);
    EXPECT_EQ(dense.evaluations, 2 * p.x.size());
    EXPECT_EQ(structured.jacobian.to_dense(), dense.jacobian.to_dense()) << points;
  }
}

TEST(FiniteDifferenceForLayout, LatentOnABoundStillCostsTwoEvaluations) {
  Problem p(4);
  p.lower[p.layout.latent_index(1, 0)] = p.x[p.layout.latent_index(1, 0)];
  p.upper[p.layout.latent_index(2, 1)] = p.x[p.layout.latent_index(2, 1)];
  auto j = finite_difference_for_layout(p.x, p.lower, p.upper, p.f0, p.layout, p.f).value();
  EXPECT_EQ(j.evaluations, 8u);
  EXPECT_NEAR(j.jacobian.at(4 + 1, 2), 1.0, 1e-7);  // d(u - obs)/du, forward
  p.upper[p.layout.latent_index(3, 0)] = p.lower[p.layout.latent_index(3, 0)] =
      p.x[p.layout.latent_index(3, 0)];
  EXPECT_EQ(finite_difference_for_layout(p.x, p.lower, p.upper, p.f0, p.layout, p.f).error(),
            FitError::invalid_input("parameter 5 is fixed by equal bounds"));
}

TEST(NormalEquations, StructuredStepEqualsTheDenseStep) {
  for (std::size_t points : {3u, 50u}) {
    Problem p(points);
    auto j = finite_difference_for_layout(p.x, p.lower, p.upper, p.f0, p.layout, p.f).value();
    std::vector<double> w(p.f0.size());
    for (std::size_t r = 0; r < w.size(); ++r) w[r] = 0.5 + 0.01 * r;
    const NormalSystem structured = normal_equations_for_layout(j.jacobian, p.f0, w);
    const NormalSystem dense = normal_equations_for_layout(dense_copy(j.jacobian), p.f0, w);
    EXPECT_EQ(structured.gradient, dense.gradient);
    const std::size_t n = p.x.size();
    EXPECT_EQ(structured.latent[(points - 1) * 4 + 2], dense.a[(n - 1) * n + (n - 1 - points)]);
    for (double lambda : {1e-3, 10.0}) {
      const auto a = solve_normal_step(structured, lambda).value();
      const auto b = solve_normal_step(dense, lambda).value();
      for (std::size_t i = 0; i < n; ++i) {
        EXPECT_NEAR(a[i], b[i], 1e-10 * (1.0 + std::fabs(b[i]))) << points << " " << i;
      }
    }
  }
}

// Fixing parameters decouples them: they take no step, and the structured
// step still equals the dense one.
TEST(NormalEquations, FixedParametersStayWhereTheyAre) {
  Problem p(5);
  auto j = finite_difference_for_layout(p.x, p.lower, p.upper, p.f0, p.layout, p.f).value();
  const std::vector<double> w(p.f0.size(), 1.0);
  NormalSystem structured = normal_equations_for_layout(j.jacobian, p.f0, w);
  NormalSystem dense = normal_equations_for_layout(dense_copy(j.jacobian), p.f0, w);
  std::vector<std::uint8_t> fixed(p.x.size(), 0);
  fixed[1] = fixed[p.layout.latent_index(3, 0)] = fixed[p.layout.latent_index(0, 1)] = 1;
  detail::fix_parameters(structured, fixed);
  detail::fix_parameters(dense, fixed);
  const auto a = solve_normal_step(structured, 1e-3).value();
  const auto b = solve_normal_step(dense, 1e-3).value();
  for (std::size_t i = 0; i < p.x.size(); ++i) {
    if (fixed[i]) EXPECT_EQ(a[i], 0.0) << i;
    if (fixed[i]) EXPECT_EQ(b[i], 0.0) << i;
    EXPECT_NEAR(a[i], b[i], 1e-10 * (1.0 + std::fabs(b[i]))) << i;
  }
}

TEST(NormalEquations, SingularLatentBlockFailsTheStep) {
  NormalSystem system;
  system.layout = StructuredLayout{1, 2, 2};
  system.a = {1.0};
  system.coupling = {0.0, 0.0, 0.0, 0.0};
  system.latent = {1.0, 0.0, 0.0, 1.0, 1.0, 1.0, 1.0, 1.0};  // point 1: rank one
  system.gradient.assign(5, 1.0);
  EXPECT_EQ(solve_normal_step(system, 0.0).error(), FitError::singular_system());
  EXPECT_TRUE(solve_normal_step(system, 1e-3));
}

}  // namespace
}  // namespace barometra
