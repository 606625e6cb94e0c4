// A thermal EOS without a vibrational model: the isotherm at T is the
// reference EOS rebuilt with a temperature-dependent reference state,
//   V0(T)  = V0 exp(int_Tr^T alpha dT)            (integrated_expansivity)
//          = V0 (1 + alpha0 dT)                   (linear_temperature)
//          = V0 (1 + alpha0 dT + alpha1 dT^2 / 2)  (berman, after Berman 1988)
//   K0(T)  = K0 + dK_dT dT,  or  1/K0(T) = 1/K0 + beta1 dT + beta2 (T^2 - Tr^2)
//                                          + beta3 (T^3 - Tr^3)
//   K0'(T) = K0' + dKprime_dT dT + kprime_log_coefficient dT ln(T/Tr),
// with dT = T - Tr and alpha = alpha0, alpha0 + alpha1 T or alpha0 + alpha1 dT.
// Pth(V, T) = P_T(V) - P_Tr(V). Only reference EOS kinds that can be rebuilt
// with another V0 and K0 (and, for the K0' terms, shifted) can be used.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <expected>
#include <utility>

#include "barometra/checks.hpp"
#include "barometra/error.hpp"
#include "barometra/isothermal/reference_bulk_modulus.hpp"
#include "barometra/thermal/contract.hpp"

namespace barometra {

// The law of alpha(T) that the integrated-expansivity volume law integrates.
enum class ThermalExpansionLaw : std::uint8_t {
  constant = 0,
  linear_temperature = 1,
  linear_reference_temperature = 2,
};

enum class ReferenceVolumeLaw : std::uint8_t {
  integrated_expansivity = 0,
  linear_temperature = 1,
  berman = 2,
};

// K0(T) linear in T (its slope is the model's dK_dT), or a compressibility
// 1/K0(T) cubic in T. Only the cubic law carries coefficients.
class BulkModulusLaw {
 public:
  enum class Kind : std::uint8_t { linear_temperature = 0, reciprocal_cubic = 1 };

  static constexpr BulkModulusLaw linear_temperature() noexcept {
    return BulkModulusLaw(Kind::linear_temperature, 0.0, 0.0, 0.0);
  }
  static constexpr BulkModulusLaw reciprocal_cubic(double beta1, double beta2,
                                                   double beta3) noexcept {
    return BulkModulusLaw(Kind::reciprocal_cubic, beta1, beta2, beta3);
  }

  constexpr Kind kind() const noexcept { return kind_; }
  constexpr double beta1() const noexcept { return beta1_; }
  constexpr double beta2() const noexcept { return beta2_; }
  constexpr double beta3() const noexcept { return beta3_; }

 private:
  constexpr BulkModulusLaw(Kind kind, double beta1, double beta2, double beta3) noexcept
      : kind_(kind), beta1_(beta1), beta2_(beta2), beta3_(beta3) {}

  Kind kind_;
  double beta1_, beta2_, beta3_;
};

template <class R>
class ThermalReferenceState : public ThermalModelBase<ThermalReferenceState<R>> {
 public:
  static constexpr const char* kName = "ThermalReferenceStateEOS";
  static constexpr std::array<const char*, 9> kParameterNames{
      "Tr",    "alpha0", "dK_dT", "alpha1", "beta1", "beta2", "beta3", "kprime_log_coefficient",
      "dKprime_dT"};

  // The first construction step: the linear bulk-modulus law and no K0' terms.
  static std::expected<ThermalReferenceState, EosError> create(
      R reference_eos, ThermalExpansionLaw expansion_law, ReferenceVolumeLaw volume_law,
      double tr, double alpha0, double dk_dt, double alpha1) noexcept {
    using enum ThermalExpansionLaw;
    return checked<ThermalReferenceState>(
        first_failure(
            require_positive_finite(tr, "Tr"), require_finite(alpha0, "alpha0"),
            require_finite(dk_dt, "dK_dT"), require_finite(alpha1, "alpha1"),
            require(alpha1 == 0.0 || expansion_law != constant, "alpha1",
                    "must be zero for constant thermal expansion"),
            require(volume_law != ReferenceVolumeLaw::linear_temperature ||
                        (alpha1 == 0.0 && expansion_law == constant),
                    "reference_volume_law",
                    "linear temperature volume requires constant expansivity configuration"),
            require(volume_law != ReferenceVolumeLaw::berman || expansion_law == linear_temperature,
                    "reference_volume_law",
                    "Berman volume requires linear-temperature expansivity configuration")),
        [&] {
          return ThermalReferenceState(std::move(reference_eos), expansion_law, volume_law, tr,
                                       alpha0, dk_dt, alpha1);
        });
  }

