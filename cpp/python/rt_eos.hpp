// RtEos: the Python class that holds one immutable RtModel.
#pragma once

#include "barometra/isothermal/rt_model.hpp"
#include "py_ref.hpp"

namespace barometra::python {

// The class object, readied once per process; null with an error set if that fails.
PyTypeObject* rt_eos_type() noexcept;
// Adds RtEos to the module and to its __all__; -1 with an error set on failure.
int register_rt_eos(PyObject* module) noexcept;
// A new RtEos holding a copy of `model`, or null with an error set.
PyObject* wrap_rt_model(const RtModel& model) noexcept;
// The model held by an RtEos, or null when `object` is not one.
const RtModel* rt_model_of(PyObject* object) noexcept;

}  // namespace barometra::python
