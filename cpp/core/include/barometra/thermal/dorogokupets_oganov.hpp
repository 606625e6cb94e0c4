// Thermal model of Dorogokupets & Oganov (2007): the Helmholtz energy of two
// Bose-type and two Einstein oscillators (with zero point), each with an
// intrinsic anharmonicity, plus electronic and vacancy-defect terms:
//   F = sum m_i R f_i(theta_i(V)/T) + sum k_i theta_i^2 (3 h_i^2 - 1/2)
//       - 1.5 n R e x^g T^2 - 1.5 n R T exp(S/x - H/(T x^2)),
//   k_i = a m_i R x^m / 6,  h_i = n_B(theta_i/T) + 1/2,  x = V/V0,
// with every theta_i scaled by the law of Al'tshuler et al. (1987). a and e
// are in units of 1e-6 per K. Pth(V, T) = P(V, T) - P(V, Tr), with P = -dF/dV.
#pragma once

#include <array>
#include <cmath>
#include <expected>
#include <utility>

#include "barometra/checks.hpp"
#include "barometra/error.hpp"
#include "barometra/isothermal/contract.hpp"
#include "barometra/thermal/altshuler_law.hpp"
#include "barometra/thermal/contract.hpp"
#include "barometra/thermal/principal_hugoniot.hpp"
#include "barometra/thermal/vibrational.hpp"

namespace barometra {

// Thermal F and E in J/mol, S and Cv in J/(mol K).
struct ThermodynamicTerms {
  double helmholtz_free_energy, internal_energy, entropy, heat_capacity_v;
};

template <class R>
class DorogokupetsOganov2007 : public CaloricModelBase<DorogokupetsOganov2007<R>> {
 public:
  static constexpr const char* kName = "DorogokupetsOganov2007";
  static constexpr std::array<const char*, 21> kParameterNames{
      "Tr",      "theta_B1",  "d_B1",         "m_B1",         "theta_B2",     "d_B2",
      "m_B2",    "theta_E1",  "m_E1",         "theta_E2",     "m_E2",         "gamma0",
      "gamma_inf", "beta",    "anharmonic_a", "anharmonic_m", "electronic_e", "electronic_g",
      "defect_H", "defect_S", "n"};
  // How far the multiplicities may miss 3n, for values rounded in print.
  static constexpr double kMultiplicityTolerance = 0.005;

  static std::expected<DorogokupetsOganov2007, EosError> create(
      R reference_eos, double tr, double theta_b1, double d_b1, double m_b1, double theta_b2,
      double d_b2, double m_b2, double theta_e1, double m_e1, double theta_e2, double m_e2,
      double gamma0, double gamma_inf, double beta, double anharmonic_a, double anharmonic_m,
      double electronic_e, double electronic_g, double defect_h, double defect_s,
      double n) noexcept {
    return checked<DorogokupetsOganov2007>(
        first_failure(
            require_positive_finite(tr, "Tr"), require_positive_finite(theta_b1, "theta_B1"),
            require_positive_finite(d_b1, "d_B1"), require_positive_finite(m_b1, "m_B1"),
            require_positive_finite(theta_b2, "theta_B2"), require_positive_finite(d_b2, "d_B2"),
            require_positive_finite(m_b2, "m_B2"), require_positive_finite(theta_e1, "theta_E1"),
            require_positive_finite(m_e1, "m_E1"), require_positive_finite(theta_e2, "theta_E2"),
            require_positive_finite(m_e2, "m_E2"), require_positive_finite(gamma0, "gamma0"),
            require_positive_finite(gamma_inf, "gamma_inf"), require_positive_finite(beta, "beta"),
            require_finite(anharmonic_a, "anharmonic_a"),
            require_finite(anharmonic_m, "anharmonic_m"),
            require_finite(electronic_e, "electronic_e"),
            require_finite(electronic_g, "electronic_g"),
            require_positive_finite(defect_h, "defect_H"), require_finite(defect_s, "defect_S"),
            require_positive_finite(n, "n"),
            require(std::fabs(m_b1 + m_b2 + m_e1 + m_e2 - 3.0 * n) <= kMultiplicityTolerance,
                    "oscillator multiplicities", "must sum to three times the atom count")),
        [&] {
          return DorogokupetsOganov2007(
              std::move(reference_eos),
              {tr, theta_b1, d_b1, m_b1, theta_b2, d_b2, m_b2, theta_e1, m_e1, theta_e2, m_e2,
               gamma0, gamma_inf, beta, anharmonic_a, anharmonic_m, electronic_e, electronic_g,
               defect_h, defect_s, n});
        });
  }

