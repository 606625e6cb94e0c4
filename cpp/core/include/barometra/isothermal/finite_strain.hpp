// Finite-strain isothermal models.
// Eulerian (Birch 1947): x = cbrt(V0/V), f = (x^2 - 1)/2,
//   P = 3 K0 f x^5 (1 + a f + b f^2), second to fourth order in f.
// Natural strain (Poirier & Tarantola 1998): x = V0/V, g = ln(x)/3,
//   P = 3 K0 x (g + c2 g^2 + c3 g^3).
#pragma once

#include <array>
#include <cmath>

#include "barometra/checks.hpp"
#include "barometra/isothermal/contract.hpp"
#include "barometra/simd/math.hpp"

namespace barometra {

namespace detail {

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

// What the Birch-Murnaghan models share: the vector kernels, and x as their
// first stage. pressure and bulk_modulus come from IsothermalModel: the
// volume check, the model's pressure_from or bulk_modulus_from of x, then
// the finiteness check.
template <class Model>
class EulerianModel : public IsothermalModel<Model> {
 public:
  static constexpr bool kVectorized = true;

  template <class V>
  V reduced(V volume) const noexcept {
    return simd::cbrt_of_quotient<simd::CbrtDomain::Nonnegative>(
        static_cast<const Model&>(*this).v0(), volume);
  }

 protected:
  EulerianModel() = default;
};

class BM2 : public EulerianModel<BM2> {
 public:
  static constexpr const char* kName = "BM2";
  static constexpr std::array<const char*, 2> kParameterNames{"V0", "K0"};
  static constexpr bool kShiftable = false;

  static std::expected<BM2, EosError> create(double v0, double k0) noexcept {
    return checked<BM2>(first_failure(require_positive_finite(v0, "V0"),
                                      require_positive_finite(k0, "K0")),
                        [&] { return BM2(v0, k0); });
  }
  std::array<double, 2> parameters() const noexcept { return {v0_, k0_}; }
  double v0() const noexcept { return v0_; }

  template <class V>
  V pressure_from(V x) const noexcept {
    const auto s = detail::eulerian_strain(x);
    return 3.0 * k0_ * s.f * s.x5;
  }
  template <class V>
  V bulk_modulus_from(V x) const noexcept {
    const auto s = detail::eulerian_strain(x);
    return k0_ * s.x5 * (1.0 + 7.0 * s.f);
  }

 private:
  BM2(double v0, double k0) noexcept : v0_(v0), k0_(k0) {}
  double v0_, k0_;
};

class BM3 : public EulerianModel<BM3> {
 public:
  static constexpr const char* kName = "BM3";
  static constexpr std::array<const char*, 3> kParameterNames{"V0", "K0", "K0_prime"};
  static constexpr bool kShiftable = true;

  static std::expected<BM3, EosError> create(double v0, double k0, double k0_prime) noexcept {
    return checked<BM3>(first_failure(require_positive_finite(v0, "V0"),
                                      require_positive_finite(k0, "K0"),
                                      require_finite(k0_prime, "K0_prime")),
                        [&] { return BM3(v0, k0, k0_prime); });
  }
  std::array<double, 3> parameters() const noexcept { return {v0_, k0_, k0_prime_}; }
  double v0() const noexcept { return v0_; }

  template <class V>
  V pressure_from(V x) const noexcept {
    const auto s = detail::eulerian_strain(x);
    return 3.0 * k0_ * s.f * s.x5 * (1.0 + 1.5 * (k0_prime_ - 4.0) * s.f);
  }
  template <class V>
  V bulk_modulus_from(V x) const noexcept {
    const auto s = detail::eulerian_strain(x);
    return s.x5 * (k0_ + s.f * (3.0 * k0_ * k0_prime_ - 5.0 * k0_) +
                   13.5 * s.f * s.f * (k0_ * k0_prime_ - 4.0 * k0_));
  }

