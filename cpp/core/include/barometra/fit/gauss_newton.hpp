// What each outer iteration of the engine needs: the finite-difference
// Jacobian, the weighted normal equations and the damped step, for the dense
// and for the structured (global + latent) layout of jacobian.hpp.
//
// Structured step. With the latents of each point k eliminated,
//
//   [ A_gg   B_1 .. B_P ] [ dg ]     [ g_g ]
//   [ B_1^T  D_1        ] [ dl_1 ] = -[ g_1 ]
//   [  :         .      ] [  :   ]     [  :  ]
//   [ B_P^T         D_P ] [ dl_P ]     [ g_P ]
//
//   S  = A'_gg - sum_k B_k D'_k^-1 B_k^T      (G x G, the Schur complement)
//   r  = -g_g  - sum_k B_k D'_k^-1 (-g_k)
//   S dg = r,   then  D'_k dl_k = -g_k - B_k^T dg  for every k,
//
// so a step costs O(P (G + 2) L^3 + G^3) and never forms the n x n matrix.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <vector>

#include "barometra/error.hpp"
#include "barometra/fit/jacobian.hpp"
#include "barometra/fit/problem.hpp"

namespace barometra {

inline constexpr double kFiniteDifferenceStep = 1.4901161193847656e-08;  // 2^-26

struct FiniteDifference {
  std::vector<double> difference;  // m values: f+ - f-, f+ - f0 or f0 - f-
  double step;                     // hf + hb, hf or hb
  unsigned evaluations;            // 2 for a central difference, else 1
};

// Column j by a central difference, or a one-sided one at a bound, with
// h = max(|x_j|, 1) * 2^-26 cut to the room left to each bound.
std::expected<FiniteDifference, FitError> finite_difference_column(
    std::span<const double> x, std::span<const double> lower, std::span<const double> upper,
    std::span<const double> f0, std::size_t column, ResidualFunction residual);

struct JacobianEvaluation {
  Jacobian jacobian;         // structured (compact) when a layout is given
  std::uint64_t evaluations; // residual evaluations spent
};

// Dense: one column after another. Structured: the G global columns one by
// one, then all points' latent coordinate c perturbed together, two
// evaluations per c whatever P is.
std::expected<JacobianEvaluation, FitError> finite_difference_for_layout(
    std::span<const double> x, std::span<const double> lower, std::span<const double> upper,
    std::span<const double> f0, const std::optional<StructuredLayout>& layout,
    ResidualFunction residual);

// A = J^T W J and g = J^T W f (the gradient, not its negative). Dense: `a` is
// n x n. Structured: `a` is A_gg (G x G), `coupling` the B_k (G x L each,
// point after point) and `latent` the D_k (L x L each, point after point).
struct NormalSystem {
  std::optional<StructuredLayout> layout;
  std::vector<double> a;
  std::vector<double> coupling;
  std::vector<double> latent;
  std::vector<double> gradient;
};

NormalSystem normal_equations_for_layout(const Jacobian& jacobian,
                                         std::span<const double> residuals,
                                         std::span<const double> weights);

// The Marquardt-damped step p solving (A + lambda D) p = -g, for either form.
std::expected<std::vector<double>, FitError> solve_normal_step(const NormalSystem& system,
                                                               double lambda);
std::expected<std::vector<double>, FitError> solve_structured_normal_step(
    const NormalSystem& system, double lambda);

namespace detail {

// Buffers of one Jacobian evaluation, kept by the engine from one outer
// iteration to the next so that a large structured fit faults in no fresh
// pages per iteration.
struct DifferenceWorkspace {
  std::vector<double> x, x_minus, plus, minus, steps;
};

// finite_difference_for_layout into `jacobian`, whose storage is reused when
// its shape and layout already fit (every stored entry is overwritten).
// Returns the number of evaluations.
std::expected<std::uint64_t, FitError> finite_difference_into(
    std::span<const double> x, std::span<const double> lower, std::span<const double> upper,
    std::span<const double> f0, const std::optional<StructuredLayout>& layout,
    ResidualFunction residual, DifferenceWorkspace& work, Jacobian& jacobian);

// normal_equations_for_layout into `system`, reusing its storage.
void normal_equations_into(const Jacobian& jacobian, std::span<const double> residuals,
                           std::span<const double> weights, NormalSystem& system);

// Decouples the parameters marked in `fixed` (n flags) from the others and
// zeroes their gradient, so that a step of `system` leaves them in place.
void fix_parameters(NormalSystem& system, std::span<const std::uint8_t> fixed);

// The diagonal entry (i, i) of the normal matrix, of either form.
double normal_diagonal(const NormalSystem& system, std::size_t i) noexcept;

}  // namespace detail

}  // namespace barometra
