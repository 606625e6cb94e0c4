// K0 of a reference EOS, as the thermal models that scale with it read it: the
// K0 parameter of every model that has one, and for the density polynomial,
// which has none, its bulk modulus at V0, rho0 (c1 + rho0 (2 c2 + 3 c3 rho0)).
#pragma once

#include <type_traits>
#include <variant>

#include "barometra/isothermal/density_polynomial.hpp"
#include "barometra/isothermal/rt_model.hpp"

namespace barometra {

template <class Model>
double reference_bulk_modulus(const Model& model) noexcept {
  if constexpr (std::is_same_v<Model, RtModel>) {
    return std::visit([](const auto& m) { return reference_bulk_modulus(m); }, model.variant());
  } else if constexpr (std::is_same_v<Model, DensityPolynomial3>) {
    [[maybe_unused]] const auto [v0, rho0, c0, c1, c2, c3] = model.parameters();
    return rho0 * (c1 + rho0 * (2.0 * c2 + 3.0 * c3 * rho0));
  } else {
    return model.k0();
  }
}

}  // namespace barometra
