// Multi-oscillator thermal pressure of Sokolova et al. (2016): two Einstein
// and two Bose-type oscillators (energies with zero point), all scaled from V0
// by one factor s = exp(int_x^1 gamma(y)/y dy), plus a quadratic-in-T
// anharmonic and electronic term,
//   Pth = gamma(V) R sum m_i [e_i(s theta_i, T) - e_i(s theta_i, Tr)] / V
//         + 1.5 n R 1e-6 (m a_0 x^m + g e_0 x^g) (T^2 - Tr^2) / V,
// where gamma(y) comes from the reference EOS's P, K and K' at y V0 and x = V/V0.
//
// The volume part (one adaptive quadrature, each sample evaluating the
// reference EOS six times) is kept apart in a record, so the temperature
// inversion computes it once and each trial temperature costs four energies.
#pragma once

#include <array>
#include <cmath>
#include <expected>
#include <utility>

#include "barometra/checks.hpp"
#include "barometra/error.hpp"
#include "barometra/isothermal/contract.hpp"
#include "barometra/quadrature.hpp"
#include "barometra/root.hpp"
#include "barometra/thermal/contract.hpp"
#include "barometra/thermal/vibrational.hpp"

namespace barometra {

// What the thermal pressure at one volume needs from the volume.
struct MultiOscillatorVolumeTerms {
  double volume;
  double gamma;
  double theta_b, theta_b1, theta_e1, theta_e2;  // Bose first
  double pref_qh;  // the quasi-harmonic pressure at Tr
  double q;        // the coefficient of T^2 - Tr^2
};

template <class R>
class MultiOscillatorGruneisen : public ThermalModelBase<MultiOscillatorGruneisen<R>> {
 public:
  static constexpr const char* kName = "MultiOscillatorGruneisenThermalEOS";
  static constexpr std::array<const char*, 19> kParameterNames{
      "Tr",  "QE1o", "mE1", "QE2o", "mE2", "delta", "t",    "a_0", "m",  "g",
      "e_0", "beta", "QBo", "d",    "mb",  "QB1o",  "d1",   "mb1", "n"};
  // The step of the reference EOS's K' inside the Grueneisen law.
  static constexpr double kDerivativeStep = 1e-6;

  // The multiplicities need not sum to 3n.
  static std::expected<MultiOscillatorGruneisen, EosError> create(
      R reference_eos, double tr, double qe1o, double me1, double qe2o, double me2, double delta,
      double t, double a_0, double m, double g, double e_0, double beta, double qbo, double d,
      double mb, double qb1o, double d1, double mb1, double n) noexcept {
    return checked<MultiOscillatorGruneisen>(
        first_failure(require_positive_finite(tr, "Tr"), require_positive_finite(qe1o, "QE1o"),
                      multiplicity_check(me1, "mE1"), require_positive_finite(qe2o, "QE2o"),
                      multiplicity_check(me2, "mE2"), require_finite(delta, "delta"),
                      require_finite(t, "t"), require_finite(a_0, "a_0"), require_finite(m, "m"),
                      require_finite(g, "g"), require_finite(e_0, "e_0"),
                      require_finite(beta, "beta"), require_positive_finite(qbo, "QBo"),
                      require_positive_finite(d, "d"), multiplicity_check(mb, "mb"),
                      require_positive_finite(qb1o, "QB1o"), require_positive_finite(d1, "d1"),
                      multiplicity_check(mb1, "mb1"), require_positive_finite(n, "n")),
        [&] {
          return MultiOscillatorGruneisen(std::move(reference_eos),
                                          {tr, qe1o, me1, qe2o, me2, delta, t, a_0, m, g, e_0,
                                           beta, qbo, d, mb, qb1o, d1, mb1, n});
        });
  }

