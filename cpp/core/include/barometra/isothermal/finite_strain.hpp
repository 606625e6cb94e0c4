// Finite-strain isothermal models.
// Eulerian (Birch 1947): x = cbrt(V0/V), f = (x^2 - 1)/2,
//   P = 3 K0 f x^5 (1 + a f + b f^2), second to fourth order in f.
// Natural strain (Poirier & Tarantola 1998): x = V0/V, g = ln(x)/3,
//   P = 3 K0 x (g + c2 g^2 + c3 g^3).
// The energy along the isotherm, F = -int_V0^V P dV, follows from
// dV = -3 V0 x^-5 df (Eulerian) and dV = -3 V dg (natural):
//   F = 9 K0 V0 f^2 (1/2 + a f/3 + b f^2/4),  F = 9 K0 V0 g^2 (1/2 + c2 g/3 + c3 g^2/4).
// K' and K'' differentiate the bulk modulus formula (log_volume_jet.hpp). The
// third-order forms imply K0'' = K''(V0), the K0'' at which the fourth-order
// coefficient (b, c3) vanishes: BM3 -((3 - K0')(4 - K0') + 35/9)/K0, and
// NaturalStrain3 -(1 + (K0' - 2) + (K0' - 2)^2)/K0; the second-order forms
// are these at their K0' of 4 and 2.
#pragma once

#include <array>
#include <cmath>
#include <optional>

#include "barometra/checks.hpp"
#include "barometra/isothermal/contract.hpp"
#include "barometra/simd/math.hpp"

namespace barometra {

namespace detail {

inline constexpr double k35Over9 = 3.888888888888889;

inline double eulerian_k0_double_prime(double k0, double k0_prime) noexcept {
  return -((3.0 - k0_prime) * (4.0 - k0_prime) + k35Over9) / k0;
}
inline double natural_strain_k0_double_prime(double k0, double k0_prime) noexcept {
  const double d = k0_prime - 2.0;
  return -(1.0 + d + d * d) / k0;
}

// The formulas below are templates over one lane (double) or a vector of
// lanes, so that the scalar operations and the array kernels share them.
template <class V>
struct EulerianStrain {
  V x, f, x5;
};

// From x = cbrt(V0 / V), the models' reduced variable.
template <class V>
inline EulerianStrain<V> eulerian_strain(V x) noexcept {
  const V x2 = x * x;
  return {x, (x2 - 1.0) / 2.0, x * (x2 * x2)};
}

// 9 K0 V0 s^2 (1/2 + c1 s/3 + c2 s^2/4): the energy of both strain families,
// whose pressures are 3 K0 (x^5 or x) s (1 + c1 s + c2 s^2) in their strain s.
inline double strain_energy(double k0, double v0, double s, double c1, double c2) noexcept {
  return 9.0 * k0 * v0 * s * s * (0.5 + s * (c1 / 3.0 + s * c2 / 4.0));
}

// P and K of the natural-strain form, shared by all three orders.
template <class V>
inline V natural_strain_pressure(double k0, V x, double c2, double c3) noexcept {
  const V g = simd::log(x) / 3.0;
  return 3.0 * k0 * x * (g + c2 * g * g + c3 * g * g * g);
}

template <class V>
inline V natural_strain_bulk_modulus(double k0, V x, double c2, double c3) noexcept {
  const V g = simd::log(x) / 3.0;
  return k0 * x *
         (1.0 + (3.0 + 2.0 * c2) * g + (3.0 * c2 + 3.0 * c3) * g * g + 3.0 * c3 * g * g * g);
}

}  // namespace detail

// What the Birch-Murnaghan models share: x as their first stage.
template <class Model, std::size_t N>
class EulerianModel : public FormulaModel<Model, N> {
 public:
  using FormulaModel<Model, N>::FormulaModel;

  template <class V>
  V reduced(V volume) const noexcept {
    return simd::cbrt_of_quotient<simd::CbrtDomain::Nonnegative>(this->v0(), volume);
  }

  double helmholtz_energy_formula(double volume) const noexcept {
    const auto [a, b] = static_cast<const Model&>(*this).coefficients();
    const double f = detail::eulerian_strain(reduced(volume)).f;
    return detail::strain_energy(this->k0(), this->v0(), f, a, b);
  }
};

class BM2 : public EulerianModel<BM2, 2> {
 public:
  static constexpr const char* kName = "BM2";
  static constexpr std::array kParameterNames{"V0", "K0"};
  using EulerianModel::EulerianModel;

  // a and b of P = 3 K0 f x^5 (1 + a f + b f^2).
  std::array<double, 2> coefficients() const noexcept { return {0.0, 0.0}; }
  std::optional<double> implied_k0_double_prime() const noexcept {
    return detail::eulerian_k0_double_prime(k0(), 4.0);
  }

  template <class V>
  V pressure_from(V x) const noexcept {
    const auto s = detail::eulerian_strain(x);
    return 3.0 * k0() * s.f * s.x5;
  }
  template <class V>
  V bulk_modulus_from(V x) const noexcept {
    const auto s = detail::eulerian_strain(x);
    return k0() * s.x5 * (1.0 + 7.0 * s.f);
  }
};

class BM3 : public EulerianModel<BM3, 3> {
 public:
  static constexpr const char* kName = "BM3";
  static constexpr std::array kParameterNames{"V0", "K0", "K0_prime"};
  using EulerianModel::EulerianModel;