  const R& reference_eos() const noexcept { return reference_eos_; }
  double tr() const noexcept { return values_[0]; }
  double theta_b1() const noexcept { return values_[1]; }
  double d_b1() const noexcept { return values_[2]; }
  double m_b1() const noexcept { return values_[3]; }
  double theta_b2() const noexcept { return values_[4]; }
  double d_b2() const noexcept { return values_[5]; }
  double m_b2() const noexcept { return values_[6]; }
  double theta_e1() const noexcept { return values_[7]; }
  double m_e1() const noexcept { return values_[8]; }
  double theta_e2() const noexcept { return values_[9]; }
  double m_e2() const noexcept { return values_[10]; }
  double gamma0() const noexcept { return values_[11]; }
  double gamma_inf() const noexcept { return values_[12]; }
  double beta() const noexcept { return values_[13]; }
  double anharmonic_a() const noexcept { return values_[14]; }
  double anharmonic_m() const noexcept { return values_[15]; }
  double electronic_e() const noexcept { return values_[16]; }
  double electronic_g() const noexcept { return values_[17]; }
  double defect_h() const noexcept { return values_[18]; }
  double defect_s() const noexcept { return values_[19]; }
  double n() const noexcept { return values_[20]; }
  const std::array<double, 21>& parameters() const noexcept { return values_; }

  // F, E, S and Cv in one pass over the oscillators.
  std::expected<ThermodynamicTerms, EosError> thermodynamic_terms(
      double volume, double temperature) const noexcept {
    if (auto e = check_volume_and_temperature(volume, temperature)) return std::unexpected(*e);
    const double x = volume / reference_eos_.v0();
    const double factor = law().theta_factor(x);
    if (!is_finite(factor)) return std::unexpected(EosError::non_finite_result());
    const double t = temperature, xm = std::pow(x, anharmonic_m());
    double f = 0.0, e = 0.0, cv = 0.0;
    for (const Oscillator& o : oscillators()) {
      const double theta = o.theta * factor, mr = o.multiplicity * kGasConstant;
      const Occupation occ(theta, t);
      const ModeTerms harmonic = o.bose ? bose_terms(theta, t, o.d) : einstein_terms(theta, t, occ);
      const ModeTerms anharmonic =
          anharmonic_terms(anharmonic_a() * mr * 1e-6 * xm / 6.0, theta, t, occ);
      f += mr * harmonic.f + anharmonic.f;
      e += mr * harmonic.e + anharmonic.e;
      cv += mr * harmonic.cv + anharmonic.cv;
    }
    const double c = half_gas_heat_capacity();
    const double el = std::pow(x, electronic_g()) * electronic_e() * c * 1e-6;
    const double q = defect_h() / (t * x * x);
    const double activation = std::exp(defect_s() / x - q);
    const double defects = c * t * activation;
    f += -t * t * el - defects;
    e += t * t * el + q * defects;
    cv += 2.0 * t * el + q * q * c * activation;
    const double s = (e - f) / t;
    if (!is_finite(f) || !is_finite(e) || !is_finite(s) || !is_finite(cv)) {
      return std::unexpected(EosError::non_finite_result());
    }
    return ThermodynamicTerms{f, e, s, cv};
  }

  Result molar_heat_capacity_v(double volume, double temperature) const noexcept {
    return term(volume, temperature, &ThermodynamicTerms::heat_capacity_v);
  }
  Result thermal_helmholtz_free_energy(double volume, double temperature) const noexcept {
    return term(volume, temperature, &ThermodynamicTerms::helmholtz_free_energy);
  }
  Result thermal_energy(double volume, double temperature) const noexcept {
    return term(volume, temperature, &ThermodynamicTerms::internal_energy);
  }
  Result thermal_entropy(double volume, double temperature) const noexcept {
    return term(volume, temperature, &ThermodynamicTerms::entropy);
  }

