// barometra._engine: multi-phase initialisation. The exec step imports
// NumPy's C API, registers the classes and functions in a fixed order,
// appending each name to __all__, publishes the fits' choices, and looks up
// the exception classes once, which the module keeps in its state.
#define BAROMETRA_IMPORT_NUMPY
#include "module.hpp"

#include <atomic>

#include "eos_fit_result.hpp"
#include "errors.hpp"
#include "hugoniot_eos.hpp"
#include "model_table.hpp"
#include "numpy_api.hpp"
#include "results.hpp"
#include "rt_eos.hpp"
#include "thermal_eos.hpp"

namespace barometra::python {

int add_to_module(PyObject* module, const char* name, PyObject* object) noexcept {
  PyRef all = PyRef::steal(PyObject_GetAttrString(module, "__all__"));
  if (!all) return -1;
  PyRef text = PyRef::steal(PyUnicode_FromString(name));
  if (!text) return -1;
  if (PyModule_AddObjectRef(module, name, object) < 0) return -1;
  return PyList_Append(all.get(), text.get());
}

namespace {

PyRef new_function(PyMethodDef* definition) noexcept {
  PyRef module_name = PyRef::steal(PyUnicode_FromString(kModuleName));
  if (!module_name) return {};
  return PyRef::steal(PyCFunction_NewEx(definition, nullptr, module_name.get()));
}

}  // namespace

int add_function(PyObject* module, PyMethodDef* definition) noexcept {
  PyRef function = new_function(definition);
  if (!function) return -1;
  return add_to_module(module, definition->ml_name, function.get());
}

int add_private_function(PyObject* module, PyMethodDef* definition) noexcept {
  PyRef function = new_function(definition);
  if (!function) return -1;
  return PyModule_AddObjectRef(module, definition->ml_name, function.get());
}

namespace {

std::atomic<const ModuleState*> g_state{nullptr};

// Null only before the state is allocated.
ModuleState* state_of(PyObject* module) noexcept {
  return static_cast<ModuleState*>(PyModule_GetState(module));
}

int traverse_engine(PyObject* module, visitproc visit, void* arg) noexcept {
  if (ModuleState* state = state_of(module)) {
    for (PyObject* cls : state->error_classes) Py_VISIT(cls);
  }
  return 0;
}

int clear_engine(PyObject* module) noexcept {
  if (ModuleState* state = state_of(module)) {
    for (PyObject*& cls : state->error_classes) Py_CLEAR(cls);
  }
  return 0;
}

void free_engine(void* module) noexcept {
  auto* object = static_cast<PyObject*>(module);
  const ModuleState* state = state_of(object);
  g_state.compare_exchange_strong(state, nullptr);
  clear_engine(object);
}

int exec_engine(PyObject* module) noexcept {
  try {
    if (PyArray_ImportNumPyAPI() < 0) return -1;
    PyRef all = PyRef::steal(PyList_New(0));
    if (!all || PyModule_AddObjectRef(module, "__all__", all.get()) < 0) return -1;
    // Registration order: RtEos, HugoniotEos, ThermalEos, LeastSquaresResult,
    // LinearPropagation, MonteCarloSummary, fit_least_squares,
    // fit_rt_eos_native, fit_thermal_eos_native, linear_uncertainty,
    // monte_carlo_summary, holzapfel_derivative_analytical; then OpticalGauge
    // and delta_method, which the pressure scales use.
    if (register_rt_eos(module) < 0) return -1;
    if (register_hugoniot_eos(module) < 0) return -1;
    if (register_thermal_eos(module) < 0) return -1;
    if (register_result_classes(module) < 0) return -1;
    if (add_function(module, &fit_least_squares_def) < 0) return -1;
    if (add_function(module, &fit_rt_eos_native_def) < 0) return -1;
    if (add_function(module, &fit_thermal_eos_native_def) < 0) return -1;
    if (add_function(module, &linear_uncertainty_def) < 0) return -1;
    if (add_function(module, &monte_carlo_summary_def) < 0) return -1;
    if (add_function(module, &holzapfel_derivative_analytical_def) < 0) return -1;
    if (register_optical_gauge(module) < 0) return -1;
    if (add_function(module, &delta_method_def) < 0) return -1;
    if (add_fit_choices(module) < 0 || ready_eos_fit_result_type() < 0) return -1;
    // Private, so not in __all__ either: the propagation of a fit's covariance.
    if (add_private_function(module, &monte_carlo_prediction_def) < 0) return -1;
    // What the package builds its model classes from; private, so not in __all__.
    if (register_model_table(module) < 0) return -1;
    ModuleState* state = state_of(module);
    load_error_classes(state->error_classes);
    g_state.store(state, std::memory_order_release);
    return 0;
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (...) {
    PyErr_SetString(PyExc_RuntimeError, "barometra._engine failed to initialise");
  }
  return -1;
}

PyModuleDef_Slot g_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&exec_engine)},
#ifdef Py_mod_gil
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
#endif
#ifdef Py_mod_multiple_interpreters
    // The classes are created once per process and shared: one interpreter only.
    {Py_mod_multiple_interpreters, Py_MOD_MULTIPLE_INTERPRETERS_NOT_SUPPORTED},
#endif
    {0, nullptr},
};

PyModuleDef g_module = {
    PyModuleDef_HEAD_INIT,
    "_engine",            // m_name
    "",                   // m_doc
    sizeof(ModuleState),  // m_size
    nullptr,              // m_methods: functions are added by the exec step, in order
    g_slots,
    &traverse_engine,
    &clear_engine,
    &free_engine,
};

}  // namespace

const ModuleState* module_state() noexcept { return g_state.load(std::memory_order_acquire); }

}  // namespace barometra::python

PyMODINIT_FUNC PyInit__engine(void) {
  return PyModuleDef_Init(&barometra::python::g_module);
}
