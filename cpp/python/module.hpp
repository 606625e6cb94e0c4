// Registration helpers shared by the files that add classes and functions to
// barometra._engine.
#pragma once

#include <array>

#include "errors.hpp"
#include "py_ref.hpp"

namespace barometra::python {

inline constexpr const char* kModuleName = "barometra._engine";

// What the module keeps from one load to its end.
struct ModuleState {
  // Strong references to the barometra.errors classes, in the order of
  // kErrorClassNames; null where the lookup failed.
  ErrorClasses error_classes{};
};

// The state of the module loaded last (one per interpreter, as the types are
// process-wide), or null before it loads and after it is freed. Read it
// attached.
const ModuleState* module_state() noexcept;

// Adds `object` (borrowed) as module.name and appends name to __all__.
// Returns -1 with an error set on failure.
int add_to_module(PyObject* module, const char* name, PyObject* object) noexcept;
// Creates a function from a static definition, with __module__ set to the
// module's name, and adds it as above...
int add_function(PyObject* module, PyMethodDef* definition) noexcept;
// ...or as module.name only, outside __all__.
int add_private_function(PyObject* module, PyMethodDef* definition) noexcept;

// A METH_FASTCALL | METH_KEYWORDS function as the PyCFunction that
// PyMethodDef stores.
template <auto Function>
constexpr PyCFunction fastcall() noexcept {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(Function));
}

// Module functions, registered by module.cpp.
extern PyMethodDef fit_least_squares_def;
extern PyMethodDef fit_rt_eos_native_def;
extern PyMethodDef fit_thermal_eos_native_def;
extern PyMethodDef linear_uncertainty_def;
extern PyMethodDef monte_carlo_summary_def;
extern PyMethodDef holzapfel_derivative_analytical_def;
extern PyMethodDef delta_method_def;
extern PyMethodDef monte_carlo_prediction_def;
// Adds the OpticalGauge class (optical_gauge.cpp); -1 with an error set on failure.
int register_optical_gauge(PyObject* module) noexcept;
// Adds LOSSES and ERROR_MODES, the names the fits accept (native_fit.cpp).
int add_fit_choices(PyObject* module) noexcept;

}  // namespace barometra::python