  // -dF/dV of every contribution, relative to the static lattice.
  Result absolute_nonreference_pressure(double volume, double temperature) const noexcept {
    if (auto e = check_volume_and_temperature(volume, temperature)) return std::unexpected(*e);
    const double x = volume / reference_eos_.v0(), t = temperature;
    const double factor = law().theta_factor(x), gamma = law().gruneisen(x);
    if (!is_finite(factor) || !is_finite(gamma)) {
      return std::unexpected(EosError::non_finite_result());
    }
    const double xm = std::pow(x, anharmonic_m());
    double pqh = 0.0, panh = 0.0;
    for (const Oscillator& o : oscillators()) {
      const double theta = o.theta * factor;
      auto energy = o.bose ? bose_mode_energy(theta, t, o.d) : sokolova_einstein_energy(theta, t);
      if (!energy) return energy;
      pqh += gamma * o.multiplicity * kGasConstant * *energy / volume;
      const Occupation occ(theta, t);
      const double theta2 = theta * theta;
      const double w = 4.0 * theta * occ.p + 2.0 * theta * occ.h * (occ.h - occ.u * occ.p) -
                       (2.0 * occ.nb + 1.0) * (2.0 * theta2 / t) * occ.p;
      panh += xm * (anharmonic_a() * o.multiplicity * kGasConstant * 1e-6) / (6.0 * volume) *
              (anharmonic_m() * (theta2 * occ.h * occ.h + 2.0 * theta2 * occ.p) -
               gamma * theta * w);
    }
    const double c = half_gas_heat_capacity();
    const double pel =
        t * t * std::pow(x, electronic_g()) * electronic_g() * (electronic_e() * c * 1e-6) / volume;
    const double q = defect_h() / (t * x * x);
    const double pdef =
        (2.0 * q - defect_s() / x) * (c * t) * std::exp(defect_s() / x - q) / volume;
    return finite_or_error((pqh - panh + pel + pdef) / kEnergyPerPressureVolume);
  }

  // Pabs(V, T) - Pabs(V, Tr), so exactly 0 at Tr.
  Result thermal_pressure(double volume, double temperature) const noexcept {
    return detail::heating_increment(
        [this, volume](double t) noexcept { return absolute_nonreference_pressure(volume, t); },
        temperature, tr());
  }

  // The thermal terms on the isochore at V, for the Hugoniot: E = F_ref + E(T)
  // - F(Tr) from the thermodynamic terms. The slope of Pth is the
  // quasi-harmonic gamma Cv / V, an estimate that starts the secant.
  class Isochore {
   public:
    static constexpr bool kExactSlope = false;
    std::expected<IsochorePoint, EosError> at(double temperature) const noexcept {
      auto terms = model_->thermodynamic_terms(volume_, temperature);
      if (!terms) return std::unexpected(terms.error());
      auto p_abs = model_->absolute_nonreference_pressure(volume_, temperature);
      if (!p_abs) return std::unexpected(p_abs.error());
      return IsochorePoint{terms->internal_energy - reference_.helmholtz_free_energy,
                           terms->heat_capacity_v, *p_abs - reference_pressure_,
                           gamma_ * terms->heat_capacity_v / volume_ / kEnergyPerPressureVolume};
    }

   private:
    friend DorogokupetsOganov2007;
    Isochore(const DorogokupetsOganov2007* model, double volume, ThermodynamicTerms reference,
             double reference_pressure, double gamma) noexcept
        : model_(model),
          volume_(volume),
          reference_(reference),
          reference_pressure_(reference_pressure),
          gamma_(gamma) {}
    const DorogokupetsOganov2007* model_;  // valid while the model is
    double volume_;
    ThermodynamicTerms reference_;  // at Tr
    double reference_pressure_, gamma_;
  };

  std::expected<Isochore, EosError> hugoniot_isochore(double volume) const noexcept {
    auto reference = thermodynamic_terms(volume, tr());
    if (!reference) return std::unexpected(reference.error());
    auto p_abs = absolute_nonreference_pressure(volume, tr());
    if (!p_abs) return std::unexpected(p_abs.error());
    const double gamma = law().gruneisen(volume / reference_eos_.v0());
    if (!is_finite(gamma)) return std::unexpected(EosError::non_finite_result());
    return Isochore(this, volume, *reference, *p_abs, gamma);
  }