  std::array<double, 2> coefficients() const noexcept { return {1.5 * (k0_prime() - 4.0), 0.0}; }
  std::optional<double> implied_k0_double_prime() const noexcept {
    return detail::eulerian_k0_double_prime(k0(), k0_prime());
  }

  template <class V>
  V pressure_from(V x) const noexcept {
    const auto s = detail::eulerian_strain(x);
    return 3.0 * k0() * s.f * s.x5 * (1.0 + 1.5 * (k0_prime() - 4.0) * s.f);
  }
  template <class V>
  V bulk_modulus_from(V x) const noexcept {
    const auto s = detail::eulerian_strain(x);
    const double k0 = this->k0(), k0_prime = this->k0_prime();
    return s.x5 * (k0 + s.f * (3.0 * k0 * k0_prime - 5.0 * k0) +
                   13.5 * s.f * s.f * (k0 * k0_prime - 4.0 * k0));
  }
};

class BM4 : public EulerianModel<BM4, 4> {
 public:
  static constexpr const char* kName = "BM4";
  static constexpr std::array kParameterNames{"V0", "K0", "K0_prime", "K0_double_prime"};
  using EulerianModel::EulerianModel;

  std::array<double, 2> coefficients() const noexcept {
    return {1.5 * (k0_prime() - 4.0),
            1.5 * ((k0_prime() - 4.0) * (k0_prime() - 3.0) + k0() * k0_double_prime() +
                   detail::k35Over9)};
  }

  template <class V>
  V pressure_from(V x) const noexcept {
    const auto s = detail::eulerian_strain(x);
    const auto [a, b] = coefficients();
    return 3.0 * k0() * s.f * s.x5 * (1.0 + a * s.f + b * s.f * s.f);
  }
  template <class V>
  V bulk_modulus_from(V x) const noexcept {
    const auto s = detail::eulerian_strain(x);
    const auto [a, b] = coefficients();
    const V x7 = s.x * s.x * s.x5;
    return k0() * s.x5 * 5.0 * s.f * (1.0 + a * s.f + b * s.f * s.f) +
           k0() * x7 * (1.0 + 2.0 * a * s.f + 3.0 * b * s.f * s.f);
  }
};

// What the natural-strain models share: one form for the three orders, with
// the model's coefficients c2 and c3.
template <class Model, std::size_t N>
class NaturalStrainModel : public FormulaModel<Model, N> {
 public:
  using FormulaModel<Model, N>::FormulaModel;

  template <class V>
  V pressure_formula(V volume) const noexcept {
    const auto [c2, c3] = model().coefficients();
    return detail::natural_strain_pressure(this->k0(), this->v0() / volume, c2, c3);
  }
  template <class V>
  V bulk_modulus_formula(V volume) const noexcept {
    const auto [c2, c3] = model().coefficients();
    return detail::natural_strain_bulk_modulus(this->k0(), this->v0() / volume, c2, c3);
  }
  double helmholtz_energy_formula(double volume) const noexcept {
    const auto [c2, c3] = model().coefficients();
    const double g = std::log(this->v0() / volume) / 3.0;
    return detail::strain_energy(this->k0(), this->v0(), g, c2, c3);
  }

 private:
  const Model& model() const noexcept { return static_cast<const Model&>(*this); }
};

class NaturalStrain2 : public NaturalStrainModel<NaturalStrain2, 2> {
 public:
  static constexpr const char* kName = "NaturalStrain2";
  static constexpr std::array kParameterNames{"V0", "K0"};
  using NaturalStrainModel::NaturalStrainModel;

  std::array<double, 2> coefficients() const noexcept { return {0.0, 0.0}; }
  std::optional<double> implied_k0_double_prime() const noexcept {
    return detail::natural_strain_k0_double_prime(k0(), 2.0);
  }
};

class NaturalStrain3 : public NaturalStrainModel<NaturalStrain3, 3> {
 public:
  static constexpr const char* kName = "NaturalStrain3";
  static constexpr std::array kParameterNames{"V0", "K0", "K0_prime"};
  using NaturalStrainModel::NaturalStrainModel;

  std::array<double, 2> coefficients() const noexcept { return {1.5 * (k0_prime() - 2.0), 0.0}; }
  std::optional<double> implied_k0_double_prime() const noexcept {
    return detail::natural_strain_k0_double_prime(k0(), k0_prime());
  }
};

class NaturalStrain4 : public NaturalStrainModel<NaturalStrain4, 4> {
 public:
  static constexpr const char* kName = "NaturalStrain4";
  static constexpr std::array kParameterNames{"V0", "K0", "K0_prime", "K0_double_prime"};
  using NaturalStrainModel::NaturalStrainModel;

  std::array<double, 2> coefficients() const noexcept {
    const double d = k0_prime() - 2.0;
    return {1.5 * d, 1.5 * (k0() * k0_double_prime() + 1.0 + d + d * d)};
  }
};

}  // namespace barometra
