#include "barometra/fit/prediction.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace barometra {
namespace {

// f(theta) = (theta0^2 theta1, theta0 + 3 theta1) at q = 2 "states", rows
// evaluated in order; a row whose theta0 is negative fails, like a model
// that refuses its parameters. Counts the rows it sees.
struct Quantity {
  int rows = 0;
  void operator()(std::span<const double> parameters, std::span<double> values,
                  std::span<std::optional<FitError>> failures) {
    for (std::size_t r = 0; r < failures.size(); ++r, ++rows) {
      const double a = parameters[2 * r], b = parameters[2 * r + 1];
      if (a < 0.0) {
        failures[r] = FitError(EosError::invalid_parameter("V0", "must be positive and finite"));
        continue;
      }
      values[2 * r] = a * a * b;
      values[2 * r + 1] = a + 3.0 * b;
    }
  }
};

TEST(Prediction, DeltaMethodIsTheGradientThroughTheCovariance) {
  const std::vector<double> theta{2.0, 5.0}, sigma{0.04, 0.01, 0.01, 0.09};
  Quantity quantity;
  const auto errors = delta_method_standard_errors(theta, sigma, 2, quantity).value();
  EXPECT_EQ(quantity.rows, 4);
  // Closed-form gradients: (2ab, a^2) and (1, 3).
  const double g[2][2] = {{20.0, 4.0}, {1.0, 3.0}};
  for (int i = 0; i < 2; ++i) {
    const double variance = g[i][0] * g[i][0] * sigma[0] + 2 * g[i][0] * g[i][1] * sigma[1] +
                            g[i][1] * g[i][1] * sigma[3];
    EXPECT_NEAR(errors[i], std::sqrt(variance), 1e-9 * std::sqrt(variance));
  }
}

TEST(Prediction, TheStepIsAThousandthOfAStandardError) {
  // f = exp(10 theta) at 0 with sd 1: the central difference is sinh(10 h) / h,
  // whose excess over the derivative 10, about (10 h)^2 / 6, shows the step.
  auto exponential = [](std::span<const double> parameters, std::span<double> values,
                        std::span<std::optional<FitError>>) {
    for (std::size_t r = 0; r < values.size(); ++r) values[r] = std::exp(10.0 * parameters[r]);
  };
  const auto errors = delta_method_standard_errors(std::vector{0.0}, std::vector{1.0}, 1,
                                                   exponential).value();
  EXPECT_NEAR(errors[0], std::sinh(10.0 * kDeltaMethodStep) / kDeltaMethodStep, 1e-10);
  EXPECT_NEAR(errors[0] / 10.0 - 1.0, 1e-4 / 6.0, 1e-7);
}

TEST(Prediction, AParameterWithoutVarianceIsNeverMoved) {
  const std::vector<double> theta{2.0, 5.0}, sigma{0.0, 0.0, 0.0, 0.09};
  Quantity quantity;
  const auto errors = delta_method_standard_errors(theta, sigma, 2, quantity).value();
  EXPECT_EQ(quantity.rows, 2);
  EXPECT_NEAR(errors[0], 4.0 * 0.3, 1e-9);
  EXPECT_NEAR(errors[1], 3.0 * 0.3, 1e-9);
}

TEST(Prediction, AValueMovedByAnUndeterminedParameterHasNoStandardError) {
  // f = (a, b, a + b c) with b and c undetermined: only f0 keeps its error.
  auto linear = [](std::span<const double> parameters, std::span<double> values,
                   std::span<std::optional<FitError>>) {
    for (std::size_t r = 0; 3 * r < values.size(); ++r) {
      const double* p = parameters.data() + 3 * r;
      values[3 * r] = p[0];
      values[3 * r + 1] = p[1];
      values[3 * r + 2] = p[0] + p[1] * p[2];
    }
  };
  const std::vector<double> theta{2.0, 0.0, 5.0}, sigma{0.04, 0, 0, 0, 0, 0, 0, 0, 0};
  const std::vector<std::size_t> undetermined{1, 2};
  const auto delta = delta_method_standard_errors(theta, sigma, 3, linear, undetermined).value();
  EXPECT_NEAR(delta[0], 0.2, 1e-12);
  EXPECT_TRUE(std::isnan(delta[1]) && std::isnan(delta[2]));
  const std::vector<double> draws{1.9, 0.0, 5.0, 2.1, 0.0, 5.0, 2.0, 0.0, 5.0};
  const auto carlo =
      monte_carlo_prediction(draws, 3, 3, 0.5, linear, theta, undetermined).value();
  EXPECT_NEAR(carlo.summary.standard_error[0], 0.1, 1e-12);
  for (const auto* column : {&carlo.summary.standard_error, &carlo.summary.lower,
                             &carlo.summary.upper}) {
    EXPECT_TRUE(std::isnan((*column)[1]) && std::isnan((*column)[2]));
  }
}

TEST(Prediction, FailuresAreTheFirstRowsOrTheCovariancesOwn) {
  // theta0 = 0 with sd 1: the row theta - h_0 fails.
  Quantity quantity;
  const auto failed = delta_method_standard_errors(std::vector{0.0, 1.0},
                                                   std::vector{1.0, 0.0, 0.0, 1.0}, 2, quantity);
  ASSERT_FALSE(failed);
  EXPECT_EQ(failed.error().kind(), FitErrorKind::Eos);
  const auto asymmetric = delta_method_standard_errors(
      std::vector{2.0, 5.0}, std::vector{1.0, 0.5, 0.0, 1.0}, 2, quantity);
  ASSERT_FALSE(asymmetric);
  EXPECT_EQ(asymmetric.error().message(), "parameter covariance must be symmetric");
  EXPECT_FALSE(delta_method_standard_errors(std::vector{2.0, 5.0}, std::vector{1.0}, 2, quantity));
}

TEST(Prediction, MonteCarloSummarisesTheAcceptedDrawsAndCountsTheRest) {
  const std::vector<double> draws{1.0, 1.0, -1.0, 9.0, 2.0, 1.0, 3.0, 1.0, -2.0, 0.0};
  Quantity quantity;
  const auto predicted = monte_carlo_prediction(draws, 2, 2, 0.0, quantity).value();
  EXPECT_EQ(predicted.rejected, 2u);
  // The accepted rows give (1, 4, 9) and (4, 5, 6): medians 4 and 5.
  const auto direct = summarize_monte_carlo(std::vector{1.0, 4.0, 4.0, 5.0, 9.0, 6.0}, 3, 2,
                                            0.0, false).value();
  EXPECT_EQ(predicted.summary.standard_error, direct.standard_error);
  EXPECT_EQ(predicted.summary.lower, (std::vector{4.0, 5.0}));

  const std::vector<double> mostly_refused{1.0, 1.0, -1.0, 1.0, -1.0, 1.0};
  const auto refused = monte_carlo_prediction(mostly_refused, 2, 2, 0.5, quantity);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().message(),
            "only 1 of 3 Monte Carlo draws gave a valid model: the covariance reaches far "
            "outside the model's domain");
}

}  // namespace
}  // namespace barometra