  // E + V Pabs and F + V Pabs.
  Result thermal_enthalpy(double volume, double temperature) const noexcept {
    return plus_pressure_work(volume, temperature, &ThermodynamicTerms::internal_energy);
  }
  Result thermal_gibbs_free_energy(double volume, double temperature) const noexcept {
    return plus_pressure_work(volume, temperature, &ThermodynamicTerms::helmholtz_free_energy);
  }

 private:
  struct Oscillator {
    double theta, multiplicity, d;
    bool bose;
  };

  // Einstein occupation n_B = 1/(e^u - 1) at u = theta/T, with p = n_B (n_B + 1)
  // and h = n_B + 1/2; the anharmonic terms of both kinds use it.
  struct Occupation {
    double u, one_minus_exp, nb, p, h;
    Occupation(double theta, double temperature) noexcept
        : u(theta / temperature),
          one_minus_exp(-std::expm1(-u)),
          nb(std::exp(-u) / one_minus_exp),
          p(nb * (nb + 1.0)),
          h(nb + 0.5) {}
  };

  // Free energy, energy and heat capacity of one mode.
  struct ModeTerms {
    double f, e, cv;
  };

  static ModeTerms einstein_terms(double theta, double t, const Occupation& occ) noexcept {
    return {theta / 2.0 + t * std::log(occ.one_minus_exp), theta * (occ.nb + 0.5),
            occ.u * occ.u * occ.p};
  }

  static ModeTerms bose_terms(double theta, double t, double d) noexcept {
    const double y = theta / (t * d);
    const double log_w = -d * std::log1p(y);  // w = (1 + y)^-d
    const double one_minus_w = -std::expm1(log_w);
    const double nb = std::exp(log_w) / one_minus_w;
    const double zero_point = (d - 1.0) * theta / (2.0 * d);
    const double z = theta / (t * (1.0 + y));
    return {zero_point + t * std::log(one_minus_w), zero_point + theta * nb / (1.0 + y),
            z * (z * nb * (nb + 1.0) + y * nb / (1.0 + y))};
  }

  // k theta^2 (3h^2 - 1/2) and its E and Cv, k = a m R 1e-6 x^m / 6.
  static ModeTerms anharmonic_terms(double k, double theta, double t,
                                    const Occupation& occ) noexcept {
    const double f = k * theta * theta * (3.0 * occ.h * occ.h - 0.5);
    const double theta3 = theta * theta * theta, hp = occ.h * occ.p;
    return {f, f - k * 6.0 * theta3 * hp / t,
            -k * t * 6.0 * theta3 *
                (theta * occ.p * (occ.p + 2.0 * occ.h * occ.h) / (t * t * t * t) -
                 2.0 * hp / (t * t * t))};
  }

  DorogokupetsOganov2007(R reference_eos, const std::array<double, 21>& parameters) noexcept
      : reference_eos_(std::move(reference_eos)), values_(parameters) {}

  detail::AltshulerLaw law() const noexcept { return {gamma0(), gamma_inf(), beta()}; }
  double half_gas_heat_capacity() const noexcept { return 1.5 * n() * kGasConstant; }

  std::array<Oscillator, 4> oscillators() const noexcept {
    return {Oscillator{theta_b1(), m_b1(), d_b1(), true},
            Oscillator{theta_b2(), m_b2(), d_b2(), true},
            Oscillator{theta_e1(), m_e1(), 0.0, false},
            Oscillator{theta_e2(), m_e2(), 0.0, false}};
  }

  Result term(double volume, double temperature,
              double ThermodynamicTerms::*member) const noexcept {
    auto terms = thermodynamic_terms(volume, temperature);
    if (!terms) return std::unexpected(terms.error());
    return (*terms).*member;
  }

  Result plus_pressure_work(double volume, double temperature,
                            double ThermodynamicTerms::*energy) const noexcept {
    auto value = term(volume, temperature, energy);
    if (!value) return value;
    auto p = absolute_nonreference_pressure(volume, temperature);
    if (!p) return p;
    return finite_or_error(*value + volume * *p * kEnergyPerPressureVolume);
  }

  R reference_eos_;
  // In constructor order; the accessors name them.
  std::array<double, 21> values_;
};

}  // namespace barometra
