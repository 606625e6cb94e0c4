// Mie-Grueneisen-Debye model whose logarithmic slope q = dln(gamma)/dlnV
// itself varies as q0 x^q1:
//   gamma(V) = gamma0 exp(q0 (x^q1 - 1) / q1),  x = V/V0,
//   theta(V) = theta0 exp(-int_0^ln x gamma dlnV),
//   Pth = gamma(V) [E(V, T) - E(V, Tr)] / V,  E = 3nR T D3(theta/T).
// The integral has a closed form when q0 or q1 is zero and is taken by
// quadrature otherwise.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <expected>
#include <utility>

#include "barometra/checks.hpp"
#include "barometra/error.hpp"
#include "barometra/quadrature.hpp"
#include "barometra/thermal/mie_gruneisen.hpp"

namespace barometra {

template <class R>
class VariableQMieGruneisenDebye
    : public detail::DebyeGruneisenModel<VariableQMieGruneisenDebye<R>> {
 public:
  static constexpr const char* kName = "VariableQMieGruneisenDebye";
  static constexpr std::array<const char*, 6> kParameterNames{"Tr",  "theta0", "gamma0",
                                                              "q0",  "q1",     "n"};

  static std::expected<VariableQMieGruneisenDebye, EosError> create(
      R reference_eos, double tr, double theta0, double gamma0, double q0, double q1,
      double n) noexcept {
    return checked<VariableQMieGruneisenDebye>(
        first_failure(require_positive_finite(tr, "Tr"), require_positive_finite(theta0, "theta0"),
                      require_finite(gamma0, "gamma0"), require_finite(q0, "q0"),
                      require_finite(q1, "q1"), require_positive_finite(n, "n")),
        [&] {
          return VariableQMieGruneisenDebye(std::move(reference_eos), tr, theta0, gamma0, q0, q1,
                                            n);
        });
  }

  const R& reference_eos() const noexcept { return reference_eos_; }
  double tr() const noexcept { return tr_; }
  double theta0() const noexcept { return theta0_; }
  double gamma0() const noexcept { return gamma0_; }
  double q0() const noexcept { return q0_; }
  double q1() const noexcept { return q1_; }
  double n() const noexcept { return n_; }
  std::array<double, 6> parameters() const noexcept {
    return {tr_, theta0_, gamma0_, q0_, q1_, n_};
  }

 private:
  friend class detail::DebyeGruneisenModel<VariableQMieGruneisenDebye>;

  VariableQMieGruneisenDebye(R reference_eos, double tr, double theta0, double gamma0, double q0,
                             double q1, double n) noexcept
      : reference_eos_(std::move(reference_eos)),
        tr_(tr),
        theta0_(theta0),
        gamma0_(gamma0),
        q0_(q0),
        q1_(q1),
        n_(n) {}

  // gamma at ln x = s.
  double gamma_of_log(double s) const noexcept {
    if (q1_ == 0.0) return gamma0_ * std::exp(q0_ * s);
    return gamma0_ * std::exp(q0_ * std::expm1(q1_ * s) / q1_);
  }

  Result gamma_at(double volume) const noexcept {
    return finite_or_error(gamma_of_log(std::log(volume / reference_eos_.v0())));
  }

  Result theta_at(double volume) const noexcept {
    const double lx = std::log(volume / reference_eos_.v0());
    double integral;
    if (q0_ == 0.0) {
      integral = gamma0_ * lx;
    } else if (q1_ == 0.0) {
      integral = gamma0_ * std::expm1(q0_ * lx) / q0_;
    } else {
      auto gamma = [this](double s) noexcept -> Result {
        return gamma0_ * std::exp(q0_ * std::expm1(q1_ * s) / q1_);
      };
      auto quadrature = integrate(gamma, 0.0, lx);
      if (!quadrature) return quadrature;
      integral = *quadrature;
    }
    const double theta = theta0_ * std::exp(-integral);
    if (!is_finite(theta)) return std::unexpected(EosError::non_finite_result());
    // A very steep gamma law can drive theta below the smallest double.
    if (!(theta > 0.0)) {
      return std::unexpected(EosError::invalid_state("Debye temperature", kMustBePositiveFinite));
    }
    return theta;
  }

  R reference_eos_;
  double tr_, theta0_, gamma0_, q0_, q1_, n_;
};

}  // namespace barometra
