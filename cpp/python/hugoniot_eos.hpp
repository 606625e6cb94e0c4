// HugoniotEos: the Python class that holds one immutable LinearUsUpHugoniot
// and evaluates its quantities by name.
#pragma once

#include "py_ref.hpp"

namespace barometra::python {

// Adds HugoniotEos to the module and to its __all__; -1 with an error set on failure.
int register_hugoniot_eos(PyObject* module) noexcept;

}  // namespace barometra::python
