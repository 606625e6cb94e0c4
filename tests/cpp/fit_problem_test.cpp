#include "barometra/fit/problem.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace barometra {
namespace {

constexpr double kNaN = NAN, kInf = INFINITY;
constexpr Loss kLosses[] = {{Loss::Linear}, {Loss::SoftL1}, {Loss::Huber}, {Loss::Cauchy},
                            {Loss::Arctan}};

std::string invalid(const std::expected<void, FitError>& result) {
  EXPECT_FALSE(result.has_value());
  if (result) return "";
  EXPECT_EQ(result.error().kind(), FitErrorKind::InvalidInput);
  return std::string(result.error().message());
}

TEST(Loss, FromNameIsExactAndCaseSensitive) {
  for (Loss loss : kLosses) EXPECT_EQ(Loss::from_name(loss.name()).value(), loss);
  EXPECT_EQ(Loss::from_name("soft_l1")->kind, Loss::SoftL1);
  for (const char* name : {"Huber", " huber", "l2", ""}) {
    EXPECT_EQ(Loss::from_name(name).error(),
              FitError::invalid_input(std::string("unsupported loss function: ") + name));
  }
}

TEST(ValidateProblem, ChecksInOrderAndStopsAtTheFirstFailure) {
  const std::vector<double> one{1.0}, two{2.0}, zero2{0.0, 0.0};
  SolverOptions ok;
  EXPECT_TRUE(validate_problem(one, one, two, ok));  // on its bound
  EXPECT_TRUE(validate_problem(zero2, std::vector{-kInf, -kInf}, std::vector{kInf, kInf}, ok));
  SolverOptions subnormal;
  subnormal.f_scale = subnormal.ftol = 4.9e-324;
  EXPECT_TRUE(validate_problem(one, one, two, subnormal));

  const std::string lengths = "initial values and bounds must have the same non-zero length";
  EXPECT_EQ(invalid(validate_problem({}, {}, {}, ok)), lengths);
  EXPECT_EQ(invalid(validate_problem(one, one, zero2, ok)), lengths);
  EXPECT_EQ(invalid(validate_problem(one, one, one, ok)),
            "invalid initial value or bounds at parameter 0");
  EXPECT_EQ(invalid(validate_problem(std::vector{0.0, kNaN}, zero2, std::vector{1.0, 1.0}, ok)),
            "invalid initial value or bounds at parameter 1");
  EXPECT_EQ(invalid(validate_problem(zero2, std::vector{-1.0, -1.0}, std::vector{kNaN, 1.0}, ok)),
            "invalid initial value or bounds at parameter 0");
  EXPECT_EQ(invalid(validate_problem(std::vector{kInf}, std::vector{-kInf}, std::vector{kInf}, ok)),
            "invalid initial value or bounds at parameter 0");

  SolverOptions both;
  both.f_scale = 0.0;
  both.max_evaluations = 0;
  EXPECT_EQ(invalid(validate_problem(one, one, two, both)), "f_scale must be positive and finite");
  both.f_scale = 1.0;
  EXPECT_EQ(invalid(validate_problem(one, one, two, both)), "max_evaluations must be positive");
  for (double* tolerance : {&ok.ftol, &ok.gtol, &ok.xtol}) {
    SolverOptions bad = ok;
    *(tolerance - &ok.ftol + &bad.ftol) = kInf;
    EXPECT_EQ(invalid(validate_problem(one, one, two, bad)),
              "solver tolerances must be positive and finite");
  }
}

TEST(ValidateResiduals, RejectsEmptyWrongLengthAndNonFinite) {
  const FitError bad = FitError::evaluation_failed("residual evaluation returned an invalid vector");
  EXPECT_TRUE(validate_residuals(std::vector{1.0, 2.0}, 2));
  EXPECT_TRUE(validate_residuals(std::vector{1.0}, std::nullopt));
  EXPECT_EQ(validate_residuals({}, std::nullopt).error(), bad);
  EXPECT_EQ(validate_residuals(std::vector{1.0, 2.0}, 3).error(), bad);
  EXPECT_EQ(validate_residuals(std::vector{1.0, kNaN}, 2).error(), bad);
  EXPECT_EQ(validate_residuals(std::vector{-kInf}, std::nullopt).error(), bad);
}

TEST(RobustLoss, WorkedValuesForOneResidualOfThree) {
  const std::vector<double> f{3.0};
  EXPECT_EQ(robust_cost(f, {Loss::Linear}, 1.0), 4.5);
  EXPECT_DOUBLE_EQ(robust_cost(f, {Loss::Linear}, 7.0), 4.5);
  EXPECT_EQ(robust_cost(f, {Loss::Huber}, 1.0), 2.5);
  EXPECT_DOUBLE_EQ(robust_weights(f, {Loss::SoftL1}, 1.0)[0], 1.0 / std::sqrt(10.0));
  Jacobian j = Jacobian::dense(1, 2);
  j.at(0, 0) = 1.0;
  j.at(0, 1) = -4.0;
  const Jacobian huber = robust_result_jacobian(j, f, {Loss::Huber}, 1.0);
  EXPECT_EQ(huber.at(0, 0), 1.4901161193847656e-08);
  EXPECT_EQ(huber.at(0, 1), -4.0 * 1.4901161193847656e-08);
  // z = 1 belongs to Huber's quadratic branch: factor exactly 1.
  EXPECT_EQ(robust_result_jacobian(j, std::vector{2.0}, {Loss::Huber}, 2.0).at(0, 1), -4.0);
}

// Independent of the formulas: d cost / df = w f and d2 cost / df2 is the
// square of the reported-Jacobian factor, both by central differences.
TEST(RobustLoss, WeightsAndJacobianFactorsAreTheCostsDerivatives) {
  for (Loss loss : kLosses) {
    for (double f : {0.3, 0.9, 1.7, 4.0}) {
      const double s = 1.3, h = 1e-4;
      auto cost = [&](double v) { return robust_cost(std::vector{v}, loss, s); };
      const double first = (cost(f + h) - cost(f - h)) / (2 * h);
      const double second = (cost(f + h) - 2 * cost(f) + cost(f - h)) / (h * h);
      EXPECT_NEAR(robust_weights(std::vector{f}, loss, s)[0] * f, first, 1e-6) << loss.name();
      Jacobian j = Jacobian::dense(1, 1);
      j.at(0, 0) = 1.0;
      const double factor = robust_result_jacobian(j, std::vector{f}, loss, s).at(0, 0);
      EXPECT_NEAR(factor * factor, std::max(second, 2.220446049250313e-16), 1e-5)
          << loss.name() << " " << f;
    }
  }
}

TEST(StructuredLayout, IndexConventionsAndDenseView) {
  const StructuredLayout layout{2, 3, 1};
  EXPECT_EQ(layout.parameter_count(), 5u);
  EXPECT_EQ(layout.residual_count(), 6u);
  EXPECT_EQ(layout.latent_index(2, 0), 4u);
  EXPECT_FALSE((StructuredLayout{0, 3, 1}.parameter_count()));
  EXPECT_FALSE((StructuredLayout{1, SIZE_MAX, 2}.residual_count()));
  Jacobian j = Jacobian::structured(layout);
  EXPECT_EQ(j.row_width(), 3u);
  for (std::size_t r = 0; r < 6; ++r) j.at(r, 2) = 10.0 + r;  // the latent entry
  const auto dense = j.to_dense();
  EXPECT_EQ(dense[2 * 5 + 4], 12.0);  // row 2 and row 5 belong to point 2
  EXPECT_EQ(dense[5 * 5 + 4], 15.0);
  EXPECT_EQ(dense[5 * 5 + 3], 0.0);
}

}  // namespace
}  // namespace barometra