  // All three construction steps, in order.
  static std::expected<ThermalReferenceState, EosError> create(
      R reference_eos, ThermalExpansionLaw expansion_law, ReferenceVolumeLaw volume_law,
      BulkModulusLaw bulk_modulus_law, double tr, double alpha0, double dk_dt, double alpha1,
      double kprime_log_coefficient, double dkprime_dt) noexcept {
    auto first = create(std::move(reference_eos), expansion_law, volume_law, tr, alpha0, dk_dt,
                        alpha1);
    if (!first) return first;
    auto second = first->with_temperature_laws(bulk_modulus_law, kprime_log_coefficient);
    if (!second) return second;
    return second->with_linear_pressure_derivative(dkprime_dt);
  }

  // The second step. The trial shift only asks whether the reference EOS
  // accepts a K0' shift of that size; its result is dropped.
  std::expected<ThermalReferenceState, EosError> with_temperature_laws(
      BulkModulusLaw bulk_modulus_law, double kprime_log_coefficient) const noexcept {
    if (bulk_modulus_law.kind() == BulkModulusLaw::Kind::reciprocal_cubic) {
      const bool betas_finite = is_finite(bulk_modulus_law.beta1()) &&
                                is_finite(bulk_modulus_law.beta2()) &&
                                is_finite(bulk_modulus_law.beta3());
      if (betas_finite && dk_dt_ != 0.0) {
        return std::unexpected(
            EosError::invalid_parameter("dK_dT", "must be zero with cubic compressibility"));
      }
      if (!betas_finite) {
        return std::unexpected(
            EosError::invalid_parameter("compressibility coefficient", kMustBeFinite));
      }
    }
    if (auto e = require_finite(kprime_log_coefficient, "kprime_log_coefficient")) {
      return std::unexpected(*e);
    }
    if (auto trial = reference_eos_.with_pressure_derivative_shift(kprime_log_coefficient);
        !trial) {
      return std::unexpected(trial.error());
    }
    ThermalReferenceState result = *this;
    result.bulk_modulus_law_ = bulk_modulus_law;
    result.kprime_log_coefficient_ = kprime_log_coefficient;
    return result;
  }

  // The third step. A shift of one machine epsilon stands for any non-zero
  // slope; kinds that cannot be shifted report the field
  // "kprime_log_coefficient" here too.
  std::expected<ThermalReferenceState, EosError> with_linear_pressure_derivative(
      double dkprime_dt) const noexcept {
    if (auto e = require_finite(dkprime_dt, "dKprime_dT")) return std::unexpected(*e);
    if (dkprime_dt != 0.0) {
      if (auto trial = reference_eos_.with_pressure_derivative_shift(kMachineEpsilon); !trial) {
        return std::unexpected(trial.error());
      }
    }
    ThermalReferenceState result = *this;
    result.dkprime_dt_ = dkprime_dt;
    return result;
  }

  // The same laws over a new reference EOS with new values, in the order of
  // kParameterNames, through all three steps again. The linear bulk-modulus
  // law has no betas to take.
  std::expected<ThermalReferenceState, EosError> rebuild(
      R reference_eos, const std::array<double, 9>& values) const noexcept {
    const auto& [tr, alpha0, dk_dt, alpha1, beta1, beta2, beta3, kprime_log, dkprime_dt] = values;
    BulkModulusLaw law = BulkModulusLaw::reciprocal_cubic(beta1, beta2, beta3);
    if (bulk_modulus_law_.kind() == BulkModulusLaw::Kind::linear_temperature) {
      if (beta1 != 0.0 || beta2 != 0.0 || beta3 != 0.0) {
        return std::unexpected(EosError::invalid_parameter(
            "beta coefficients", "require reciprocal cubic compressibility"));
      }
      law = BulkModulusLaw::linear_temperature();
    }
    return create(std::move(reference_eos), expansion_law_, volume_law_, law, tr, alpha0, dk_dt,
                  alpha1, kprime_log, dkprime_dt);
  }

  const R& reference_eos() const noexcept { return reference_eos_; }
  double tr() const noexcept { return tr_; }
  double alpha0() const noexcept { return alpha0_; }
  double dk_dt() const noexcept { return dk_dt_; }
  double alpha1() const noexcept { return alpha1_; }
  double kprime_log_coefficient() const noexcept { return kprime_log_coefficient_; }
  double dkprime_dt() const noexcept { return dkprime_dt_; }
  BulkModulusLaw bulk_modulus_law() const noexcept { return bulk_modulus_law_; }
  ThermalExpansionLaw thermal_expansion_law() const noexcept { return expansion_law_; }
  ReferenceVolumeLaw reference_volume_law() const noexcept { return volume_law_; }
  std::array<double, 9> parameters() const noexcept {
    return {tr_,
            alpha0_,
            dk_dt_,
            alpha1_,
            bulk_modulus_law_.beta1(),
            bulk_modulus_law_.beta2(),
            bulk_modulus_law_.beta3(),
            kprime_log_coefficient_,
            dkprime_dt_};
  }