 private:
  BM3(double v0, double k0, double k0_prime) noexcept : v0_(v0), k0_(k0), k0_prime_(k0_prime) {}
  double v0_, k0_, k0_prime_;
};

class BM4 : public EulerianModel<BM4> {
 public:
  static constexpr const char* kName = "BM4";
  static constexpr std::array<const char*, 4> kParameterNames{"V0", "K0", "K0_prime",
                                                              "K0_double_prime"};
  static constexpr bool kShiftable = false;

  static std::expected<BM4, EosError> create(double v0, double k0, double k0_prime,
                                             double k0_double_prime) noexcept {
    return checked<BM4>(first_failure(require_positive_finite(v0, "V0"),
                                      require_positive_finite(k0, "K0"),
                                      require_finite(k0_prime, "K0_prime"),
                                      require_finite(k0_double_prime, "K0_double_prime")),
                        [&] { return BM4(v0, k0, k0_prime, k0_double_prime); });
  }
  std::array<double, 4> parameters() const noexcept {
    return {v0_, k0_, k0_prime_, k0_double_prime_};
  }
  double v0() const noexcept { return v0_; }

  template <class V>
  V pressure_from(V x) const noexcept {
    const auto s = detail::eulerian_strain(x);
    const double a = coefficient_a(), b = coefficient_b();
    return 3.0 * k0_ * s.f * s.x5 * (1.0 + a * s.f + b * s.f * s.f);
  }
  template <class V>
  V bulk_modulus_from(V x) const noexcept {
    const auto s = detail::eulerian_strain(x);
    const double a = coefficient_a(), b = coefficient_b();
    const V x7 = s.x * s.x * s.x5;
    return k0_ * s.x5 * 5.0 * s.f * (1.0 + a * s.f + b * s.f * s.f) +
           k0_ * x7 * (1.0 + 2.0 * a * s.f + 3.0 * b * s.f * s.f);
  }

 private:
  static constexpr double k35Over9 = 3.888888888888889;

  BM4(double v0, double k0, double k0_prime, double k0_double_prime) noexcept
      : v0_(v0), k0_(k0), k0_prime_(k0_prime), k0_double_prime_(k0_double_prime) {}
  double coefficient_a() const noexcept { return 1.5 * (k0_prime_ - 4.0); }
  double coefficient_b() const noexcept {
    return 1.5 * ((k0_prime_ - 4.0) * (k0_prime_ - 3.0) + k0_ * k0_double_prime_ + k35Over9);
  }
  double v0_, k0_, k0_prime_, k0_double_prime_;
};

class NaturalStrain2 : public IsothermalModel<NaturalStrain2> {
 public:
  static constexpr const char* kName = "NaturalStrain2";
  static constexpr std::array<const char*, 2> kParameterNames{"V0", "K0"};
  static constexpr bool kShiftable = false;

  static std::expected<NaturalStrain2, EosError> create(double v0, double k0) noexcept {
    return checked<NaturalStrain2>(first_failure(require_positive_finite(v0, "V0"),
                                                 require_positive_finite(k0, "K0")),
                                   [&] { return NaturalStrain2(v0, k0); });
  }
  std::array<double, 2> parameters() const noexcept { return {v0_, k0_}; }
  double v0() const noexcept { return v0_; }

  // pressure and bulk_modulus come from IsothermalModel: the volume check,
  // these formulas, then the finiteness check. Array kernels reuse them.
  static constexpr bool kVectorized = true;

  template <class V>
  V pressure_formula(V volume) const noexcept {
    return detail::natural_strain_pressure(k0_, v0_ / volume, 0.0, 0.0);
  }
  template <class V>
  V bulk_modulus_formula(V volume) const noexcept {
    return detail::natural_strain_bulk_modulus(k0_, v0_ / volume, 0.0, 0.0);
  }

