#include "barometra/quadrature.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace barometra {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Wraps a plain function, counting evaluations and recording the abscissae.
template <class F>
struct Recording {
  F f;
  std::vector<double>* points;
  Result operator()(double x) const noexcept {
    points->push_back(x);
    return f(x);
  }
};
template <class F>
Recording<F> recording(F f, std::vector<double>& points) {
  return Recording<F>{f, &points};
}

// Evaluations for an integrand that is accepted in every panel without
// refinement: three per panel plus two in the one call of adaptive_simpson.
constexpr std::size_t kUnrefinedEvaluations = 32 * 5;

struct Cubic {
  double c0, c1, c2, c3;
  Result operator()(double x) const noexcept { return c0 + x * (c1 + x * (c2 + x * c3)); }
  double antiderivative(double x) const noexcept {
    return x * (c0 + x * (c1 / 2.0 + x * (c2 / 3.0 + x * c3 / 4.0)));
  }
};

struct CubicCase {
  Cubic f;
  double a, b;
};

class CubicsAreExact : public ::testing::TestWithParam<CubicCase> {};

TEST_P(CubicsAreExact, WithoutRefinement) {
  const auto& [f, a, b] = GetParam();
  std::vector<double> points;
  auto r = integrate(recording(f, points), a, b);
  ASSERT_TRUE(r);
  const double exact = f.antiderivative(b) - f.antiderivative(a);
  EXPECT_NEAR(*r, exact, 1e-13 * (std::fabs(exact) + 1.0));
  EXPECT_EQ(points.size(), kUnrefinedEvaluations);
}

INSTANTIATE_TEST_SUITE_P(
    Quadrature, CubicsAreExact,
    ::testing::Values(CubicCase{{1.0, 0.0, 0.0, 0.0}, 0.0, 1.0},
                      CubicCase{{0.0, 0.0, 0.0, 1.0}, 0.0, 2.0},
                      CubicCase{{-3.0, 2.0, -0.5, 0.25}, -7.0, 3.5},
                      CubicCase{{1e3, -4e2, 7.0, 1.5}, 1e-3, 40.0},
                      CubicCase{{0.0, 1.0, 0.0, -1.0}, -1.0, 1.0}));

TEST(Quadrature, ReversedBoundsNegateTheIntegral) {
  auto steep = [](double x) noexcept -> Result { return std::exp(3.0 * x) * std::sin(5.0 * x); };
  std::vector<double> forward_points, reverse_points;
  auto forward = integrate(recording(steep, forward_points), 0.0, 2.0);
  auto reverse = integrate(recording(steep, reverse_points), 2.0, 0.0);
  ASSERT_TRUE(forward && reverse);
  EXPECT_EQ(*reverse, -*forward);
  EXPECT_EQ(reverse_points, forward_points);
  // Closed form of the integral of e^(3x) sin(5x).
  auto primitive = [](double x) {
    return std::exp(3.0 * x) * (3.0 * std::sin(5.0 * x) - 5.0 * std::cos(5.0 * x)) / 34.0;
  };
  EXPECT_NEAR(*forward, primitive(2.0) - primitive(0.0), 1e-10 * std::fabs(*forward));
}

TEST(Quadrature, SmoothIntegrandsMeetTheTolerance) {
  struct Case {
    double (*f)(double);
    double a, b, exact;
  };
  const Case cases[] = {
      {[](double x) { return std::exp(x); }, 0.0, 1.0, std::expm1(1.0)},
      {[](double x) { return 1.0 / x; }, 1.0, 100.0, std::log(100.0)},
      {[](double x) { return std::sqrt(x); }, 0.0, 4.0, 16.0 / 3.0},
      {[](double x) { return std::cos(x); }, -10.0, 30.0, std::sin(30.0) + std::sin(10.0)},
  };
  for (const auto& c : cases) {
    auto r = integrate([&](double x) noexcept -> Result { return c.f(x); }, c.a, c.b);
    ASSERT_TRUE(r);
    EXPECT_NEAR(*r, c.exact, 2e-10 * (std::fabs(c.exact) + 1.0)) << c.a << " " << c.b;
  }
}

TEST(Quadrature, EmptyIntervalIsZeroWithoutEvaluating) {
  std::vector<double> points;
  auto r = integrate(recording([](double) noexcept -> Result { return 1.0; }, points), 1.0, 1.0);
  ASSERT_TRUE(r);
  EXPECT_EQ(*r, 0.0);
  EXPECT_TRUE(points.empty());
}

