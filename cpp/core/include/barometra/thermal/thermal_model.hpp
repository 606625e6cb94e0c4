// ThermalModel: the closed set of the fifteen thermal models, in tag order,
// each over an RtModel reference isotherm except ThermalModifiedTait, whose
// reference is a ModifiedTait. Python's ThermalEos holds one, and thermal fits
// rebuild one from named trial parameters.
#pragma once

#include <cstddef>
#include <expected>
#include <optional>
#include <span>
#include <string_view>
#include <type_traits>
#include <utility>

#include "barometra/error.hpp"
#include "barometra/isothermal/rt_model.hpp"
#include "barometra/model_union.hpp"
#include "barometra/thermal/asymptotic_power_law.hpp"
#include "barometra/thermal/debye_anharmonic.hpp"
#include "barometra/thermal/dewaele2006.hpp"
#include "barometra/thermal/dorogokupets_oganov.hpp"
#include "barometra/thermal/holland_powell.hpp"
#include "barometra/thermal/mie_gruneisen.hpp"
#include "barometra/thermal/multi_oscillator.hpp"
#include "barometra/thermal/thermal_pressure.hpp"
#include "barometra/thermal/thermal_quantity.hpp"
#include "barometra/thermal/thermal_reference_state.hpp"
#include "barometra/thermal/variable_q.hpp"

