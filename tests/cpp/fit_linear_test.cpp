#include "barometra/fit/linear.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace barometra {
namespace {

TEST(SolveScaledLinearSystem, RecoversAKnownSolutionAcrossScales) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (std::size_t n : {1u, 2u, 5u, 12u}) {
    std::vector<double> a(n * n), x(n), b(n, 0.0);
    for (double& v : a) v = u(random);
    for (std::size_t i = 0; i < n; ++i) {
      a[i * n + i] += 3.0;
      x[i] = u(random);
    }
    // Rows and columns scaled by 1e-8..1e8: the diagonal scaling undoes it.
    for (std::size_t i = 0; i < n; ++i) {
      for (std::size_t j = 0; j < n; ++j) a[i * n + j] *= std::pow(10.0, 8.0 * (u(random) > 0));
    }
    for (std::size_t i = 0; i < n; ++i) {
      for (std::size_t j = 0; j < n; ++j) b[i] += a[i * n + j] * x[j];
    }
    const auto solved = solve_scaled_linear_system(a, b, n).value();
    for (std::size_t i = 0; i < n; ++i) EXPECT_NEAR(solved[i], x[i], 1e-9) << n;
  }
}

TEST(SolveScaledLinearSystem, PivotsAndReportsSingularity) {
  EXPECT_EQ(solve_scaled_linear_system(std::vector{0.0, 2.0, 4.0, 0.0}, std::vector{2.0, 8.0}, 2)
                .value(),
            (std::vector{2.0, 1.0}));
  // The diagonal's NaN or 0 is given scale 1; a zero pivot is singular.
  EXPECT_EQ(solve_scaled_linear_system(std::vector{1.0, 1.0, 1.0, 1.0}, std::vector{1.0, 2.0}, 2)
                .error(),
            FitError::singular_system());
  EXPECT_EQ(solve_scaled_linear_system(std::vector{0.0}, std::vector{1.0}, 1).error(),
            FitError::singular_system());
  // Relative to the matrix: 1 + 1e-17 is 1 in doubles, but 1e-20 scale alone is fine.
  EXPECT_NEAR(solve_scaled_linear_system(std::vector{1e-20}, std::vector{1e-20}, 1).value()[0],
              1.0, 1e-15);
  const FitError dims = FitError::invalid_input("invalid scaled linear system dimensions");
  EXPECT_EQ(solve_scaled_linear_system(std::vector{1.0, 2.0}, std::vector{1.0}, 1).error(), dims);
  EXPECT_EQ(solve_scaled_linear_system(std::vector{1.0}, std::vector{1.0, 2.0}, 2).error(), dims);
}

TEST(MarquardtDamping, ScalesByTheDiagonalOrOne) {
  std::vector<double> a{4.0, 1.0, 1.0, 0.0};
  detail::add_marquardt_damping(a, 2, 0.5);
  EXPECT_EQ(a, (std::vector{6.0, 1.0, 1.0, 0.5}));
  std::vector<double> negative{-2.0};
  detail::add_marquardt_damping(negative, 1, 1.0);
  EXPECT_EQ(negative[0], 0.0);
}

}  // namespace
}  // namespace barometra
