// The quantities a thermal model can be asked for by name, each a function of
// two state values (first, second): (V, T) for most, (P, T) for "volume",
// (P, V) for "temperature", V alone for "characteristic_temperature", (V, T0)
// for the two of the principal Hugoniot from T0. A model
// offers a quantity exactly when it has the operation behind it, so the
// caloric and model-specific ones exist only where the model defines them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <type_traits>

#include "barometra/checks.hpp"
#include "barometra/thermal/contract.hpp"
#include "barometra/thermal/principal_hugoniot.hpp"

namespace barometra {

enum class ThermalQuantity : std::uint8_t {
  pressure,
  volume,
  temperature,
  bulk_modulus,
  isothermal_compressibility,
  thermal_expansivity,
  thermal_pressure,
  thermal_pressure_increment,
  adiabatic_bulk_modulus,
  gruneisen_parameter,
  characteristic_temperature,
  molar_heat_capacity_v,
  molar_heat_capacity_p,
  thermal_energy,
  thermal_entropy,
  thermal_enthalpy,
  thermal_helmholtz_free_energy,
  thermal_gibbs_free_energy,
  vibrational_pressure,
  vibrational_pressure_increment,
  anharmonic_pressure_increment,
  electronic_pressure_increment,
  absolute_thermal_pressure,
  internal_energy,
  entropy,
  helmholtz_free_energy,
  bulk_modulus_pressure_derivative,
  hugoniot_pressure,
  hugoniot_temperature,
};

struct ThermalQuantityName {
  std::string_view name;
  ThermalQuantity quantity;
};

// Every accepted name; three quantities have a second name.
inline constexpr std::array<ThermalQuantityName, 32> kThermalQuantityNames{{
    {"pressure", ThermalQuantity::pressure},
    {"volume", ThermalQuantity::volume},
    {"temperature", ThermalQuantity::temperature},
    {"bulk_modulus", ThermalQuantity::bulk_modulus},
    {"isothermal_compressibility", ThermalQuantity::isothermal_compressibility},
    {"thermal_expansivity", ThermalQuantity::thermal_expansivity},
    {"thermal_pressure", ThermalQuantity::thermal_pressure},
    {"thermal_pressure_increment", ThermalQuantity::thermal_pressure_increment},
    {"adiabatic_bulk_modulus", ThermalQuantity::adiabatic_bulk_modulus},
    {"gruneisen_parameter", ThermalQuantity::gruneisen_parameter},
    {"characteristic_temperature", ThermalQuantity::characteristic_temperature},
    {"molar_heat_capacity_v", ThermalQuantity::molar_heat_capacity_v},
    {"heat_capacity_v", ThermalQuantity::molar_heat_capacity_v},
    {"molar_heat_capacity_p", ThermalQuantity::molar_heat_capacity_p},
    {"heat_capacity_p", ThermalQuantity::molar_heat_capacity_p},
    {"thermal_energy", ThermalQuantity::thermal_energy},
    {"thermal_internal_energy", ThermalQuantity::thermal_energy},
    {"thermal_entropy", ThermalQuantity::thermal_entropy},
    {"thermal_enthalpy", ThermalQuantity::thermal_enthalpy},
    {"thermal_helmholtz_free_energy", ThermalQuantity::thermal_helmholtz_free_energy},
    {"thermal_gibbs_free_energy", ThermalQuantity::thermal_gibbs_free_energy},
    {"vibrational_pressure", ThermalQuantity::vibrational_pressure},
    {"vibrational_pressure_increment", ThermalQuantity::vibrational_pressure_increment},
    {"anharmonic_pressure_increment", ThermalQuantity::anharmonic_pressure_increment},
    {"electronic_pressure_increment", ThermalQuantity::electronic_pressure_increment},
    {"absolute_thermal_pressure", ThermalQuantity::absolute_thermal_pressure},
    {"internal_energy", ThermalQuantity::internal_energy},
    {"entropy", ThermalQuantity::entropy},
    {"helmholtz_free_energy", ThermalQuantity::helmholtz_free_energy},
    {"bulk_modulus_pressure_derivative", ThermalQuantity::bulk_modulus_pressure_derivative},
    {"hugoniot_pressure", ThermalQuantity::hugoniot_pressure},
    {"hugoniot_temperature", ThermalQuantity::hugoniot_temperature},
}};

// Names match exactly, case included.
constexpr std::optional<ThermalQuantity> thermal_quantity_named(std::string_view name) noexcept {
  for (const auto& entry : kThermalQuantityNames) {
    if (entry.name == name) return entry.quantity;
  }
  return std::nullopt;
}

template <class Model>
using ThermalOperation = Result (*)(const Model&, double first, double second) noexcept;

namespace detail {
// Stands for a model in the call of a quantity no model has.
struct NoThermalModel {};
}  // namespace detail

// Calls visit(call) with the call behind `quantity`: a stateless generic
// callable, call(model, first, second) -> Result, that is invocable with a
// const Model& exactly when Model has the operation (otherwise it drops out
// by substitution failure). Returns what visit returns. The single table of
// quantities and operations behind thermal_operation and the thermal batch.
template <class Visit>
constexpr decltype(auto) visit_thermal_operation(ThermalQuantity quantity, Visit&& visit) {
#define BAROMETRA_THERMAL_CALL(expression)                                          \
  visit([](const auto& m, [[maybe_unused]] double first,                            \
           [[maybe_unused]] double second) noexcept -> decltype(expression) {       \
    return expression;                                                              \
  })
  switch (quantity) {
    using enum ThermalQuantity;
    case pressure: return BAROMETRA_THERMAL_CALL(m.pressure(first, second));
    case volume: return BAROMETRA_THERMAL_CALL(m.volume(first, second));
    case temperature: return BAROMETRA_THERMAL_CALL(m.temperature(first, second));
    case bulk_modulus:
      return BAROMETRA_THERMAL_CALL(m.bulk_modulus(first, second, thermal::kBulkModulusStep));
    case isothermal_compressibility:
      return BAROMETRA_THERMAL_CALL(m.isothermal_compressibility(first, second));
    case thermal_expansivity:
      return BAROMETRA_THERMAL_CALL(
          m.thermal_expansivity(first, second, thermal::kExpansivityStep));
    case thermal_pressure: return BAROMETRA_THERMAL_CALL(m.thermal_pressure(first, second));
    case thermal_pressure_increment:
      return BAROMETRA_THERMAL_CALL(m.thermal_pressure_increment(first, second));
    case adiabatic_bulk_modulus:
      return BAROMETRA_THERMAL_CALL(m.adiabatic_bulk_modulus(first, second));
    case gruneisen_parameter:
      return BAROMETRA_THERMAL_CALL(m.gruneisen_parameter(first, second));
    case characteristic_temperature:
      return BAROMETRA_THERMAL_CALL(m.characteristic_temperature(first));
    case molar_heat_capacity_v:
      return BAROMETRA_THERMAL_CALL(m.molar_heat_capacity_v(first, second));
    case molar_heat_capacity_p:
      return BAROMETRA_THERMAL_CALL(m.molar_heat_capacity_p(first, second));
    case thermal_energy: return BAROMETRA_THERMAL_CALL(m.thermal_energy(first, second));
    case thermal_entropy: return BAROMETRA_THERMAL_CALL(m.thermal_entropy(first, second));
    case thermal_enthalpy: return BAROMETRA_THERMAL_CALL(m.thermal_enthalpy(first, second));
    case thermal_helmholtz_free_energy:
      return BAROMETRA_THERMAL_CALL(m.thermal_helmholtz_free_energy(first, second));
    case thermal_gibbs_free_energy:
      return BAROMETRA_THERMAL_CALL(m.thermal_gibbs_free_energy(first, second));
    case vibrational_pressure:
      return BAROMETRA_THERMAL_CALL(m.vibrational_pressure(first, second));
    case vibrational_pressure_increment:
      return BAROMETRA_THERMAL_CALL(m.vibrational_pressure_increment(first, second));
    case anharmonic_pressure_increment:
      return BAROMETRA_THERMAL_CALL(m.anharmonic_pressure_increment(first, second));
    case electronic_pressure_increment:
      return BAROMETRA_THERMAL_CALL(m.electronic_pressure_increment(first, second));
    case absolute_thermal_pressure:
      return BAROMETRA_THERMAL_CALL(m.absolute_nonreference_pressure(first, second));
    case internal_energy: return BAROMETRA_THERMAL_CALL(m.internal_energy(first, second));
    case entropy: return BAROMETRA_THERMAL_CALL(m.entropy(first, second));
    case helmholtz_free_energy:
      return BAROMETRA_THERMAL_CALL(m.helmholtz_free_energy(first, second));
    case bulk_modulus_pressure_derivative:
      return BAROMETRA_THERMAL_CALL(m.bulk_modulus_pressure_derivative(first, second));
    case hugoniot_pressure:
      return BAROMETRA_THERMAL_CALL(barometra::hugoniot_pressure(m, first, second));
    case hugoniot_temperature:
      return BAROMETRA_THERMAL_CALL(barometra::hugoniot_temperature(m, first, second));
  }
#undef BAROMETRA_THERMAL_CALL
  return visit([](const detail::NoThermalModel&, double, double) noexcept -> Result { return 0.0; });
}

// The operation behind `quantity` for a Model, or null when it has none.
// Chosen once, it is called per element without further dispatch.
template <class Model>
constexpr ThermalOperation<Model> thermal_operation(ThermalQuantity quantity) noexcept {
  return visit_thermal_operation(quantity, []<class Call>(Call) noexcept -> ThermalOperation<Model> {
    if constexpr (std::is_invocable_v<Call, const Model&, double, double>) {
      return [](const Model& m, double first, double second) noexcept -> Result {
        return Call{}(m, first, second);
      };
    } else {
      return nullptr;
    }
  });
}

}  // namespace barometra
