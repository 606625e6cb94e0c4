#include "barometra/fit/eos_fit.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "barometra/thermal/thermal_model.hpp"

namespace barometra {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
const std::vector<std::string_view> kNames{"V0", "K0", "K0_prime"};

RtModel bm3(double v0, double k0, double kp) { return RtModel(BM3::create(v0, k0, kp).value()); }
RtModel vinet(double v0, double k0, double kp) {
  return RtModel(Vinet::create(v0, k0, kp).value());
}

// Rebuilds the template with the trial values under `names`.
struct RtBuilder {
  RtModel model;
  std::vector<std::string_view> names = kNames;
  std::expected<RtModel, FitError> operator()(std::span<const double> values) const {
    return model.with_parameters(names, values);
  }
};

// N volumes from V0 down to 0.8 V0 and the model's exact pressures.
struct PvData {
  std::vector<double> pressure, volume, sigma;
  PvData(const RtModel& truth, std::size_t n, double sigma_p = 0.1) {
    for (std::size_t i = 0; i < n; ++i) {
      volume.push_back(truth.v0() * (1.0 - 0.2 * static_cast<double>(i) / (n - 1)));
      pressure.push_back(truth.pressure(volume.back()).value());
      sigma.push_back(sigma_p);
    }
  }
  PvObservations observations() const { return {pressure, volume, sigma, {}, {}}; }
};

const std::vector<double> kStart{10.0, 120.0, 6.0};
const std::vector<double> kLower{1.0, 1.0, -10.0};
const std::vector<double> kUpper{100.0, 1000.0, 20.0};

std::expected<EosFitResult, FitError> fit(const PvObservations& o, const RtModel& start,
                                          std::span<const double> initial = kStart,
                                          SolverOptions options = {}) {
  return fit_isothermal_eos(o, initial, kLower, kUpper, options, RtBuilder{start});
}

std::string message_of(const std::expected<EosFitResult, FitError>& r) {
  if (r) return "(succeeded)";
  return std::string(r.error().message());
}

class NoiseFree : public testing::TestWithParam<RtModel> {};

TEST_P(NoiseFree, RecoversTheModelFromAPoorStartToNearMachinePrecision) {
  const RtModel truth = GetParam();
  const PvData data(truth, 20);
  const EosFitResult r = fit(data.observations(), truth).value();
  EXPECT_TRUE(r.solver.success) << r.solver.message;
  EXPECT_NEAR(r.parameters[0], 11.0, 1e-11);
  EXPECT_NEAR(r.parameters[1], 160.0, 1e-8);
  EXPECT_NEAR(r.parameters[2], 4.5, 1e-9);
  EXPECT_LT(r.chi_square, 1e-16);  // pressures off by ~1e-12 relative
  EXPECT_EQ(r.solver.x.size(), 3u);
  EXPECT_EQ(r.solver.fun.size(), 20u);
  EXPECT_FALSE(r.solver.jac.layout());
  EXPECT_EQ(r.degrees_of_freedom, 17);
  EXPECT_EQ(r.volumes, data.volume);
  EXPECT_FALSE(r.temperatures);
  for (std::size_t i = 0; i < 20; ++i) {
    EXPECT_NEAR(r.predicted_pressure[i], data.pressure[i], 1e-9);
  }
}

INSTANTIATE_TEST_SUITE_P(EosFit, NoiseFree,
                         testing::Values(bm3(11.0, 160.0, 4.5), vinet(11.0, 160.0, 4.5)),
                         [](const auto& info) { return std::string(info.param.model_name()); });

TEST(EosFit, LatentVolumesStartAtTheMeasuredOnesAndDoubleTheResiduals) {
  const RtModel truth = bm3(11.0, 160.0, 4.5);
  PvData data(truth, 12);
  const std::vector<double> sigma_v(12, 0.01);
  PvObservations o = data.observations();
  o.volume_sigma = sigma_v;
  SolverOptions one;
  one.max_evaluations = 1;
  const EosFitResult start = fit(o, truth, kStart, one).value();
  ASSERT_EQ(start.solver.x.size(), 3u + 12u);
  EXPECT_EQ(std::vector(start.solver.x.begin() + 3, start.solver.x.end()), data.volume);
  EXPECT_EQ(start.solver.fun.size(), 24u);
  EXPECT_EQ(start.solver.jac.layout(), (StructuredLayout{3, 12, 1}));
  EXPECT_FALSE(start.solver.success);
  EXPECT_EQ(start.degrees_of_freedom, 24 - 15);

  const EosFitResult r = fit(o, truth).value();
  EXPECT_TRUE(r.solver.success);
  EXPECT_NEAR(r.parameters[1], 160.0, 1e-6);
  EXPECT_EQ(r.covariance.size(), 9u);
  for (std::size_t i = 0; i < 12; ++i) EXPECT_NEAR(r.volumes[i], data.volume[i], 1e-9);
}

// Noisy data, so that the fits below have something to disagree about.
PvData noisy(std::size_t n, unsigned seed) {
  PvData data(bm3(11.0, 160.0, 4.5), n, 0.3);
  std::mt19937_64 random(seed);
  std::normal_distribution<double> normal;
  for (double& p : data.pressure) p += 0.3 * normal(random);
  for (double& v : data.volume) v += 0.01 * normal(random);
  return data;
}

TEST(EosFit, DiagonalCholeskyFactorsGiveTheFitOfPlainSigmas) {
  const PvData data = noisy(15, 3);
  const std::vector<double> sigma_v(15, 0.01);
  std::vector<double> factors;
  for (std::size_t i = 0; i < 15; ++i) factors.insert(factors.end(), {0.3, 0.0, 0.0, 0.01});
  PvObservations plain = data.observations();
  plain.volume_sigma = sigma_v;
  PvObservations whitened = plain;
  whitened.cholesky = factors;
  const RtModel start = bm3(11.0, 160.0, 4.5);
  const EosFitResult a = fit(plain, start).value(), b = fit(whitened, start).value();
  EXPECT_EQ(a.solver.fun, b.solver.fun);
  EXPECT_EQ(a.solver.x, b.solver.x);
  EXPECT_EQ(a.covariance, b.covariance);
}

TEST(EosFit, CorrelatedErrorsWeightTheResidualsByTheInverseFactor) {
  // cov(P, V) = C C^T with C = [[2, 0], [1, 0.5]]: the whitened residuals are
  // C^-1 r, checked at the start (one evaluation) against a hand solve.
  const PvData data = noisy(3, 4);
  const std::vector<double> sigma_v(3, 1.0);
  std::vector<double> factors;
  for (int i = 0; i < 3; ++i) factors.insert(factors.end(), {2.0, 0.0, 1.0, 0.5});
  PvObservations o = data.observations();
  o.volume_sigma = sigma_v;
  o.cholesky = factors;
  SolverOptions one;
  one.max_evaluations = 1;
  const RtModel start = bm3(11.0, 160.0, 4.5);
  const EosFitResult r = fit(o, start, {{11.0, 160.0, 4.5}}, one).value();
  for (std::size_t i = 0; i < 3; ++i) {
    const double dp = start.pressure(data.volume[i]).value() - data.pressure[i];
    EXPECT_DOUBLE_EQ(r.solver.fun[i], dp / 2.0);
    EXPECT_DOUBLE_EQ(r.solver.fun[3 + i], (0.0 - dp / 2.0) / 0.5);
  }
}

TEST(EosFit, StatisticsFollowFromTheFinalResiduals) {
  const PvData data = noisy(10, 5);
  const EosFitResult r = fit(data.observations(), bm3(11.0, 160.0, 4.5)).value();
  double chi = 0.0;
  for (double f : r.solver.fun) chi += f * f;
  EXPECT_DOUBLE_EQ(r.chi_square, chi);
  EXPECT_DOUBLE_EQ(r.chi_square, 2.0 * r.solver.cost);
  EXPECT_EQ(r.degrees_of_freedom, 7);
  EXPECT_DOUBLE_EQ(*r.reduced_chi_square, chi / 7.0);
  EXPECT_DOUBLE_EQ(r.aic, 6.0 + 10.0 * std::log(chi / 10.0));
  EXPECT_DOUBLE_EQ(r.bic, 3.0 * std::log(10.0) + 10.0 * std::log(chi / 10.0));
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_DOUBLE_EQ(r.standard_errors[i], std::sqrt(r.covariance[i * 3 + i]));
    EXPECT_DOUBLE_EQ(r.correlation[i * 3 + i], 1.0);
  }
  EXPECT_LT(r.correlation[1], -0.5);  // V0 and K0 trade off