namespace barometra {

// The index of each alternative is the model's tag.
class ThermalModel
    : public detail::ModelUnion<
          AsymptoticPowerLawMieGruneisenDebye<RtModel>, VariableQMieGruneisenDebye<RtModel>,
          Dewaele2006<RtModel>, DorogokupetsOganov2007<RtModel>, LinearThermalPressure<RtModel>,
          DebyeQuadraticThermalPressure<RtModel>, DebyeAnharmonicHelmholtz<RtModel>,
          LogVolumeThermalPressure<RtModel>, SecondOrderTaylorThermalPressure<RtModel>,
          MieGruneisenDebye<RtModel>, MieGruneisenEinstein<RtModel>,
          HollandPowellThermalPressure<RtModel>, ThermalModifiedTait,
          MultiOscillatorGruneisen<RtModel>, ThermalReferenceState<RtModel>> {
 public:
  // Names with this prefix address the reference isotherm's parameters.
  static constexpr std::string_view kReferencePrefix = "rt_eos.";

  template <class Model>
    requires(!std::is_same_v<std::remove_cvref_t<Model>, ThermalModel>)
  ThermalModel(Model model) noexcept : ModelUnion(std::move(model)) {}  // NOLINT: implicit

  // The value of a native thermal parameter, or of the reference isotherm's
  // under kReferencePrefix ("rt_eos.V0"); nothing for any other name.
  std::optional<double> parameter(std::string_view name) const noexcept;
  // A copy of the reference isotherm (a ModifiedTait stays one inside the RtModel).
  RtModel reference_eos() const noexcept {
    return visit([](const auto& m) { return RtModel(m.reference_eos()); });
  }
  double reference_volume() const noexcept {
    return visit([](const auto& m) { return m.reference_eos().v0(); });
  }
  double tr() const noexcept {
    return visit([](const auto& m) { return m.tr(); });
  }

  Result thermal_pressure(double volume, double temperature) const noexcept {
    return visit([=](const auto& m) { return m.thermal_pressure(volume, temperature); });
  }
  Result thermal_pressure_increment(double volume, double temperature) const noexcept {
    return visit([=](const auto& m) { return m.thermal_pressure_increment(volume, temperature); });
  }
  Result pressure(double volume, double temperature) const noexcept {
    return visit([=](const auto& m) { return m.pressure(volume, temperature); });
  }
  Result volume(double pressure, double temperature) const noexcept {
    return visit([=](const auto& m) { return m.volume(pressure, temperature); });
  }
  Result temperature(double pressure, double volume) const noexcept {
    return visit([=](const auto& m) { return m.temperature(pressure, volume); });
  }
  Result bulk_modulus(double volume, double temperature, double relative_step) const noexcept {
    return visit([=](const auto& m) { return m.bulk_modulus(volume, temperature, relative_step); });
  }
  Result thermal_expansivity(double volume, double temperature,
                             double relative_step) const noexcept {
    return visit(
        [=](const auto& m) { return m.thermal_expansivity(volume, temperature, relative_step); });
  }
  Result isothermal_compressibility(double volume, double temperature) const noexcept {
    return visit([=](const auto& m) { return m.isothermal_compressibility(volume, temperature); });
  }
  Result dac_thermal_pressure(double volume, double temperature, double f_dac) const noexcept {
    return visit([=](const auto& m) { return m.dac_thermal_pressure(volume, temperature, f_dac); });
  }
  Result volume_with_dac_confinement(double cold_pressure, double temperature,
                                     double f_dac) const noexcept {
    return visit([=](const auto& m) {
      return m.volume_with_dac_confinement(cold_pressure, temperature, f_dac);
    });
  }

  // The principal Hugoniot from T0 (principal_hugoniot.hpp). A model without
  // thermal energy has none, and says so naming itself.
  std::expected<HugoniotOrigin, EosError> hugoniot_origin(double t0) const noexcept {
    return on_hugoniot<HugoniotOrigin>(
        [=](const auto& m) { return barometra::hugoniot_origin(m, t0); });
  }
  std::expected<HugoniotState, EosError> hugoniot_state(const HugoniotOrigin& origin,
                                                        double volume) const noexcept {
    return on_hugoniot<HugoniotState>(
        [&](const auto& m) { return barometra::hugoniot_state(m, origin, volume); });
  }
  Result hugoniot_pressure(double volume, double t0) const noexcept {
    return on_hugoniot<double>(
        [=](const auto& m) { return barometra::hugoniot_pressure(m, volume, t0); });
  }
  Result hugoniot_temperature(double volume, double t0) const noexcept {
    return on_hugoniot<double>(
        [=](const auto& m) { return barometra::hugoniot_temperature(m, volume, t0); });
  }

  // Whether the model has the operation behind `quantity` (thermal_quantity.hpp).
  bool provides(ThermalQuantity quantity) const noexcept {
    return visit([quantity](const auto& m) {
      return thermal_operation<std::remove_cvref_t<decltype(m)>>(quantity) != nullptr;
    });
  }
  // The quantity at (first, second), or nothing when the model does not provide it.
  std::optional<Result> evaluate(ThermalQuantity quantity, double first,
                                 double second) const noexcept {
    return visit([=](const auto& m) -> std::optional<Result> {
      const auto operation = thermal_operation<std::remove_cvref_t<decltype(m)>>(quantity);
      if (operation == nullptr) return std::nullopt;
      return operation(m, first, second);
    });
  }

  // A new model of the same kind with the named parameters replaced: native
  // thermal names ("Tr", "theta0", ...) and, under kReferencePrefix, the
  // reference isotherm's (RtModel::with_parameters, whose rules apply first).
  // Names not listed keep their value, a repeated name takes its first value,
  // and the options (laws, references, flags) never change. The model is
  // rebuilt through its constructor, so every parameter check runs again.
  std::expected<ThermalModel, FitError> with_parameters(std::span<const std::string_view> names,
                                                        std::span<const double> values) const;

 private:
  // f(m) for a model with a Hugoniot; for any other, the error naming it.
  template <class T, class F>
  std::expected<T, EosError> on_hugoniot(F f) const noexcept {
    return visit([&](const auto& m) -> std::expected<T, EosError> {
      using Model = std::remove_cvref_t<decltype(m)>;
      if constexpr (HasPrincipalHugoniot<Model>) {
        return f(m);
      } else {
        return std::unexpected(
            EosError::invalid_parameter(Model::kName, hugoniot::kNoThermalEnergy));
      }
    });
  }
};

}  // namespace barometra
