// EosFitResult: what a native EOS fit knows beyond its LeastSquaresResult.
// It names the core's statistics of the fit (standard errors, correlation,
// chi-square, information criteria, the states the pressures were predicted
// at) and propagates a parameter covariance to quantities of the fitted
// model, by the delta method or over Monte Carlo draws, rebuilding the model
// natively for every parameter vector.
#pragma once

#include <string>
#include <variant>
#include <vector>

#include "barometra/fit/eos_fit.hpp"
#include "barometra/isothermal/rt_model.hpp"
#include "barometra/thermal/thermal_model.hpp"
#include "py_ref.hpp"

namespace barometra::python {

struct EosFitRecord {
  EosFitResult fit;  // its solver result lives in the LeastSquaresResult
  std::variant<RtModel, ThermalModel> start;  // rebuilt with `names` for each parameter vector
  std::vector<std::string> names;
};

// Creates the class, once per process (it is not added to the module: its
// instances come from the native fits only); -1 with an error set on failure.
int ready_eos_fit_result_type() noexcept;
// A new EosFitResult taking over the record, or null with an error set. Must
// be called attached to the interpreter.
PyObject* wrap_eos_fit_result(EosFitRecord&& record) noexcept;

}  // namespace barometra::python
