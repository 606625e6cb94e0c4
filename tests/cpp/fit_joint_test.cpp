#include "barometra/fit/joint_fit.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace barometra {
namespace {

// A model linear in its parameters, P = a + b V, and a scale linear in its
// one parameter, P = t Vc: with pressure residuals only the joint problem is
// linear, and its normal equations, solved densely here, are the answer.
auto linear_sample = [](std::span<const double> p, std::span<const double> v,
                        std::span<const double>, std::span<double> out) -> PredictionStatus {
  for (std::size_t i = 0; i < v.size(); ++i) out[i] = p[0] + p[1] * v[i];
  return {};
};
auto linear_scale = [](std::span<const double> t, std::span<const double> v,
                       std::span<const double>, std::span<double> out) -> PredictionStatus {
  for (std::size_t i = 0; i < v.size(); ++i) out[i] = t[0] * v[i];
  return {};
};

// Inverse of a small symmetric positive definite matrix by Gauss-Jordan.
std::vector<double> inverse(std::vector<double> a, std::size_t n) {
  std::vector<double> b(n * n, 0.0);
  for (std::size_t i = 0; i < n; ++i) b[i * n + i] = 1.0;
  for (std::size_t c = 0; c < n; ++c) {
    const double pivot = a[c * n + c];
    for (std::size_t j = 0; j < n; ++j) a[c * n + j] /= pivot, b[c * n + j] /= pivot;
    for (std::size_t r = 0; r < n; ++r) {
      if (r == c) continue;
      const double f = a[r * n + c];
      for (std::size_t j = 0; j < n; ++j) a[r * n + j] -= f * a[c * n + j], b[r * n + j] -= f * b[c * n + j];
    }
  }
  return b;
}

TEST(JointFit, OffsetsAndScalePriorMatchTheDenseNormalEquations) {
  // Rows 0-5 static in dataset 0, 6-11 calibrant rows in dataset 1 (offset).
  const std::size_t n = 12;
  std::vector<double> p(n), v(n), sp(n, 0.5), vc(n), cvs;
  std::vector<std::uint32_t> dataset(n);
  std::vector<std::uint8_t> kind(n);
  for (std::size_t i = 0; i < n; ++i) {
    v[i] = 10.0 - 0.3 * static_cast<double>(i);
    dataset[i] = i < 6 ? 0 : 1;
    kind[i] = static_cast<std::uint8_t>(i < 6 ? RowKind::Static : RowKind::Calibrant);
    vc[i] = 5.0 + 0.1 * static_cast<double>(i) + 0.05 * std::sin(static_cast<double>(i));
    p[i] = 40.0 - 3.0 * v[i] + 0.2 * std::cos(3.0 * static_cast<double>(i));
  }
  const std::vector<double> prior{2.0}, factor{0.1};
  const JointRows rows{.pressure = p, .volume = v, .pressure_sigma = sp, .dataset = dataset,
                       .kind = kind, .calibrant_volume = vc};
  const JointSetup setup{.dataset_count = 2, .pressure_offsets = true, .prior = {prior, factor}};
  const std::vector<double> start{30.0, -2.0}, lower(2, -HUGE_VAL), upper(2, HUGE_VAL);
  const JointPredictions predict{.sample = linear_sample, .calibrant = linear_scale};
  const auto fitted = fit_joint_eos(rows, setup, start, lower, upper, SolverOptions{}, predict);
  ASSERT_TRUE(fitted.has_value());

  // Globals (a, b, offset, t); rows r_i = (a + b v_i + o [i >= 6] - y_i) / s with
  // y_i = p_i or t vc_i, then the prior (t - 2) / 0.1.
  constexpr std::size_t g = 4;
  std::vector<double> normal(g * g, 0.0), rhs(g, 0.0);
  auto add = [&](const double (&row)[g], double target, double weight) {
    for (std::size_t i = 0; i < g; ++i) {
      rhs[i] += weight * row[i] * target;
      for (std::size_t j = 0; j < g; ++j) normal[i * g + j] += weight * row[i] * row[j];
    }
  };
  for (std::size_t i = 0; i < n; ++i) {
    const bool cal = i >= 6;
    const double row[g] = {1.0, v[i], cal ? 1.0 : 0.0, cal ? -vc[i] : 0.0};
    add(row, cal ? 0.0 : p[i], 1.0 / (sp[i] * sp[i]));
  }
  add({0.0, 0.0, 0.0, 1.0}, 2.0, 100.0);
  const auto cov = inverse(normal, g);
  for (std::size_t i = 0; i < g; ++i) {
    double x = 0.0;
    for (std::size_t j = 0; j < g; ++j) x += cov[i * g + j] * rhs[j];
    EXPECT_NEAR(fitted->parameters[i], x, 1e-7 * (1.0 + std::abs(x))) << i;
    for (std::size_t j = 0; j < g; ++j) {
      EXPECT_NEAR(fitted->covariance[i * g + j], cov[i * g + j], 1e-6 * std::abs(cov[i * g + i]));
    }
  }
  // Without the scale's share: the inverse of the sample block of the normal matrix.
  std::vector<double> block(9);
  for (std::size_t i = 0; i < 3; ++i) {
    for (std::size_t j = 0; j < 3; ++j) block[i * 3 + j] = normal[i * g + j];
  }
  const auto held = inverse(block, 3);
  for (std::size_t i = 0; i < 9; ++i) {
    EXPECT_NEAR(fitted->covariance_without_nuisance[i], held[i], 1e-6 * std::abs(held[i / 3 * 4]));
  }
  EXPECT_EQ(fitted->residual_count, n + 1);
  EXPECT_EQ(fitted->variable_count, g);
  EXPECT_EQ(fitted->dataset_residuals, (std::vector<std::size_t>{6, 6}));
}

TEST(JointFit, PinnedLatentsStayPutAndLeaveTheStatistics) {
  // Latent volumes for the odd rows only; the even rows' are exact (sigma 0).
  const std::size_t n = 10;
  std::vector<double> p(n), v(n), sp(n, 0.2), sv(n);
  for (std::size_t i = 0; i < n; ++i) {
    v[i] = 5.0 + 0.5 * static_cast<double>(i);
    p[i] = 1.0 + 2.0 * v[i] + 0.1 * std::sin(static_cast<double>(i));
    sv[i] = i % 2 ? 0.05 : 0.0;
  }
  const JointRows rows{.pressure = p, .volume = v, .pressure_sigma = sp, .volume_sigma = sv};
  const std::vector<double> start{0.0, 1.0}, lower(2, -HUGE_VAL), upper(2, HUGE_VAL);
  const auto fitted = fit_joint_eos(rows, JointSetup{}, start, lower, upper, SolverOptions{},
                                    JointPredictions{.sample = linear_sample});
  ASSERT_TRUE(fitted.has_value());
  for (std::size_t i = 0; i < n; i += 2) EXPECT_EQ(fitted->volumes[i], v[i]);
  EXPECT_EQ(fitted->residual_count, n + n / 2);
  EXPECT_EQ(fitted->variable_count, 2 + n / 2);
  EXPECT_EQ(fitted->degrees_of_freedom, static_cast<std::int64_t>(n - 2));
}

}  // namespace
}  // namespace barometra