  // The isotherm at T: the reference EOS rebuilt with V0(T) and K0(T), its K0'
  // shifted. Every error of the rebuild passes through.
  std::expected<R, EosError> state_eos(double temperature) const noexcept {
    if (auto e = check_temperature(temperature)) return std::unexpected(*e);
    const double dt = temperature - tr_;
    const double v0_t = reference_volume_at(temperature, dt);
    const double k0_t = bulk_modulus_at(temperature, dt);
    if (!is_positive_finite(v0_t)) {
      return std::unexpected(
          EosError::invalid_state("temperature", "produces a non-positive reference volume"));
    }
    if (!is_positive_finite(k0_t)) {
      return std::unexpected(
          EosError::invalid_state("temperature", "produces a non-positive bulk modulus"));
    }
    double shift = dkprime_dt_ * dt;
    if (kprime_log_coefficient_ != 0.0) {
      shift += kprime_log_coefficient_ * dt * std::log(temperature / tr_);
    }
    auto rebuilt = reference_eos_.with_reference_state(v0_t, k0_t);
    if (!rebuilt) return rebuilt;
    return rebuilt->with_pressure_derivative_shift(shift);
  }

  Result thermal_pressure(double volume, double temperature) const noexcept {
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    auto eos = state_eos(temperature);
    if (!eos) return std::unexpected(eos.error());
    auto p_t = eos->pressure(volume);
    if (!p_t) return p_t;
    auto p_r = reference_eos_.pressure(volume);
    if (!p_r) return p_r;
    return finite_or_error(*p_t - *p_r);
  }

  // The closed-form bulk modulus of the isotherm at T; relative_step is only
  // checked. So the order is relative_step, temperature, volume.
  Result bulk_modulus(double volume, double temperature, double relative_step) const noexcept {
    if (auto e = require_positive_finite_state(relative_step, "relative_step")) {
      return std::unexpected(*e);
    }
    auto eos = state_eos(temperature);
    if (!eos) return std::unexpected(eos.error());
    return eos->bulk_modulus(volume);
  }

  // The isotherm's own K' = dK/dP, from its closed-form K; the volume is
  // checked first, as in every other model.
  Result bulk_modulus_pressure_derivative(double volume, double temperature) const noexcept {
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    auto eos = state_eos(temperature);
    if (!eos) return std::unexpected(eos.error());
    return eos->bulk_modulus_derivative(volume, thermal::kBulkModulusStep);
  }

 private:
  ThermalReferenceState(R reference_eos, ThermalExpansionLaw expansion_law,
                        ReferenceVolumeLaw volume_law, double tr, double alpha0, double dk_dt,
                        double alpha1) noexcept
      : bulk_modulus_law_(BulkModulusLaw::linear_temperature()),
        reference_eos_(std::move(reference_eos)),
        tr_(tr),
        alpha0_(alpha0),
        dk_dt_(dk_dt),
        alpha1_(alpha1),
        kprime_log_coefficient_(0.0),
        dkprime_dt_(0.0),
        expansion_law_(expansion_law),
        volume_law_(volume_law),
        k0_(reference_bulk_modulus(reference_eos_)) {}

  double reference_volume_at(double t, double dt) const noexcept {
    const double v0 = reference_eos_.v0();
    switch (volume_law_) {
      case ReferenceVolumeLaw::linear_temperature:
        return v0 * (1.0 + alpha0_ * dt);
      case ReferenceVolumeLaw::berman:
        return v0 * (1.0 + alpha0_ * dt + 0.5 * alpha1_ * (dt * dt));
      case ReferenceVolumeLaw::integrated_expansivity:
        break;
    }
    double integral = alpha0_ * dt;
    if (expansion_law_ == ThermalExpansionLaw::linear_temperature) {
      integral += 0.5 * alpha1_ * (t * t - tr_ * tr_);
    } else if (expansion_law_ == ThermalExpansionLaw::linear_reference_temperature) {
      integral += 0.5 * alpha1_ * (dt * dt);
    }
    return v0 * std::exp(integral);
  }

  double bulk_modulus_at(double t, double dt) const noexcept {
    if (bulk_modulus_law_.kind() == BulkModulusLaw::Kind::linear_temperature) {
      return k0_ + dk_dt_ * dt;
    }
    return 1.0 / (1.0 / k0_ + bulk_modulus_law_.beta1() * dt +
                  bulk_modulus_law_.beta2() * (t * t - tr_ * tr_) +
                  bulk_modulus_law_.beta3() * (t * t * t - tr_ * tr_ * tr_));
  }

  BulkModulusLaw bulk_modulus_law_;
  R reference_eos_;
  double tr_, alpha0_, dk_dt_, alpha1_;
  double kprime_log_coefficient_, dkprime_dt_;
  ThermalExpansionLaw expansion_law_;
  ReferenceVolumeLaw volume_law_;
  double k0_;  // derived: the reference EOS's K0
};

}  // namespace barometra