  const R& reference_eos() const noexcept { return reference_eos_; }
  double tr() const noexcept { return values_[0]; }
  double qe1o() const noexcept { return values_[1]; }
  double me1() const noexcept { return values_[2]; }
  double qe2o() const noexcept { return values_[3]; }
  double me2() const noexcept { return values_[4]; }
  double delta() const noexcept { return values_[5]; }
  double t() const noexcept { return values_[6]; }
  double a_0() const noexcept { return values_[7]; }
  double m() const noexcept { return values_[8]; }
  double g() const noexcept { return values_[9]; }
  double e_0() const noexcept { return values_[10]; }
  double beta() const noexcept { return values_[11]; }
  double qbo() const noexcept { return values_[12]; }
  double d() const noexcept { return values_[13]; }
  double mb() const noexcept { return values_[14]; }
  double qb1o() const noexcept { return values_[15]; }
  double d1() const noexcept { return values_[16]; }
  double mb1() const noexcept { return values_[17]; }
  double n() const noexcept { return values_[18]; }
  const std::array<double, 19>& parameters() const noexcept { return values_; }

  // int_x^1 gamma(y)/y dy; each sample evaluates P, then K, then K' at y V0.
  Result gruneisen_integral(double x) const noexcept {
    return integrate([this](double y) noexcept { return integrand(y); }, x, 1.0);
  }

  std::expected<MultiOscillatorVolumeTerms, EosError> volume_terms(
      double volume) const noexcept {
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    auto pkk = reference_state(volume);
    if (!pkk) return std::unexpected(pkk.error());
    const auto [p, k, k_prime] = *pkk;
    const double x = volume / reference_eos_.v0(), c = std::cbrt(x);
    if (!is_positive_finite(x)) {
      return std::unexpected(EosError::invalid_state("volume ratio", kMustBePositiveFinite));
    }
    const double w = t() - beta() * c;
    if (auto e = check_no_pole_since_v0(3.0 * k - 2.0 * p * w)) return std::unexpected(*e);
    auto integral = gruneisen_integral(x);
    if (!integral) return std::unexpected(integral.error());
    const double s = std::exp(*integral);
    MultiOscillatorVolumeTerms terms{.volume = volume,
                                     .gamma = 0.0,
                                     .theta_b = s * qbo(),
                                     .theta_b1 = s * qb1o(),
                                     .theta_e1 = s * qe1o(),
                                     .theta_e2 = s * qe2o(),
                                     .pref_qh = 0.0,
                                     .q = 0.0};
    auto energies = mode_energies(terms, tr());
    if (!energies) return std::unexpected(energies.error());
    terms.gamma = detail::sokolova_gruneisen(w, p, k, k_prime, delta());
    if (!is_finite(terms.gamma) || !is_finite(s)) {
      return std::unexpected(EosError::non_finite_result());
    }
    terms.pref_qh = quasi_harmonic_pressure(terms, *energies);
    terms.q = (1.5 * n() * kGasConstant / 1e6 / volume) *
              (m() * a_0() * std::pow(x, m()) + g() * e_0() * std::pow(x, g()));
    if (!is_finite(terms.pref_qh) || !is_finite(terms.q)) {
      return std::unexpected(EosError::non_finite_result());
    }
    return terms;
  }

  // The zero-point energies cancel against pref_qh, so this is 0 at Tr.
  Result thermal_pressure_from_terms(const MultiOscillatorVolumeTerms& terms,
                                     double temperature) const noexcept {
    if (auto e = check_temperature(temperature)) return std::unexpected(*e);
    auto energies = mode_energies(terms, temperature);
    if (!energies) return std::unexpected(energies.error());
    const double pqh = quasi_harmonic_pressure(terms, *energies);
    return finite_or_error((pqh - terms.pref_qh +
                            terms.q * (temperature * temperature - tr() * tr())) /
                           kEnergyPerPressureVolume);
  }

  // Both state variables are checked before the quadrature, which a bad
  // temperature would otherwise waste.
  Result thermal_pressure(double volume, double temperature) const noexcept {
    if (auto e = check_volume_and_temperature(volume, temperature)) return std::unexpected(*e);
    auto terms = volume_terms(volume);
    if (!terms) return std::unexpected(terms.error());
    return thermal_pressure_from_terms(*terms, temperature);
  }

