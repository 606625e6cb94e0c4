#include "barometra/quadrature.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <tuple>
#include <vector>

namespace barometra {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct Sampled {
  Result result;
  std::vector<double> points;  // every abscissa, in evaluation order
};

Sampled run(const std::function<Result(double)>& f, double a, double b) {
  Sampled out;
  out.result = integrate(
      [&](double x) noexcept {
        out.points.push_back(x);
        return f(x);
      },
      a, b);
  return out;
}

TEST(Quadrature, CubicsAreExactWithoutRefinementAndReversalNegates) {
  struct Case {
    double c0, c1, c2, c3, a, b;
  };
  // In the last case (b - a) / 32 is inexact, so a + 32 h would miss b.
  for (const auto& [c0, c1, c2, c3, a, b] :
       {Case{1, 0, 0, 0, 0, 1}, Case{0, 0, 0, 1, 0, 2}, Case{-3, 2, -0.5, 0.25, -7, 3.5},
        Case{1e3, -4e2, 7, 1.5, 1e-3, 40}, Case{0, 1, 0, 0, 0.1, 0.3}}) {
    auto f = [&](double x) -> Result { return c0 + x * (c1 + x * (c2 + x * c3)); };
    auto primitive = [&](double x) { return x * (c0 + x * (c1 / 2 + x * (c2 / 3 + x * c3 / 4))); };
    const double exact = primitive(b) - primitive(a);
    const Sampled forward = run(f, a, b), reverse = run(f, b, a);
    ASSERT_TRUE(forward.result && reverse.result);
    EXPECT_NEAR(*forward.result, exact, 1e-13 * (std::fabs(exact) + 1.0)) << a << " " << b;
    EXPECT_EQ(*reverse.result, -*forward.result);
    EXPECT_EQ(reverse.points, forward.points);
    // Three samples per panel and two in its one Simpson step; the last panel ends at b.
    ASSERT_EQ(forward.points.size(), 32u * 5u);
    EXPECT_EQ(forward.points.front(), a);
    EXPECT_EQ(forward.points[forward.points.size() - 3], b);
  }
}

TEST(Quadrature, EvaluationCountsPinPanelsToleranceAndDepth) {
  // The tolerance is 1e-10 (1 + |S|) / 32 per panel, halved per level. A jump
  // no tolerance resolves is followed to depth 0: 24 levels of two halves.
  auto debye = [](double t) -> Result { return t == 0.0 ? 0.0 : t * t * t / std::expm1(t); };
  auto step = [](double x) -> Result { return x < 1.0 / 3.0 ? 0.0 : 1.0; };
  EXPECT_EQ(run(debye, 0.0, 0.5).points.size(), 160u);
  EXPECT_EQ(run(debye, 0.0, 5.0).points.size(), 768u);
  EXPECT_EQ(run(debye, 0.0, 50.0).points.size(), 2288u);
  const Sampled jump = run(step, 0.0, 1.0);
  EXPECT_NEAR(*jump.result, 2.0 / 3.0, 1e-6);
  EXPECT_EQ(jump.points.size(), 160u + 24u * 4u);
}

TEST(Quadrature, ErrorsStopTheIntegrationWhereTheyOccur) {
  const auto bounds =
      std::unexpected(EosError::invalid_state("integration bounds", "must be finite"));
  const auto outside = std::unexpected(EosError::outside_invertible_range());
  const auto non_finite = std::unexpected(EosError::non_finite_result());
  auto one = [](double) -> Result { return 1.0; };
  const std::tuple<std::function<Result(double)>, double, double, Result, std::size_t> cases[] = {
      {one, 1, 1, 0.0, 0}, {one, 0, kInf, bounds, 0}, {one, kNaN, 1, bounds, 0},
      {[&](double) -> Result { return outside; }, 0, 1, outside, 1},
      // Panel [0, 1] samples 0, 0.5, 1, 0.25, 0.75, then refines its left half first.
      {[&](double x) -> Result { return x == 0.375 ? outside : Result(x * x * x * x); }, 0, 32,
       outside, 7},
      // 0.25 is the first refinement sample of panel [0, 1].
      {[](double x) -> Result { return x == 0.25 ? kNaN : x; }, 0, 32, non_finite, 4},
      {[](double x) -> Result { return x == 1.0 ? kInf : x; }, 0, 32, non_finite, 3},
      // Every panel is finite, their sum is not.
      {[](double) -> Result { return 1e307; }, 0, 64, non_finite, 160},
      // 4 f(m) overflows: stop at once rather than bisect 2^24 times.
      {[](double) -> Result { return 1e308; }, 0, 1, non_finite, 5},
  };
  for (const auto& [f, a, b, expected, evaluations] : cases) {
    const Sampled r = run(f, a, b);
    EXPECT_EQ(r.result, expected) << evaluations;
    EXPECT_EQ(r.points.size(), evaluations);
  }
}

// 1/x across its pole is refined to full depth in every panel near 0, far past
// the budget: the integration stops at the budget exactly.
TEST(Quadrature, APoleExhaustsTheEvaluationBudget) {
  auto pole = [](double x) -> Result { return x == 0.0 ? 1.0 : 1.0 / x; };
  const Sampled r = run(pole, -1.0, 2.0);
  EXPECT_EQ(r.result, std::unexpected(EosError::non_finite_result()));
  // Panels after the pole's are never sampled, so a few of the budget stay unused.
  EXPECT_LE(r.points.size(), static_cast<std::size_t>(quadrature::kMaxEvaluations));
  EXPECT_GT(r.points.size(), static_cast<std::size_t>(quadrature::kMaxEvaluations - 96));
  const Sampled steep = run([](double x) -> Result { return std::exp(-1e4 * x); }, 0.0, 1.0);
  EXPECT_NEAR(*steep.result, 1e-4, 1e-12);
  EXPECT_LT(steep.points.size(), 8000u);
}

TEST(AdaptiveSimpson, DepthZeroAcceptsTheRichardsonEstimate) {
  // Richardson-corrected Simpson is Boole's rule, exact for quartics, so with a
  // tolerance nothing can meet, depth 0 still returns it after two samples.
  std::vector<double> points;
  auto quartic = [&](double x) noexcept -> Result {
    points.push_back(x);
    return x * x * x * x;
  };
  auto r = adaptive_simpson(quartic, 0, 0.0, 1.0, 0.0, 0.0625, 1.0, 1.25 / 6.0, 1e-300);
  EXPECT_NEAR(*r, 0.2, 1e-16);
  EXPECT_EQ(points, (std::vector<double>{0.25, 0.75}));
}

}  // namespace
}  // namespace barometra
