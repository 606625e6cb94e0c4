// EosFitResult: what a native EOS fit knows beyond its LeastSquaresResult,
// the core's statistics of the fit (standard errors, correlation, the
// parameters the data do not determine, chi-square, information criteria,
// the states the pressures were predicted at).
#pragma once

#include "barometra/fit/eos_fit.hpp"
#include "py_ref.hpp"

namespace barometra::python {

// Creates the class, once per process (it is not added to the module: its
// instances come from the native fits only); -1 with an error set on failure.
int ready_eos_fit_result_type() noexcept;
// A new EosFitResult taking over the fit's statistics, or null with an error
// set. Must be called attached to the interpreter.
PyObject* wrap_eos_fit_result(EosFitResult&& fit) noexcept;

}  // namespace barometra::python
