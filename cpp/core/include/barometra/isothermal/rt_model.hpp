// RtModel: the closed set of the seventeen isothermal models, in tag order.
// Thermal models hold one by value as their reference isotherm, and fits
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
#include "barometra/isothermal/density_polynomial.hpp"
#include "barometra/isothermal/finite_strain.hpp"
#include "barometra/isothermal/holzapfel.hpp"
#include "barometra/isothermal/modified_tait.hpp"
#include "barometra/isothermal/murnaghan.hpp"
#include "barometra/isothermal/potential.hpp"
#include "barometra/model_union.hpp"

namespace barometra {

// The index of each alternative is the model's tag.
class RtModel
    : public detail::ModelUnion<Baonza, DensityPolynomial3, BM2, BM3, BM4, Morse3, Murnaghan,
                                SecondOrderMurnaghan, ModifiedTait, NaturalStrain2,
                                NaturalStrain3, NaturalStrain4, RydbergStacey, SunMorse3,
                                SunMorse4, Vinet, Holzapfel> {
 public:
  template <class Model>
    requires(!std::is_same_v<std::remove_cvref_t<Model>, RtModel>)
  RtModel(Model model) noexcept : ModelUnion(std::move(model)) {}  // NOLINT: implicit

  double v0() const noexcept {
    return visit([](const auto& m) { return m.v0(); });
  }
  double reference_volume() const noexcept { return v0(); }

  Result pressure(double volume) const noexcept {
    return visit([volume](const auto& m) { return m.pressure(volume); });
  }
  Result bulk_modulus(double volume) const noexcept {
    return visit([volume](const auto& m) { return m.bulk_modulus(volume); });
  }
  Result volume(double pressure) const noexcept {
    return visit([pressure](const auto& m) { return m.volume(pressure); });
  }
  Result bulk_modulus_derivative(double volume, double relative_step) const noexcept {
    return visit([=](const auto& m) { return m.bulk_modulus_derivative(volume, relative_step); });
  }
  // K' = dK/dP and K'' = d2K/dP2 in closed form, and K'' at V0 where the
  // model's form fixes it rather than a parameter.
  Result bulk_modulus_pressure_derivative(double volume) const noexcept {
    return visit([volume](const auto& m) { return m.bulk_modulus_pressure_derivative(volume); });
  }
  Result bulk_modulus_second_pressure_derivative(double volume) const noexcept {
    return visit(
        [volume](const auto& m) { return m.bulk_modulus_second_pressure_derivative(volume); });
  }
  std::optional<double> implied_k0_double_prime() const noexcept {
    return visit([](const auto& m) { return m.implied_k0_double_prime(); });
  }
  // F = -int_V0^V P dV, zero at V0, in the model's pressure x volume units.
  Result helmholtz_energy(double volume) const noexcept {
    return visit([volume](const auto& m) { return m.helmholtz_energy(volume); });
  }

  std::expected<RtModel, EosError> with_reference_state(double v0, double k0) const noexcept;
  std::expected<RtModel, EosError> with_pressure_derivative_shift(double shift) const noexcept;
  // A new model of the same kind with the named parameters replaced; names not
  // listed keep their value and a repeated name takes its first value.
  std::expected<RtModel, FitError> with_parameters(std::span<const std::string_view> names,
                                                   std::span<const double> values) const;
};

}  // namespace barometra
