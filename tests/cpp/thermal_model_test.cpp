// ThermalModel: tag order and names, dispatch to the variant's own
// operations, and parameter replacement by native name.
#include "barometra/thermal/thermal_model.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "barometra/isothermal/finite_strain.hpp"
#include "barometra/isothermal/holzapfel.hpp"
#include "barometra/isothermal/modified_tait.hpp"
#include "test_support.hpp"

namespace barometra {
namespace {

using namespace test_support;
using Names = std::vector<std::string_view>;
using Values = std::vector<double>;

constexpr double kV0 = 11.25, kTr = 300.0;
const RtModel kBm3 = *BM3::create(kV0, 160.0, 4.15);
const ModifiedTait kTait = *ModifiedTait::create(kV0, 160.0, 4.15, -4.15 / 160.0);

// One model of each variant, in tag order.
std::vector<ThermalModel> one_of_each() {
  using R = RtModel;
  return {
      *AsymptoticPowerLawMieGruneisenDebye<R>::create(kBm3, kTr, 760.0, 1.5, 0.4, 2.0, 2.0),
      *VariableQMieGruneisenDebye<R>::create(kBm3, kTr, 760.0, 1.5, 1.2, 0.8, 2.0),
      *Dewaele2006<R>::create(kBm3, kTr, 800.0, 1.5, 0.5, 2.0, 1e-5, 3.0, 3e-5, 1.5, 2.0),
      *DorogokupetsOganov2007<R>::create(kBm3, kTr, 760.0, 1.5, 3.0, 500.0, 5.0, 1.5, 300.0,
                                         1.0, 900.0, 0.5, 1.5, 0.5, 2.5, 15.0, 4.0, 20.0, 1.5,
                                         3e4, 5.0, 2.0),
      *LinearThermalPressure<R>::create(kBm3, kTr, 0.006),
      *DebyeQuadraticThermalPressure<R>::create(kBm3, kTr, 773.0, 1.5, 1.5, 2.0, 2e-8, 1.5),
      *DebyeAnharmonicHelmholtz<R>::create(kBm3, kTr, 760.0, 1.5, 1.2, 5e-3, 0.1, 2.0),
      *LogVolumeThermalPressure<R>::create(kBm3, kTr, 0.005, 0.004),
      *SecondOrderTaylorThermalPressure<R>::create(kBm3, kTr, 0.05, 0.1, 2.0, 0.006, 1.0, 1e-6,
                                                   0.01),
      *MieGruneisenDebye<R>::create(kBm3, kTr, 760.0, 1.5, 1.2, 2.0),
      *MieGruneisenEinstein<R>::create(kBm3, kTr, 560.0, 1.5, 1.2, 2.0),
      *HollandPowellThermalPressure<R>::create(kBm3, kTr, 500.0, 3e-5, 2.0),
      *ThermalModifiedTait::create(kTait, kTr, 500.0, 3e-5, 2.0),
      *MultiOscillatorGruneisen<R>::create(kBm3, kTr, 450.0, 3.0, 800.0, 3.0, -0.1, 1.0, 10.0,
                                           3.0, 1.5, 30.0, 0.2, 600.0, 2.0, 1.0, 1000.0, 4.0,
                                           0.5, 2.0),
      *ThermalReferenceState<R>::create(kBm3, ThermalExpansionLaw::constant,
                                        ReferenceVolumeLaw::integrated_expansivity,
                                        BulkModulusLaw::linear_temperature(), kTr, 3e-5, -0.02,
                                        0.0, 0.0, 0.0),
  };
}

std::vector<std::string> names_of(std::span<const char* const> names) {
  return {names.begin(), names.end()};
}

TEST(ThermalModel, TagOrderModelNamesAndNativeParameterNames) {
  const std::vector<std::pair<const char*, std::vector<std::string>>> expected{
      {"AsymptoticPowerLawMieGruneisenDebye", {"Tr", "theta0", "gamma0", "a", "b", "n"}},
      {"VariableQMieGruneisenDebye", {"Tr", "theta0", "gamma0", "q0", "q1", "n"}},
      {"Dewaele2006",
       {"Tr", "theta0", "gamma0", "gamma_inf", "beta", "anharmonic_a", "anharmonic_m",
        "electronic_e", "electronic_g", "n"}},
      {"DorogokupetsOganov2007",
       {"Tr", "theta_B1", "d_B1", "m_B1", "theta_B2", "d_B2", "m_B2", "theta_E1", "m_E1",
        "theta_E2", "m_E2", "gamma0", "gamma_inf", "beta", "anharmonic_a", "anharmonic_m",
        "electronic_e", "electronic_g", "defect_H", "defect_S", "n"}},
      {"LinearThermalPressure", {"Tr", "alpha_KT"}},
      {"DebyeQuadraticThermalPressure", {"Tr", "theta0", "gamma0", "q", "n", "A", "m"}},
      {"DebyeAnharmonicHelmholtz", {"Tr", "theta0", "gamma0", "q", "b1", "b2", "b3"}},
      {"LogVolumeThermalPressure", {"Tr", "alpha_KT_ref", "dK_dT_V"}},
      {"SecondOrderTaylorThermalPressure", {"Tr", "eta0", "c0", "c1", "c2", "c3", "c4", "c5"}},
      {"MieGruneisenDebye", {"Tr", "theta0", "gamma0", "q", "n", "Cvmax"}},
      {"MieGruneisenEinstein", {"Tr", "theta0", "gamma0", "q", "n"}},
      {"HollandPowellThermalPressure", {"Tr", "theta", "alpha0", "n"}},
      {"ThermalModifiedTait", {"Tr", "theta", "alpha0", "n"}},
      {"MultiOscillatorGruneisenThermalEOS",
       {"Tr", "QE1o", "mE1", "QE2o", "mE2", "delta", "t", "a_0", "m", "g", "e_0", "beta", "QBo",
        "d", "mb", "QB1o", "d1", "mb1", "n"}},
      {"ThermalReferenceStateEOS",
       {"Tr", "alpha0", "dK_dT", "alpha1", "beta1", "beta2", "beta3", "kprime_log_coefficient",
        "dKprime_dT"}},
  };
  const auto models = one_of_each();
  ASSERT_EQ(models.size(), ThermalModel::kModelCount);
  for (std::size_t tag = 0; tag < models.size(); ++tag) {
    EXPECT_EQ(models[tag].tag(), tag);
    EXPECT_STREQ(models[tag].model_name(), expected[tag].first);
    EXPECT_EQ(names_of(models[tag].parameter_names()), expected[tag].second);
    EXPECT_EQ(models[tag].tr(), kTr);
    EXPECT_EQ(models[tag].reference_volume(), kV0);
  }
}

// The union calls the variant's own operation, with the fixed derivative
// steps behind the named quantities. Which names each model accepts, and
// their synonyms, test_thermal_eos.py checks for every model.
TEST(ThermalModel, DispatchAgreesWithTheVariant) {
  const double v = 0.9 * kV0, t = 1500.0;
  for (const ThermalModel& model : one_of_each()) {
    SCOPED_TRACE(model.model_name());
    std::visit(
        [&](const auto& m) {
          const double p = ok(m.pressure(v, t));
          EXPECT_EQ(model.pressure(v, t), p);
          EXPECT_EQ(model.volume(p, t), m.volume(p, t));
          EXPECT_EQ(model.temperature(p, v), m.temperature(p, v));
          EXPECT_EQ(model.thermal_pressure_increment(v, t), m.thermal_pressure_increment(v, t));
          EXPECT_EQ(model.bulk_modulus(v, t, 1e-4), m.bulk_modulus(v, t, 1e-4));
          EXPECT_EQ(model.volume_with_dac_confinement(p, t, 0.3),
                    m.volume_with_dac_confinement(p, t, 0.3));
          using enum ThermalQuantity;
          EXPECT_EQ(model.evaluate(temperature, p, v), m.temperature(p, v));
          EXPECT_EQ(model.evaluate(bulk_modulus, v, t), m.bulk_modulus(v, t, 1e-6));
          EXPECT_EQ(model.evaluate(thermal_expansivity, v, t), m.thermal_expansivity(v, t, 1e-5));
          if constexpr (requires { m.molar_heat_capacity_p(v, t); }) {
            EXPECT_EQ(model.evaluate(molar_heat_capacity_p, v, t), m.molar_heat_capacity_p(v, t));
          }
        },
        model.variant());
  }
}

TEST(ThermalModel, ModelSpecificQuantitiesReachTheirOperation) {
  const auto models = one_of_each();
  using enum ThermalQuantity;
  const auto& dewaele = *models[2].get_if<Dewaele2006<RtModel>>();
  EXPECT_EQ(models[2].evaluate(characteristic_temperature, kV0, kNaN), 800.0);
  EXPECT_EQ(models[2].evaluate(electronic_pressure_increment, kV0, 900.0),
            dewaele.electronic_pressure_increment(kV0, 900.0));
  const auto& dorogokupets = *models[3].get_if<DorogokupetsOganov2007<RtModel>>();
  EXPECT_EQ(models[3].evaluate(absolute_thermal_pressure, kV0, 900.0),
            dorogokupets.absolute_nonreference_pressure(kV0, 900.0));
  const auto& helmholtz = *models[6].get_if<DebyeAnharmonicHelmholtz<RtModel>>();
  EXPECT_EQ(models[6].evaluate(internal_energy, kV0, 900.0),
            helmholtz.internal_energy(kV0, 900.0));
  const auto& mgd = *models[9].get_if<MieGruneisenDebye<RtModel>>();
  EXPECT_EQ(models[9].evaluate(thermal_gibbs_free_energy, kV0, 900.0),
            mgd.thermal_gibbs_free_energy(kV0, 900.0));
  // The Mie-Grueneisen gamma ignores the temperature.
  EXPECT_EQ(models[9].evaluate(gruneisen_parameter, kV0, kNaN), 1.5);
}

std::expected<ThermalModel, FitError> replace(const ThermalModel& m, Names names,
                                              Values values) {
  return m.with_parameters(names, values);
}

FitError unavailable(const char* name) {
  return FitError::invalid_input(std::string("parameter \"") + name +
                                 "\" is unavailable for the native EOS");
}

TEST(ThermalModel, WithParametersAddressesTheIsothermByPrefix) {
  const ThermalModel linear = one_of_each()[4];
  const auto both = replace(linear, {"rt_eos.K0", "Tr"}, {170.0, 310.0});
  ASSERT_TRUE(both);
  EXPECT_EQ(both->parameter("rt_eos.K0"), 170.0);
  EXPECT_EQ(both->parameter("Tr"), 310.0);
  EXPECT_EQ(both->parameter("alpha_KT"), 0.006);
  EXPECT_EQ(both->reference_eos().model_name(), std::string("BM3"));
  EXPECT_EQ(replace(linear, {"K0"}, {170.0}).error(), unavailable("K0"));
  EXPECT_EQ(replace(linear, {"tr"}, {310.0}).error(), unavailable("tr"));
  EXPECT_EQ(replace(linear, {"Tr", "alpha_kt"}, {310.0, 0.1}).error(), unavailable("alpha_kt"));
  // Z belongs to Holzapfel alone; the isotherm's rules apply first.
  EXPECT_EQ(replace(linear, {"Tr", "alpha_kt", "rt_eos.Z"}, {1, 2, 3}).error(), unavailable("Z"));
  const ThermalModel over_holzapfel = *LinearThermalPressure<RtModel>::create(
      *Holzapfel::create(kV0, 160.0, 4.5, 2.0, 10.0), kTr, 0.006);
  EXPECT_EQ(replace(over_holzapfel, {"rt_eos.Z"}, {12.0})->parameter("rt_eos.Z"), 12.0);
  EXPECT_EQ(replace(linear, {"Tr", "alpha_KT"}, {310.0}).error(),
            FitError::invalid_input("native EOS parameter names and values have different lengths"));
}

TEST(ThermalModel, WithParametersTakesFirstValuesAndRebuildsWithChecks) {
  for (const ThermalModel& model : one_of_each()) {
    SCOPED_TRACE(model.model_name());
    // Two empty lists give an equal model.
    const auto same = replace(model, {}, {});
    ASSERT_TRUE(same);
    EXPECT_EQ(same->tag(), model.tag());
    for (const char* name : model.parameter_names()) {
      EXPECT_EQ(same->parameter(name), model.parameter(name));
    }
    EXPECT_EQ(same->pressure(0.9 * kV0, 1500.0), model.pressure(0.9 * kV0, 1500.0));
    // A repeated name takes its first value; every constructor checks Tr.
    EXPECT_EQ(replace(model, {"Tr", "Tr"}, {310.0, 320.0})->tr(), 310.0);
    EXPECT_EQ(replace(model, {"rt_eos.V0", "Tr"}, {12.0, -1.0}).error(),
              FitError(positive("Tr")));
    EXPECT_EQ(replace(model, {"Tr", "rt_eos.K0"}, {-1.0, -1.0}).error(),
              FitError(positive("K0")));
  }
}

TEST(ThermalModel, WithParametersKeepsOptionsAndKinds) {
  const auto tait = replace(one_of_each()[12], {"rt_eos.K0", "alpha0"}, {170.0, 4e-5});
  ASSERT_NE(tait->get_if<ThermalModifiedTait>(), nullptr);
  EXPECT_EQ(tait->get_if<ThermalModifiedTait>()->reference_eos().parameters()[1], 170.0);

  const ThermalModel zero_point = *Dewaele2006<RtModel>::create(
      kBm3, kTr, 800.0, 1.5, 0.5, 2.0, 1e-5, 3.0, 3e-5, 1.5, 2.0,
      ThermalPressureReference::absolute_zero, ZeroPointPressure::included);
  const auto one_atom = replace(zero_point, {"n"}, {1.0});
  const auto* dewaele = one_atom->get_if<Dewaele2006<RtModel>>();
  EXPECT_EQ(dewaele->thermal_pressure_reference(), ThermalPressureReference::absolute_zero);
  EXPECT_EQ(dewaele->zero_point_pressure(), ZeroPointPressure::included);

  const ThermalModel isentrope = *MieGruneisenDebye<RtModel>::create(
      kBm3, kTr, 760.0, 1.5, 1.2, 2.0, DebyeTemperatureLaw::variable_exponent,
      ThermalPressureReference::reference_isentrope, 40.0);
  const auto stiffer = replace(isentrope, {"q"}, {1.0});
  const auto* mgd = stiffer->get_if<MieGruneisenDebye<RtModel>>();
  EXPECT_EQ(mgd->debye_temperature_law(), DebyeTemperatureLaw::variable_exponent);
  EXPECT_EQ(mgd->thermal_pressure_reference(), ThermalPressureReference::reference_isentrope);
  EXPECT_EQ(mgd->cvmax(), 40.0);
  EXPECT_EQ(replace(isentrope, {"Cvmax"}, {0.0}).error(), FitError(positive("Cvmax")));
}

TEST(ThermalModel, ReferenceStateBetasNeedTheCubicLaw) {
  const ThermalModel linear = one_of_each()[14];
  EXPECT_EQ(replace(linear, {"beta2"}, {0.3}).error(),
            FitError(EosError::invalid_parameter("beta coefficients",
                                                 "require reciprocal cubic compressibility")));
  EXPECT_TRUE(replace(linear, {"beta2", "alpha0"}, {0.0, 2e-5}));
  const ThermalModel cubic = *ThermalReferenceState<RtModel>::create(
      kBm3, ThermalExpansionLaw::constant, ReferenceVolumeLaw::integrated_expansivity,
      BulkModulusLaw::reciprocal_cubic(1e-7, 0.0, 0.0), kTr, 3e-5, 0.0, 0.0, 0.0, 0.0);
  const auto rebuilt = replace(cubic, {"beta2"}, {1e-10});
  EXPECT_EQ(rebuilt->parameter("beta1"), 1e-7);
  EXPECT_EQ(rebuilt->parameter("beta2"), 1e-10);
  // The laws are applied again, with their checks.
  EXPECT_EQ(replace(cubic, {"dK_dT"}, {0.5}).error(),
            FitError(EosError::invalid_parameter("dK_dT", "must be zero with cubic compressibility")));
  EXPECT_EQ(replace(linear, {"kprime_log_coefficient"}, {0.1})->parameter("kprime_log_coefficient"),
            0.1);
}

}  // namespace
}  // namespace barometra
