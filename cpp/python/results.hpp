// The result classes of the fitting and uncertainty functions:
// LeastSquaresResult, LinearPropagation and MonteCarloSummary. Each is an
// immutable snapshot of a core result; every array attribute returns a new
// array on each access.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "barometra/fit/covariance.hpp"
#include "barometra/fit/engine.hpp"
#include "py_ref.hpp"

namespace barometra::python {

// What a LeastSquaresResult holds. The layout, if any, is solver.jac's.
struct LeastSquaresRecord {
  SolverResult solver;
  // k: n for a dense fit_least_squares, G for a structured one, the number
  // of model parameters for the EOS fits.
  std::size_t leading_count = 0;
  // EOS fits only: N predicted pressures, and the stored k x k covariance
  // that parameter_covariance then returns without recomputation.
  std::optional<std::vector<double>> predicted_pressure;
  std::optional<std::vector<double>> parameter_covariance;
  // EOS fits only: their EosFitResult (eos_fit_result.hpp), null otherwise.
  PyRef eos_fit;
};

// Adds the three classes to the module and to __all__ in the order
// LeastSquaresResult, LinearPropagation, MonteCarloSummary; -1 with an
// error set on failure.
int register_result_classes(PyObject* module) noexcept;

// New 1-D and order x order arrays holding a copy of `values`, or null with
// an error set.
PyObject* vector_array(std::span<const double> values) noexcept;
PyObject* square_array(std::span<const double> values, std::size_t order) noexcept;

// New instances taking over the records, or null with an error set. Must be
// called attached to the interpreter.
PyObject* wrap_least_squares_result(LeastSquaresRecord&& record) noexcept;
PyObject* wrap_linear_propagation(LinearPropagation&& propagation) noexcept;
PyObject* wrap_monte_carlo_summary(MonteCarloSummary&& summary) noexcept;

}  // namespace barometra::python
