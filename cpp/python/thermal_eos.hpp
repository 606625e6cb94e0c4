// ThermalEos: the Python class that holds one immutable ThermalModel and
// evaluates its quantities by name.
#pragma once

#include <span>

#include "barometra/thermal/thermal_model.hpp"
#include "py_ref.hpp"

namespace barometra::python {

// Adds ThermalEos to the module and to its __all__; -1 with an error set on failure.
int register_thermal_eos(PyObject* module) noexcept;
// A new ThermalEos holding a copy of `model`, or null with an error set.
PyObject* wrap_thermal_model(const ThermalModel& model) noexcept;
// The model held by a ThermalEos, or null when `object` is not one.
const ThermalModel* thermal_model_of(PyObject* object) noexcept;

// The static constructors (thermal_constructors.cpp), one per model name of
// the Python API, ending with the null entry. Throws std::bad_alloc.
std::span<const PyMethodDef> thermal_constructor_defs();

}  // namespace barometra::python