class NonFiniteBounds : public ::testing::TestWithParam<std::pair<double, double>> {};

TEST_P(NonFiniteBounds, FailBeforeEvaluating) {
  std::vector<double> points;
  auto r = integrate(recording([](double) noexcept -> Result { return 1.0; }, points),
                     GetParam().first, GetParam().second);
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error(), EosError::invalid_state("integration bounds", "must be finite"));
  EXPECT_TRUE(points.empty());
}

INSTANTIATE_TEST_SUITE_P(Quadrature, NonFiniteBounds,
                         ::testing::Values(std::pair{0.0, kInf}, std::pair{kNaN, 1.0},
                                           std::pair{-kInf, 0.0}, std::pair{1.0, kNaN},
                                           std::pair{kInf, 1.0}));

TEST(Quadrature, PanelsAndRefinementEvaluateInTheStatedOrder) {
  // x^4 is not integrated exactly by Simpson's rule, so the first panel [0, 1]
  // is refined: its ends and midpoint, then the quarter points, then the
  // quarter points of the left half before those of the right half.
  std::vector<double> points;
  auto r = integrate(recording([](double x) noexcept -> Result { return x * x * x * x; }, points),
                     0.0, 32.0);
  ASSERT_TRUE(r);
  EXPECT_NEAR(*r, std::pow(32.0, 5) / 5.0, 1e-9 * std::pow(32.0, 5) / 5.0);
  const std::vector<double> first = {0.0, 0.5, 1.0, 0.25, 0.75, 0.125, 0.375};
  ASSERT_GT(points.size(), first.size());
  EXPECT_EQ(std::vector<double>(points.begin(), points.begin() + 7), first);
  // Each panel [i, i + 1] is finished before the next one starts.
  double panel = 0.0;
  for (double x : points) {
    if (x == std::floor(x)) continue;  // an end shared by two panels
    EXPECT_GE(std::floor(x), panel) << x;
    panel = std::floor(x);
  }
  EXPECT_EQ(panel, 31.0);
}

TEST(Quadrature, LastPanelEndsExactlyAtTheUpperBound) {
  // (b - a) / 32 is inexact here, so a + 32 h would miss b.
  const double a = 0.1, b = 0.3;
  std::vector<double> points;
  ASSERT_TRUE(
      integrate(recording([](double x) noexcept -> Result { return x; }, points), a, b));
  ASSERT_EQ(points.size(), kUnrefinedEvaluations);
  const double h = (b - a) * 0.03125;
  ASSERT_NE(a + h * 31 + h, b);
  // The last panel evaluates p, m and q, then its two quarter points.
  EXPECT_EQ(points[points.size() - 3], b);
  EXPECT_EQ(points[0], a);
}

TEST(Quadrature, IntegrandErrorAtTheLowerBoundStopsAfterOneEvaluation) {
  std::vector<double> points;
  const auto error = EosError::invalid_state("volume", "must be positive and finite");
  auto r = integrate(recording([&](double) noexcept -> Result { return std::unexpected(error); },
                               points),
                     0.0, 1.0);
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error(), error);
  EXPECT_EQ(points.size(), 1u);
}

TEST(Quadrature, IntegrandErrorDuringRefinementPassesThroughAtOnce) {
  // Fails at the seventh evaluation, the second point of the first refinement
  // of the left half of panel 0.
  std::vector<double> points;
  const auto error = EosError::outside_invertible_range();
  auto f = [&](double x) noexcept -> Result {
    if (points.size() == 7) return std::unexpected(error);
    return x * x * x * x;
  };
  auto r = integrate(recording(f, points), 0.0, 32.0);
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error(), error);
  EXPECT_EQ(points.size(), 7u);
}

TEST(Quadrature, NaNAtAnInteriorPointMetDuringRefinementIsNonFinite) {
  std::vector<double> points;
  // 0.25 is the first point of the first refinement of panel [0, 1].
  auto f = [](double x) noexcept -> Result { return x == 0.25 ? kNaN : x; };
  auto r = integrate(recording(f, points), 0.0, 32.0);
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error().kind(), EosErrorKind::NonFiniteResult);
  EXPECT_EQ(points.size(), 4u);
}

TEST(Quadrature, InfiniteSampleAtAPanelEndIsNonFinite) {
  std::vector<double> points;
  auto f = [](double x) noexcept -> Result { return x == 1.0 ? kInf : x; };
  auto r = integrate(recording(f, points), 0.0, 32.0);
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error().kind(), EosErrorKind::NonFiniteResult);
  EXPECT_EQ(points.size(), 3u);
}

