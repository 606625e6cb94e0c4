// The private functions that propagate a fitted model's parameter
// uncertainty to its quantities: predict_delta_method, predict_monte_carlo.
#pragma once

#include "py_ref.hpp"

namespace barometra::python {

// Adds both functions to the module, outside __all__; -1 with an error set
// on failure.
int add_prediction_functions(PyObject* module) noexcept;

}  // namespace barometra::python
