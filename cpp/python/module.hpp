// Registration helpers shared by the files that add classes and functions to
// barometra._engine.
#pragma once

#include "py_ref.hpp"

namespace barometra::python {

inline constexpr const char* kModuleName = "barometra._engine";

// Adds `object` (borrowed) as module.name and appends name to __all__.
// Returns -1 with an error set on failure.
int add_to_module(PyObject* module, const char* name, PyObject* object) noexcept;
// Creates a function from a static definition, with __module__ set to the
// module's name, and adds it as above.
int add_function(PyObject* module, PyMethodDef* definition) noexcept;

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

}  // namespace barometra::python
