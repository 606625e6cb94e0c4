// A quasi-harmonic Debye solid per mole of atoms, referred to 0 K, plus an
// explicit anharmonic Helmholtz energy
//   Fanh(V, T) = b1 R theta0 tau^4 / (1 + b2 tau^2) exp(b3 (x - 1)),
//   tau = T/theta0,  x = V/V0,  R = 8.31451,
// from which the thermal pressure, entropy and Cv follow; the reference EOS is
// the 0 K isotherm. The quasi-harmonic part is a Debye MieGruneisen with n = 1,
// Cvmax = 3R and the integrated Grueneisen law.
#pragma once

#include <array>
#include <cmath>
#include <expected>
#include <utility>

#include "barometra/checks.hpp"
#include "barometra/error.hpp"
#include "barometra/isothermal/contract.hpp"
#include "barometra/quadrature.hpp"
#include "barometra/thermal/contract.hpp"
#include "barometra/thermal/mie_gruneisen.hpp"
#include "barometra/thermal/principal_hugoniot.hpp"
#include "barometra/thermal/vibrational.hpp"

namespace barometra {

template <class R>
class DebyeAnharmonicHelmholtz : public CaloricModelBase<DebyeAnharmonicHelmholtz<R>> {
 public:
  static constexpr const char* kName = "DebyeAnharmonicHelmholtz";
  static constexpr std::array<const char*, 7> kParameterNames{"Tr", "theta0", "gamma0", "q",
                                                              "b1", "b2",     "b3"};
  // This model's own gas constant, and the 3R of its Debye part.
  static constexpr double kHelmholtzGasConstant = 8.31451;
  static constexpr double kCvmax = 3.0 * kHelmholtzGasConstant;
  static_assert(kCvmax == 24.943530000000003);
  // Above this u = theta/T, 3u/(e^u - 1) is taken as 0.
  static constexpr double kMaxEinsteinArgument = 700.0;
  using QuasiHarmonic = MieGruneisen<R, true>;

  // b2 is checked before everything else; the Debye part then checks Tr,
  // theta0, gamma0 and q.
  static std::expected<DebyeAnharmonicHelmholtz, EosError> create(
      R reference_eos, double tr, double theta0, double gamma0, double q, double b1, double b2,
      double b3) noexcept {
    if (auto e = first_failure(require_finite(b2, "b2"),
                               require(b2 >= 0.0, "b2", "must be nonnegative"))) {
      return std::unexpected(*e);
    }
    auto debye = QuasiHarmonic::create(std::move(reference_eos), tr, theta0, gamma0, q, 1.0,
                                       DebyeTemperatureLaw::integrated_gruneisen,
                                       ThermalPressureReference::absolute_zero, kCvmax);
    if (!debye) return std::unexpected(debye.error());
    return checked<DebyeAnharmonicHelmholtz>(
        first_failure(require_finite(b1, "b1"), require_finite(b3, "b3")),
        [&] { return DebyeAnharmonicHelmholtz(std::move(*debye), b1, b2, b3); });
  }

  // The Debye part holds the one copy of the reference EOS.
  const R& reference_eos() const noexcept { return debye_.reference_eos(); }
  const QuasiHarmonic& quasi_harmonic_model() const noexcept { return debye_; }
  double tr() const noexcept { return debye_.tr(); }
  double theta0() const noexcept { return debye_.theta0(); }
  double gamma0() const noexcept { return debye_.gamma0(); }
  double q() const noexcept { return debye_.q(); }
  double b1() const noexcept { return b1_; }
  double b2() const noexcept { return b2_; }
  double b3() const noexcept { return b3_; }
  std::array<double, 7> parameters() const noexcept {
    return {tr(), theta0(), gamma0(), q(), b1_, b2_, b3_};
  }

  // Eqh - T Sqh + Fanh.
  Result thermal_helmholtz_free_energy(double volume, double temperature) const noexcept {
    auto e = debye_.thermal_energy(volume, temperature);
    if (!e) return e;
    auto s = debye_.thermal_entropy(volume, temperature);
    if (!s) return s;
    auto f_anh = anharmonic_free_energy(volume, temperature);
    if (!f_anh) return f_anh;
    return finite_or_error(*e - temperature * *s + *f_anh);
  }

  // Pqh - dFanh/dV, from 0 K.
  Result thermal_pressure(double volume, double temperature) const noexcept {
    auto pqh = debye_.thermal_pressure(volume, temperature);
    if (!pqh) return pqh;
    auto f_anh = anharmonic_free_energy(volume, temperature);
    if (!f_anh) return f_anh;
    return finite_or_error(*pqh + (b3_ / reference_eos().v0()) / (-kEnergyPerPressureVolume) *
                                      *f_anh);
  }

  Result thermal_pressure_increment(double volume, double temperature) const noexcept {
    return detail::heating_increment(
        [this, volume](double t) noexcept { return thermal_pressure(volume, t); }, temperature,
        tr());
  }

  // Sqh - dFanh/dT.
  Result entropy(double volume, double temperature) const noexcept {
    auto s = debye_.thermal_entropy(volume, temperature);
    if (!s) return s;
    auto f_anh = anharmonic_free_energy(volume, temperature);
    if (!f_anh) return f_anh;
    const double w = anharmonic_ratio(temperature);
    return finite_or_error(*s - (2.0 * w + 4.0) * (*f_anh / temperature) / (w + 1.0));
  }