 private:
  NaturalStrain2(double v0, double k0) noexcept : v0_(v0), k0_(k0) {}
  double v0_, k0_;
};

class NaturalStrain3 : public IsothermalModel<NaturalStrain3> {
 public:
  static constexpr const char* kName = "NaturalStrain3";
  static constexpr std::array<const char*, 3> kParameterNames{"V0", "K0", "K0_prime"};
  static constexpr bool kShiftable = true;

  static std::expected<NaturalStrain3, EosError> create(double v0, double k0,
                                                        double k0_prime) noexcept {
    return checked<NaturalStrain3>(first_failure(require_positive_finite(v0, "V0"),
                                                 require_positive_finite(k0, "K0"),
                                                 require_finite(k0_prime, "K0_prime")),
                                   [&] { return NaturalStrain3(v0, k0, k0_prime); });
  }
  std::array<double, 3> parameters() const noexcept { return {v0_, k0_, k0_prime_}; }
  double v0() const noexcept { return v0_; }

  // pressure and bulk_modulus come from IsothermalModel: the volume check,
  // these formulas, then the finiteness check. Array kernels reuse them.
  static constexpr bool kVectorized = true;

  template <class V>
  V pressure_formula(V volume) const noexcept {
    return detail::natural_strain_pressure(k0_, v0_ / volume, c2(), 0.0);
  }
  template <class V>
  V bulk_modulus_formula(V volume) const noexcept {
    return detail::natural_strain_bulk_modulus(k0_, v0_ / volume, c2(), 0.0);
  }

 private:
  NaturalStrain3(double v0, double k0, double k0_prime) noexcept
      : v0_(v0), k0_(k0), k0_prime_(k0_prime) {}
  double c2() const noexcept { return 1.5 * (k0_prime_ - 2.0); }
  double v0_, k0_, k0_prime_;
};

class NaturalStrain4 : public IsothermalModel<NaturalStrain4> {
 public:
  static constexpr const char* kName = "NaturalStrain4";
  static constexpr std::array<const char*, 4> kParameterNames{"V0", "K0", "K0_prime",
                                                              "K0_double_prime"};
  static constexpr bool kShiftable = false;

  static std::expected<NaturalStrain4, EosError> create(double v0, double k0, double k0_prime,
                                                        double k0_double_prime) noexcept {
    return checked<NaturalStrain4>(
        first_failure(require_positive_finite(v0, "V0"), require_positive_finite(k0, "K0"),
                      require_finite(k0_prime, "K0_prime"),
                      require_finite(k0_double_prime, "K0_double_prime")),
        [&] { return NaturalStrain4(v0, k0, k0_prime, k0_double_prime); });
  }
  std::array<double, 4> parameters() const noexcept {
    return {v0_, k0_, k0_prime_, k0_double_prime_};
  }
  double v0() const noexcept { return v0_; }

  // pressure and bulk_modulus come from IsothermalModel: the volume check,
  // these formulas, then the finiteness check. Array kernels reuse them.
  static constexpr bool kVectorized = true;

  template <class V>
  V pressure_formula(V volume) const noexcept {
    return detail::natural_strain_pressure(k0_, v0_ / volume, c2(), c3());
  }
  template <class V>
  V bulk_modulus_formula(V volume) const noexcept {
    return detail::natural_strain_bulk_modulus(k0_, v0_ / volume, c2(), c3());
  }

 private:
  NaturalStrain4(double v0, double k0, double k0_prime, double k0_double_prime) noexcept
      : v0_(v0), k0_(k0), k0_prime_(k0_prime), k0_double_prime_(k0_double_prime) {}
  double c2() const noexcept { return 1.5 * (k0_prime_ - 2.0); }
  double c3() const noexcept {
    const double d = k0_prime_ - 2.0;
    return 1.5 * (k0_ * k0_double_prime_ + 1.0 + d + d * d);
  }
  double v0_, k0_, k0_prime_, k0_double_prime_;
};

}  // namespace barometra