  // N = k: no degrees of freedom, no reduced chi-square, and chi^2 = 0 takes
  // the floor of the logarithm rather than -inf.
  const PvData three(bm3(11.0, 160.0, 4.5), 3);
  const EosFitResult exact = fit(three.observations(), bm3(11.0, 160.0, 4.5)).value();
  EXPECT_EQ(exact.degrees_of_freedom, 0);
  EXPECT_FALSE(exact.reduced_chi_square);
  EXPECT_TRUE(std::isfinite(exact.aic));
}

// (observations, message): each case breaks exactly one rule and may break
// later ones too, so that the order is tested as well.
TEST(EosFit, InputChecksReportTheFirstFailureInOrder) {
  const std::vector<double> p{1.0, 2.0}, v{10.0, 9.0}, s{0.1, 0.1}, one{1.0};
  const std::vector<double> bad_v{10.0, -9.0}, nan_p{kNaN, 2.0}, zero_s{0.1, 0.0};
  const std::vector<double> good_f{1, 0, 0, 1, 1, 0, 0, 1}, short_f{1, 0, 0, 1};
  const std::vector<double> zero_diag{1, 0, 0, 1, 1, 0, 0, 0}, upper{1, 0, 0, 1, 1, 0.5, 0, 1};
  const std::vector<double> both{1, 0.5, 0, 0, 1, 0, 0, 1}, inf_f{1, 0, 0, 1, 1, 0, kInf, 1};
  const std::vector<double> same_row{0, 0.5, 0, 1, 1, 0, 0, 1};
  struct Case {
    PvObservations o;
    const char* message;
  };
  const Case cases[] = {
      {{one, v, s, {}, {}}, "EOS observation arrays must have the same non-zero length"},
      {{{}, {}, {}, {}, {}}, "EOS observation arrays must have the same non-zero length"},
      {{p, v, one, bad_v, {}}, "EOS observation arrays must have the same non-zero length"},
      {{nan_p, v, s, one, {}}, "EOS observations and uncertainties must be finite and valid"},
      {{p, bad_v, s, {}, {}}, "EOS observations and uncertainties must be finite and valid"},
      {{p, v, zero_s, {}, {}}, "EOS observations and uncertainties must be finite and valid"},
      {{p, v, s, one, short_f},
       "volume_sigma must contain one positive finite value per observation"},
      {{p, v, s, zero_s, {}},
       "volume_sigma must contain one positive finite value per observation"},
      {{p, v, s, {}, short_f}, "observation Cholesky factors have invalid dimensions or values"},
      {{p, v, s, {}, inf_f}, "observation Cholesky factors have invalid dimensions or values"},
      {{p, v, s, {}, zero_diag}, "observation Cholesky factors must have positive diagonals"},
      {{p, v, s, {}, upper}, "observation Cholesky factors must be lower triangular"},
      // Row 0 has a non-zero upper entry, row 1 a zero diagonal: row 0 first.
      {{p, v, s, {}, both}, "observation Cholesky factors must be lower triangular"},
      // Within a row the diagonal comes first.
      {{p, v, s, {}, same_row}, "observation Cholesky factors must have positive diagonals"},
      {{p, v, s, {}, good_f}, "correlated pressure-volume errors require latent volumes"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(message_of(fit(c.o, bm3(11.0, 160.0, 4.5))), c.message);
  }
  const PvObservations fine{p, v, s, {}, {}};
  const std::vector<double> two{11.0, 160.0};
  const RtBuilder builder{bm3(11, 160, 4)};
  EXPECT_EQ(message_of(fit_isothermal_eos(fine, two, kLower, kUpper, {}, builder)),
            "EOS initial parameters and bounds must have the same non-zero length");
  EXPECT_EQ(message_of(fit_isothermal_eos(fine, {}, {}, {}, {}, builder)),
            "EOS initial parameters and bounds must have the same non-zero length");
  const std::vector<double> outside{11.0, 2000.0, 4.0};
  EXPECT_EQ(message_of(fit(fine, bm3(11, 160, 4), outside)),
            "invalid initial value or bounds at parameter 1");
}

TEST(EosFit, ThermalInputChecksComeInTheirOrder) {
  const std::vector<double> p{1.0, 2.0}, v{1.0, 0.9}, t{300.0, 1000.0}, s{0.1, 0.1}, one{1.0};
  const std::vector<double> f3(18, 0.0);
  std::vector<double> eye3;
  for (int i = 0; i < 2; ++i) eye3.insert(eye3.end(), {1, 0, 0, 0, 1, 0, 0, 0, 1});
  struct Case {
    PvtObservations o;
    const char* message;
  };
  const Case cases[] = {
      // A short temperature array fails before the (also bad) volume_sigma.
      {{p, v, one, s, one, {}, {}},
       "temperature must contain one positive finite value per observation"},
      {{p, v, t, s, {}, one, {}},
       "temperature_sigma must contain one positive finite value per observation"},
      {{p, v, t, s, {}, {}, f3}, "observation Cholesky factors must have positive diagonals"},
      {{p, v, t, s, s, {}, eye3},
       "correlated pressure-volume-temperature errors require latent coordinates"},
  };
  const ThermalModel model(
      MieGruneisenDebye<RtModel>::create(bm3(1.0, 160.0, 4.0), 300.0, 800.0, 1.5, 1.0, 3.0)
          .value());
  for (const Case& c : cases) {
    auto r = fit_thermal_eos_by(
        c.o, std::vector{1.0}, std::vector{0.5}, std::vector{2.0}, SolverOptions{},
        [&](std::span<const double>) { return std::expected<ThermalModel, FitError>(model); },
        [](const ThermalModel& m, double volume, double temperature) {
          return m.pressure(volume, temperature);
        });
    EXPECT_EQ(message_of(r), c.message);
  }
}

// A caller names the measurement at fault from the field and the row.
TEST(EosFit, InvalidInputNamesItsInputAndRow) {
  const std::vector<double> p{1.0, 2.0}, v{10.0, 9.0}, s{0.1, 0.1}, zero_s{0.1, 0.0};
  const std::vector<double> subnormal_v{10.0, 1e-310}, one{1.0};
  struct Case {
    PvObservations o;
    std::span<const double> initial;
    std::string_view field;
    std::optional<std::size_t> index;
  };
  const std::vector<double> outside{11.0, 2000.0, 4.0};
  const Case cases[] = {
      {{p, v, zero_s, {}, {}}, kStart, "pressure_sigma", 1},
      {{p, v, s, zero_s, {}}, kStart, "volume_sigma", 1},
      {{p, v, s, one, {}}, kStart, "volume_sigma", std::nullopt},
      {{p, v, s, {}, {}}, outside, "initial", 1},
      // Positive, so a valid measurement, but below the latent volumes' bound.
      {{p, subnormal_v, s, s, {}}, kStart, "volume", 1},
  };
  for (const Case& c : cases) {
    const auto r = fit(c.o, bm3(11.0, 160.0, 4.5), c.initial);
    ASSERT_FALSE(r) << c.field;
    EXPECT_EQ(r.error().field(), c.field);
    EXPECT_EQ(r.error().index(), c.index) << c.field;
  }
}

TEST(EosFit, ThermalFitRecoversGruneisenAndDebyeParameters) {
  const ThermalModel truth(
      MieGruneisenDebye<RtModel>::create(bm3(1.1, 160.0, 4.5), 300.0, 900.0, 1.5, 1.2, 3.0)
          .value());
  std::vector<double> p, v, t, sp, sv, st;
  for (double temperature : {300.0, 800.0, 1300.0, 1800.0}) {
    for (int i = 0; i < 8; ++i) {
      v.push_back(1.1 * (1.0 - 0.025 * i));
      t.push_back(temperature);
      p.push_back(truth.pressure(v.back(), temperature).value());
      sp.push_back(0.1);
      sv.push_back(0.001);
      st.push_back(10.0);
    }
  }
  const std::vector<std::string_view> names{"rt_eos.K0", "theta0", "gamma0", "q"};
  auto build = [&](std::span<const double> values) { return truth.with_parameters(names, values); };
  auto pressure = [](const ThermalModel& m, double volume, double temperature) {
    return m.pressure(volume, temperature);
  };
  const std::vector<double> start{140.0, 600.0, 1.0, 1.0}, lower{50.0, 100.0, 0.1, 0.1},
      upper{400.0, 3000.0, 5.0, 5.0};
  // Plain, then with latent volumes and temperatures (L = 2).
  for (bool latent : {false, true}) {
    PvtObservations o{p, v, t, sp, {}, {}, {}};
    if (latent) o.volume_sigma = sv, o.temperature_sigma = st;
    const EosFitResult r =
        fit_thermal_eos_by(o, start, lower, upper, SolverOptions{}, build, pressure).value();
    EXPECT_TRUE(r.solver.success) << r.solver.message;
    EXPECT_NEAR(r.parameters[0], 160.0, 1e-5);
    EXPECT_NEAR(r.parameters[1], 900.0, 1e-3);
    EXPECT_NEAR(r.parameters[2], 1.5, 1e-6);
    EXPECT_NEAR(r.parameters[3], 1.2, 1e-5);
    EXPECT_EQ(r.solver.x.size(), latent ? 4u + 64u : 4u);
    EXPECT_EQ(r.temperatures.value().size(), 32u);
    EXPECT_EQ(r.solver.jac.layout().has_value(), latent);
  }
}

}  // namespace
}  // namespace barometra
