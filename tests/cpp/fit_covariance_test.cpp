#include "barometra/fit/covariance.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace barometra {
namespace {

constexpr double kNaN = NAN;

template <class T>
std::string failure(const std::expected<T, FitError>& result) {
  EXPECT_FALSE(result.has_value());
  return result ? "" : std::string(result.error().message());
}

void expect_matrix_near(const std::vector<double>& a, const std::vector<double>& b,
                        double rtol) {
  ASSERT_EQ(a.size(), b.size());
  double scale = 0.0;
  for (double v : b) scale = std::max(scale, std::fabs(v));
  for (std::size_t i = 0; i < a.size(); ++i) EXPECT_NEAR(a[i], b[i], rtol * scale) << i;
}

TEST(SymmetricPseudoinverse, DropsNullDirectionsAndRejectsNegativeOnes) {
  EXPECT_EQ(symmetric_pseudoinverse(std::vector{4.0, 0.0, 0.0, 0.0}, 2, 2.0).value(),
            (std::vector{0.25, 0.0, 0.0, 0.0}));
  EXPECT_EQ(failure(symmetric_pseudoinverse(std::vector{1.0, 0.0, 0.0, -1.0}, 2, 2.0)),
            "information matrix must be positive semidefinite");
  EXPECT_EQ(symmetric_pseudoinverse(std::vector{1.0, 0.0, 0.0, -1e-20}, 2, 2.0).value(),
            (std::vector{1.0, 0.0, 0.0, 0.0}));
  const std::string invalid = "invalid symmetric matrix for pseudoinverse";
  EXPECT_EQ(failure(symmetric_pseudoinverse({}, 0, 1.0)), invalid);
  EXPECT_EQ(failure(symmetric_pseudoinverse(std::vector{1.0, 0.0, 0.0}, 2, 1.0)), invalid);
  EXPECT_EQ(failure(symmetric_pseudoinverse(std::vector{1.0, kNaN, 0.0, 1.0}, 2, 1.0)), invalid);
  // The rank-one [[1, 1], [1, 1]] has pseudoinverse [[1, 1], [1, 1]] / 4.
  expect_matrix_near(symmetric_pseudoinverse(std::vector{1.0, 1.0, 1.0, 1.0}, 2, 2.0).value(),
                     {0.25, 0.25, 0.25, 0.25}, 1e-15);
}

TEST(ParameterCovariance, DenseWorkedCaseAndChecks) {
  EXPECT_EQ(parameter_covariance(std::vector{1.0, 0.0, 0.0, 2.0, 0.0, 0.0}, 3, 2, 2).value(),
            (std::vector{1.0, 0.0, 0.0, 0.25}));
  const std::string dims = "invalid Jacobian dimensions for covariance";
  const std::vector<double> j(6, 1.0);
  EXPECT_EQ(failure(parameter_covariance(j, 3, 3, 2)), dims);
  EXPECT_EQ(failure(parameter_covariance(j, 3, 2, 0)), dims);
  EXPECT_EQ(failure(parameter_covariance(j, 3, 2, 3)), dims);
  EXPECT_EQ(failure(parameter_covariance({}, 0, 2, 1)), dims);
  // Profiling over a parameter that nothing determines is singular.
  EXPECT_EQ(parameter_covariance(std::vector{1.0, 0.0, 2.0, 0.0}, 2, 2, 1).error(),
            FitError::singular_system());
  EXPECT_EQ(failure(parameter_covariance(std::vector{kNaN, 1.0}, 1, 2, 2)),
            "invalid symmetric matrix for pseudoinverse");
}

TEST(ParameterCovariance, NamesTheParametersTheDataLeaveFree) {
  // Columns: a, a zero column, then two proportional ones (only b + 2c is seen).
  const std::vector<double> j{1.0, 0.0, 1.0, 2.0,  //
                              0.0, 0.0, 2.0, 4.0,  //
                              2.0, 0.0, 3.0, 6.0};
  const auto dense = estimate_parameter_covariance(j, 3, 4, 4).value();
  EXPECT_EQ(dense.undetermined, (std::vector<std::size_t>{1, 2, 3}));
  EXPECT_EQ(dense.covariance[1 * 4 + 1], 0.0);
  EXPECT_EQ(estimate_parameter_covariance(j, 3, 4, 1).error(), FitError::singular_system());
  // Profiled over the free ones the first is determined; alone it is too.
  EXPECT_TRUE(estimate_parameter_covariance(std::vector{1.0, 2.0}, 2, 1, 1)
                  .value().undetermined.empty());
  // A global that no point's pressure sees, beside latents that fix the rest.
  const StructuredLayout layout{2, 3, 1};
  Jacobian compact = Jacobian::structured(layout);
  for (std::size_t r = 0; r < compact.rows(); ++r) {
    compact.at(r, 0) = r < 3 ? 1.0 + static_cast<double>(r) : 0.0;
    compact.at(r, 2) = 1.0;
  }
  EXPECT_EQ(estimate_parameter_covariance_structured(compact).value().undetermined,
            (std::vector<std::size_t>{1}));
}

// y = b1 (1 - exp(-b2 x)) at b1 = 500, b2 = 1e-4: the columns differ in scale
// by about 1e7. Against the 2 x 2 inverse in extended precision.
TEST(ParameterCovariance, BadlyScaledParametersKeepTheirErrors) {
  const double b1 = 500.0, b2 = 1e-4;
  std::vector<double> j;
  long double s11 = 0, s12 = 0, s22 = 0;
  for (double x = 77.6; x < 800.0; x += 55.0) {
    const double e = std::exp(-b2 * x), d1 = 1.0 - e, d2 = b1 * x * e;
    j.insert(j.end(), {d1, d2});
    s11 += (long double)d1 * d1;
    s12 += (long double)d1 * d2;
    s22 += (long double)d2 * d2;
  }
  const long double det = s11 * s22 - s12 * s12;
  const std::vector<double> exact{double(s22 / det), double(-s12 / det), double(-s12 / det),
                                  double(s11 / det)};
  const std::size_t m = j.size() / 2;
  expect_matrix_near(parameter_covariance(j, m, 2, 2).value(), exact, 1e-7);
  // Judged on the raw matrix, the small eigenvalue would fall below the rank
  // tolerance and b1's variance would come out orders of magnitude too small.
  std::vector<double> raw{double(s11), double(s12), double(s12), double(s22)};
  EXPECT_LT(symmetric_pseudoinverse(raw, 2, double(m)).value()[0], 1e-3 * exact[0]);
  // The profiled (k < n) path scales too: b2's variance with b1 profiled out.
  const std::vector<double> swapped = [&] {
    std::vector<double> s(j.size());
    for (std::size_t r = 0; r < m; ++r) {
      s[2 * r] = j[2 * r + 1];
      s[2 * r + 1] = j[2 * r];
    }
    return s;
  }();
  EXPECT_NEAR(parameter_covariance(swapped, m, 2, 1).value()[0], exact[3], 1e-7 * exact[3]);
}

TEST(ParameterCovarianceStructured, EqualsTheDenseProfiledCovariance) {
  std::mt19937 random(11);
  std::normal_distribution<double> normal;
  const StructuredLayout layout{2, 6, 2};
  Jacobian compact = Jacobian::structured(layout);
  for (std::size_t r = 0; r < compact.rows(); ++r) {
    for (std::size_t s = 0; s < compact.row_width(); ++s) compact.at(r, s) = normal(random);
    compact.at(r, 2) *= 1e4;  // latent units far from the globals'
  }
  const auto dense = compact.to_dense();
  const auto expected = parameter_covariance(dense, compact.rows(), compact.cols(), 2).value();
  expect_matrix_near(parameter_covariance_structured(compact).value(), expected, 1e-10);
  expect_matrix_near(parameter_covariance_structured(dense, layout).value(), expected, 1e-10);
  const std::string dims = "invalid structured Jacobian dimensions for covariance";
  EXPECT_EQ(failure(parameter_covariance_structured(dense, StructuredLayout{2, 6, 0})), dims);
  EXPECT_EQ(failure(parameter_covariance_structured(std::span(dense).first(10), layout)), dims);
  EXPECT_EQ(failure(parameter_covariance_structured(Jacobian::dense(2, 2))), dims);
}

// One point, three globals and a latent whose own residual is 90 times
// steadier than the pressure: profiling cancels 99.99 % of the information,
// which is of rank one, and leaves rounding of 1e-13 in its null directions.
// That is no indefinite matrix; G = cov is then a generalised inverse of the
// profiled information F: F G F = F.
TEST(ParameterCovarianceStructured, CancellationLeavesRoundingNotIndefiniteness) {
  Jacobian j = Jacobian::structured({3, 1, 1});
  const double row[] = {860.15074909, 7.71827327, 128.54905826, -1027.24514958};
  for (std::size_t s = 0; s < 4; ++s) j.at(0, s) = row[s];
  j.at(1, 3) = 11.22587073;
  const auto g = parameter_covariance_structured(j).value();
  const double keep = 11.22587073 * 11.22587073 / (1027.24514958 * 1027.24514958 +
                                                   11.22587073 * 11.22587073);
  std::vector<double> f(9), fgf(9, 0.0);
  for (std::size_t a = 0; a < 3; ++a) {
    for (std::size_t b = 0; b < 3; ++b) f[a * 3 + b] = row[a] * row[b] * keep;
  }
  for (std::size_t a = 0; a < 3; ++a) {
    for (std::size_t b = 0; b < 3; ++b) {
      for (std::size_t c = 0; c < 3; ++c) {
        for (std::size_t d = 0; d < 3; ++d) fgf[a * 3 + d] += f[a * 3 + b] * g[b * 3 + c] * f[c * 3 + d];
      }
    }
  }
  expect_matrix_near(fgf, f, 1e-9);
}

// Finite Jacobians whose information overflows: a numerical failure, where a
// non-finite Jacobian is invalid input.
TEST(ParameterCovariance, OverflowIsANumericalFailure) {
  EXPECT_EQ(parameter_covariance(std::vector{1e200, 0.0, 0.0, 1.0}, 2, 2, 2).error(),
            FitError::singular_system());
  EXPECT_EQ(parameter_covariance(std::vector{1e200, 1.0, 1.0, 1.0}, 2, 2, 1).error(),
            FitError::singular_system());
  Jacobian j = Jacobian::structured({1, 1, 1});
  j.at(0, 0) = j.at(0, 1) = j.at(1, 1) = 1e200;
  EXPECT_EQ(parameter_covariance_structured(j).error(), FitError::singular_system());
  j.at(0, 0) = kNaN;
  EXPECT_EQ(failure(parameter_covariance_structured(j)),
            "invalid symmetric matrix for pseudoinverse");
}

TEST(PositiveSemidefiniteFactor, FactorsSemidefiniteAndRejectsTheRest) {
  // Rank one: [[1, 2], [2, 4]] = [1, 2]^T [1, 2].
  EXPECT_EQ(positive_semidefinite_factor(std::vector{1.0, 2.0, 2.0, 4.0}, 2).value(),
            (std::vector{1.0, 0.0, 2.0, 0.0}));
  EXPECT_EQ(positive_semidefinite_factor(std::vector{0.0, 0.0, 0.0, 9.0}, 2).value(),
            (std::vector{0.0, 0.0, 0.0, 3.0}));
  EXPECT_TRUE(positive_semidefinite_factor({}, 0).value().empty());
  EXPECT_EQ(failure(positive_semidefinite_factor(std::vector{1.0, 2.0, 2.0, 1.0}, 2)),
            "parameter covariance must be positive semidefinite");
  EXPECT_EQ(failure(positive_semidefinite_factor(std::vector{0.0, 1.0, 1.0, 1.0}, 2)),
            "parameter covariance must be positive semidefinite");
  EXPECT_EQ(failure(positive_semidefinite_factor(std::vector{1.0, 0.0, 1e-3, 1.0}, 2)),
            "parameter covariance must be symmetric");
}

TEST(PropagateLinearUncertainty, DeltaMethodAndItsChecksInOrder) {
  // J = [[1, 1], [1, -1]], Sigma = [[2, 1], [1, 3]]: J Sigma J^T = [[7, -1], [-1, 3]].
  const std::vector<double> j{1.0, 1.0, 1.0, -1.0}, sigma{2.0, 1.0, 1.0, 3.0};
  const auto r = propagate_linear_uncertainty(j, 2, 2, sigma, std::vector{0.5, 0.0}, true).value();
  EXPECT_EQ(r.variance, (std::vector{7.5, 3.0}));
  EXPECT_EQ(*r.covariance, (std::vector{7.5, -1.0, -1.0, 3.0}));
  EXPECT_FALSE(propagate_linear_uncertainty(j, 2, 2, sigma, std::vector{0.0, 0.0}, false)
                   ->covariance);
  const std::vector<double> s{0.0, 0.0};
  EXPECT_EQ(failure(propagate_linear_uncertainty({}, 0, 2, sigma, {}, false)),
            "invalid dimensions for linear uncertainty propagation");
  EXPECT_EQ(failure(propagate_linear_uncertainty(j, 2, 2, sigma, std::vector{0.0}, false)),
            "invalid dimensions for linear uncertainty propagation");
  EXPECT_EQ(failure(propagate_linear_uncertainty(j, 2, 2, std::vector{2.0, kNaN, 1.0, 3.0},
                                                 std::vector{-1.0, 0.0}, false)),
            "linear uncertainty inputs must be finite");
  EXPECT_EQ(failure(propagate_linear_uncertainty(j, 2, 2, std::vector{1.0, 2.0, 2.0, 1.0},
                                                 std::vector{-1.0, 0.0}, false)),
            "state variances must be nonnegative");
  EXPECT_EQ(failure(propagate_linear_uncertainty(j, 2, 2, std::vector{1.0, 2.0, 2.0, 1.0}, s,
                                                 false)),
            "parameter covariance must be positive semidefinite");
}

TEST(SummarizeMonteCarlo, WorkedPercentilesAndChecks) {
  const std::vector<double> five{5.0, 1.0, 4.0, 2.0, 3.0};
  const auto half = summarize_monte_carlo(five, 5, 1, 0.5, true).value();
  EXPECT_EQ(half.lower[0], 2.0);
  EXPECT_EQ(half.upper[0], 4.0);
  EXPECT_EQ(half.standard_error[0], std::sqrt(2.5));
  EXPECT_EQ(*half.covariance, std::vector{2.5});
  const auto median = summarize_monte_carlo(std::vector{4.0, 1.0, 2.0, 10.0}, 4, 1, 0.0, false)
                          .value();
  EXPECT_EQ(median.lower[0], 3.0);
  EXPECT_EQ(median.upper[0], 3.0);
  EXPECT_FALSE(median.covariance);
  // Two variables, row per sample: covariance of (x, -2x) is [[v, -2v], [-2v, 4v]].
  const std::vector<double> cov =
      summarize_monte_carlo(std::vector{1.0, -2.0, 2.0, -4.0, 6.0, -12.0}, 3, 2, 0.9, true)
          .value()
          .covariance.value();
  EXPECT_DOUBLE_EQ(cov[1], -2.0 * cov[0]);
  EXPECT_DOUBLE_EQ(cov[3], 4.0 * cov[0]);
  const std::string invalid = "invalid Monte Carlo samples or confidence";
  EXPECT_EQ(failure(summarize_monte_carlo(std::vector{1.0}, 1, 1, 0.5, false)), invalid);
  for (double c : {1.0, -0.1, kNaN}) {
    EXPECT_EQ(failure(summarize_monte_carlo(five, 5, 1, c, false)), invalid);
  }
  EXPECT_EQ(failure(summarize_monte_carlo(std::vector{1.0, kNaN}, 2, 1, 0.5, false)), invalid);
  EXPECT_EQ(failure(summarize_monte_carlo(five, 2, 2, 0.5, false)), invalid);
}

}  // namespace
}  // namespace barometra