  // The Debye Cv, 3R (4 D3(u) - 3u/(e^u - 1)), minus T d2Fanh/dT2.
  Result molar_heat_capacity_v(double volume, double temperature) const noexcept {
    if (auto e = check_volume_and_temperature(volume, temperature)) return std::unexpected(*e);
    auto theta = debye_.characteristic_temperature(volume);
    if (!theta) return theta;
    const double u = *theta / temperature;
    auto d3 = debye_function_3(u);
    if (!d3) return d3;
    // Past 700, expm1(u) is near overflow while 3u/(e^u - 1) is far below any D3.
    const double z = u <= kMaxEinsteinArgument ? 3.0 * u / std::expm1(u) : 0.0;
    auto f_anh = anharmonic_free_energy(volume, temperature);
    if (!f_anh) return f_anh;
    const double w = anharmonic_ratio(temperature);
    return finite_or_error((4.0 * *d3 - z) * kCvmax -
                           (6.0 * w + 12.0 + 2.0 * w * w) * (*f_anh / temperature) /
                               ((w + 1.0) * (w + 1.0)));
  }

  // The total F: the thermal part minus the static-lattice int_V0^V Pref dV,
  // which is zero at V0.
  Result helmholtz_free_energy(double volume, double temperature) const noexcept {
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    auto work = integrate([this](double v) noexcept { return reference_eos().pressure(v); },
                          reference_eos().v0(), volume);
    if (!work) return work;
    auto f = thermal_helmholtz_free_energy(volume, temperature);
    if (!f) return f;
    return finite_or_error(*f - kEnergyPerPressureVolume * *work);
  }

  // The thermal terms on the isochore at V, for the Hugoniot, from 0 K: those
  // of the Debye part plus, with w = b2 tau^2 and
  // dFanh/dT = (4 + 2w) Fanh / ((1 + w) T), the anharmonic energy
  // Fanh - T dFanh/dT, its heat capacity and its pressure -dFanh/dV.
  class Isochore {
   public:
    static constexpr bool kExactSlope = true;
    std::expected<IsochorePoint, EosError> at(double temperature) const noexcept {
      auto point = debye_.at(temperature);
      if (!point) return point;
      auto f_anh = model_->anharmonic_free_energy(volume_, temperature);
      if (!f_anh) return std::unexpected(f_anh.error());
      const double w = model_->anharmonic_ratio(temperature);
      const double df_dt = (4.0 + 2.0 * w) * (*f_anh / temperature) / (1.0 + w);
      const double pressure_per_energy = (model_->b3_ / model_->reference_eos().v0()) /
                                         (-kEnergyPerPressureVolume);
      point->energy += *f_anh - temperature * df_dt;
      point->heat_capacity -=
          (6.0 * w + 12.0 + 2.0 * w * w) * (*f_anh / temperature) / ((w + 1.0) * (w + 1.0));
      point->thermal_pressure += pressure_per_energy * *f_anh;
      point->thermal_pressure_slope += pressure_per_energy * df_dt;
      return point;
    }

   private:
    friend DebyeAnharmonicHelmholtz;
    Isochore(const DebyeAnharmonicHelmholtz* model, double volume,
             detail::GruneisenIsochore debye) noexcept
        : model_(model), volume_(volume), debye_(debye) {}
    const DebyeAnharmonicHelmholtz* model_;  // valid while the model is
    double volume_;
    detail::GruneisenIsochore debye_;
  };

  std::expected<Isochore, EosError> hugoniot_isochore(double volume) const noexcept {
    auto debye = debye_.hugoniot_isochore(volume);
    if (!debye) return std::unexpected(debye.error());
    return Isochore(this, volume, *debye);
  }

  // U = F + T S with the total F.
  Result internal_energy(double volume, double temperature) const noexcept {
    auto f = helmholtz_free_energy(volume, temperature);
    if (!f) return f;
    auto s = entropy(volume, temperature);
    if (!s) return s;
    return finite_or_error(*f + temperature * *s);
  }

 private:
  DebyeAnharmonicHelmholtz(QuasiHarmonic debye, double b1, double b2, double b3) noexcept
      : debye_(std::move(debye)), b1_(b1), b2_(b2), b3_(b3) {}

  // w = b2 tau^2.
  double anharmonic_ratio(double temperature) const noexcept {
    const double tau = temperature / theta0();
    return b2_ * tau * tau;
  }

  Result anharmonic_free_energy(double volume, double temperature) const noexcept {
    if (auto e = check_volume_and_temperature(volume, temperature)) return std::unexpected(*e);
    const double tau = temperature / theta0(), x = volume / reference_eos().v0();
    const double tau2 = tau * tau;
    return finite_or_error(tau2 * tau2 * (theta0() * (b1_ * kHelmholtzGasConstant)) /
                           (tau * (tau * b2_) + 1.0) * std::exp(b3_ * (x - 1.0)));
  }

  QuasiHarmonic debye_;
  double b1_, b2_, b3_;
};

}  // namespace barometra