  // The default inversion with the volume record computed once.
  Result temperature(double pressure, double volume) const noexcept {
    if (auto e = require_finite_state(pressure, "pressure")) return std::unexpected(*e);
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    auto pref = reference_eos_.pressure(volume);
    if (!pref) return pref;
    auto terms = volume_terms(volume);
    if (!terms) return std::unexpected(terms.error());
    return solve_temperature_function(
        [this, &terms](double t) noexcept { return thermal_pressure_from_terms(*terms, t); },
        pressure - *pref, tr());
  }

 private:
  struct ReferenceState {
    double p, k, k_prime;
  };
  // The four energies per mode, in the order Bose, Bose 1, Einstein 1, Einstein 2.
  using ModeEnergies = std::array<double, 4>;

  MultiOscillatorGruneisen(R reference_eos, const std::array<double, 19>& values) noexcept
      : reference_eos_(std::move(reference_eos)), values_(values) {}

  static constexpr Check multiplicity_check(double value, const char* field) noexcept {
    return first_failure(require_finite(value, field),
                         require(value >= 0.0, field, kMustNotBeNegative));
  }

  std::expected<ReferenceState, EosError> reference_state(double volume) const noexcept {
    auto p = reference_eos_.pressure(volume);
    if (!p) return std::unexpected(p.error());
    auto k = reference_eos_.bulk_modulus(volume);
    if (!k) return std::unexpected(k.error());
    auto k_prime = reference_eos_.bulk_modulus_derivative(volume, kDerivativeStep);
    if (!k_prime) return std::unexpected(k_prime.error());
    return ReferenceState{*p, *k, *k_prime};
  }

  // gamma(y) has a pole where 3K - 2Pw vanishes, which a reference EOS reaches
  // only past its spinodal. An integral across it diverges, and the quadrature
  // would spend millions of samples before returning a meaningless value, so a
  // change of sign between V0 and V is reported as the infinite gamma it implies.
  Check check_no_pole_since_v0(double denominator) const noexcept {
    const double v0 = reference_eos_.v0();
    auto p0 = reference_eos_.pressure(v0);
    if (!p0) return p0.error();
    auto k0 = reference_eos_.bulk_modulus(v0);
    if (!k0) return k0.error();
    const double denominator0 = 3.0 * *k0 - 2.0 * *p0 * (t() - beta());
    if ((denominator > 0.0) != (denominator0 > 0.0)) return EosError::non_finite_result();
    return std::nullopt;
  }

  Result integrand(double y) const noexcept {
    auto state = reference_state(y * reference_eos_.v0());
    if (!state) return std::unexpected(state.error());
    return sokolova_gruneisen_integrand(y, state->p, state->k, state->k_prime, delta(), t(),
                                        beta());
  }

  std::expected<ModeEnergies, EosError> mode_energies(const MultiOscillatorVolumeTerms& terms,
                                                        double temperature) const noexcept {
    const Result energies[] = {bose_mode_energy(terms.theta_b, temperature, d()),
                               bose_mode_energy(terms.theta_b1, temperature, d1()),
                               sokolova_einstein_energy(terms.theta_e1, temperature),
                               sokolova_einstein_energy(terms.theta_e2, temperature)};
    ModeEnergies values;
    for (std::size_t i = 0; i < values.size(); ++i) {
      if (!energies[i]) return std::unexpected(energies[i].error());
      values[i] = *energies[i];
    }
    return values;
  }

  // gamma R sum m_i e_i / V, term by term in the order of the energies.
  double quasi_harmonic_pressure(const MultiOscillatorVolumeTerms& terms,
                                 const ModeEnergies& e) const noexcept {
    const double multiplicities[] = {mb(), mb1(), me1(), me2()};
    double sum = 0.0;
    for (std::size_t i = 0; i < e.size(); ++i) {
      sum += multiplicities[i] * kGasConstant * e[i] * terms.gamma / terms.volume;
    }
    return sum;
  }

  R reference_eos_;
  // In constructor order; the accessors name them.
  std::array<double, 19> values_;
};

}  // namespace barometra