TEST(Quadrature, OverflowingSumIsNonFinite) {
  std::vector<double> points;
  // Every panel is finite (2e307), their sum is not.
  auto r = integrate(recording([](double) noexcept -> Result { return 1e307; }, points), 0.0,
                     64.0);
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error().kind(), EosErrorKind::NonFiniteResult);
  EXPECT_EQ(points.size(), kUnrefinedEvaluations);
}

TEST(Quadrature, OverflowingEstimateStopsInsteadOfBisectingToTheDepthLimit) {
  // 4 f(m) overflows, so no estimate of the panel is finite; bisecting down to
  // depth 24 would take 2^24 evaluations per panel to reach the same answer.
  std::vector<double> points;
  auto r = integrate(recording([](double) noexcept -> Result { return 1e308; }, points), 0.0,
                     1.0);
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error().kind(), EosErrorKind::NonFiniteResult);
  EXPECT_EQ(points.size(), 5u);
}

TEST(AdaptiveSimpson, DepthZeroAcceptsTheRichardsonEstimate) {
  // Richardson-corrected Simpson is Boole's rule, exact for quartics: with a
  // tolerance nothing can meet, depth 0 still returns it after two evaluations.
  std::vector<double> points;
  auto quartic = [](double x) noexcept -> Result { return x * x * x * x; };
  const double whole = (0.0 + 4.0 * 0.0625 + 1.0) / 6.0;
  auto r = adaptive_simpson(recording(quartic, points), 0, 0.0, 1.0, 0.0, 0.0625, 1.0, whole,
                            1e-300);
  ASSERT_TRUE(r);
  EXPECT_NEAR(*r, 0.2, 1e-16);
  EXPECT_EQ(points, (std::vector<double>{0.25, 0.75}));
}

TEST(AdaptiveSimpson, RefinesLeftHalfFirstAndHalvesTheBudget) {
  // Simpson's error on x^4 is w^5 / 120 for any interval of width w, so |diff|
  // is 7.8e-3 at the top and 32 times smaller per level. With eps = 2.5e-5 the
  // halves (|diff| 2.4e-4) pass only with the full budget, not with the halved
  // one, so they are refined once more: left subtree before right subtree.
  auto quartic = [](double x) noexcept -> Result { return x * x * x * x; };
  const double whole = (0.0 + 4.0 * 0.0625 + 1.0) / 6.0;
  std::vector<double> points;
  auto r = adaptive_simpson(recording(quartic, points), 5, 0.0, 1.0, 0.0, 0.0625, 1.0, whole,
                            2.5e-5);
  ASSERT_TRUE(r);
  EXPECT_NEAR(*r, 0.2, 1e-16);
  EXPECT_EQ(points, (std::vector<double>{0.25, 0.75, 0.125, 0.375, 0.0625, 0.1875, 0.3125, 0.4375,
                                         0.625, 0.875, 0.5625, 0.6875, 0.8125, 0.9375}));
}

TEST(Quadrature, CostOfTheDebyeIntegral) {
  // The evaluations t^3 / (e^t - 1) takes over [0, x]; they pin the panel
  // count, the tolerance 1e-10 (1 + |S|) / 32 and its halving per level.
  auto debye = [](double t) noexcept -> Result {
    return t == 0.0 ? 0.0 : t * t * t / std::expm1(t);
  };
  const std::pair<double, std::size_t> costs[] = {{0.5, 160}, {5.0, 768}, {50.0, 2288}};
  for (const auto& [x, evaluations] : costs) {
    std::vector<double> points;
    ASSERT_TRUE(integrate(recording(debye, points), 0.0, x));
    EXPECT_EQ(points.size(), evaluations) << x;
  }
}

TEST(AdaptiveSimpson, DepthLimitBoundsTheWork) {
  // A jump that no tolerance can resolve: the refinement follows it down to
  // depth 0 along one path only.
  std::vector<double> points;
  auto step = [](double x) noexcept -> Result { return x < 1.0 / 3.0 ? 0.0 : 1.0; };
  auto r = integrate(recording(step, points), 0.0, 1.0);
  ASSERT_TRUE(r);
  EXPECT_NEAR(*r, 2.0 / 3.0, 1e-6);
  EXPECT_LT(points.size(), kUnrefinedEvaluations + 2u * 2u * 25u);
}

}  // namespace
}  // namespace barometra
