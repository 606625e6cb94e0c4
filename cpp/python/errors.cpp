#include "errors.hpp"

#include <algorithm>

#include "module.hpp"

namespace barometra::python {

namespace {

PyRef new_string(std::string_view text) noexcept {
  // Messages may quote user text; a stray byte must not lose the whole message.
  return PyRef::steal(
      PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace"));
}

std::string utf8_or(PyObject* text, std::string_view fallback) {
  if (text != nullptr) {
    Py_ssize_t size = 0;
    if (const char* data = PyUnicode_AsUTF8AndSize(text, &size)) return std::string(data, size);
  }
  PyErr_Clear();
  return std::string(fallback);
}

// The class the module looked up when it loaded, else the attribute of
// barometra.errors imported now (which fails, with the reason, when the
// module cannot be imported). Null with a Python error set on failure.
PyRef requested_class(std::string_view class_name, PyObject* name) {
  const auto known = std::find(kErrorClassNames.begin(), kErrorClassNames.end(), class_name);
  const ModuleState* state = module_state();
  if (state != nullptr && known != kErrorClassNames.end()) {
    if (PyObject* cls = state->error_classes[known - kErrorClassNames.begin()]) {
      return PyRef::borrow(cls);
    }
  }
  PyRef module = PyRef::steal(PyImport_ImportModule("barometra.errors"));
  if (!module) return {};
  return PyRef::steal(PyObject_GetAttr(module.get(), name));
}

// The request's class, called with the message and the keywords in the order
// code, operation, field, index. Null with a Python error set if any step
// fails.
PyRef build_requested(const ExceptionRequest& request) {
  PyRef class_name = new_string(request.class_name);
  if (!class_name) return {};
  PyRef cls = requested_class(request.class_name, class_name.get());
  if (!cls) return {};

  PyRef kwargs = PyRef::steal(PyDict_New());
  if (!kwargs) return {};
  auto set_item = [&](const char* key, std::string_view value) {
    PyRef text = new_string(value);
    return text && PyDict_SetItemString(kwargs.get(), key, text.get()) == 0;
  };
  if (!set_item("code", request.code)) return {};
  if (request.operation && !set_item("operation", *request.operation)) return {};
  if (request.field && !set_item("field", *request.field)) return {};
  if (request.index) {
    PyRef index = PyRef::steal(PyLong_FromSize_t(*request.index));
    if (!index || PyDict_SetItemString(kwargs.get(), "index", index.get()) < 0) return {};
  }

  PyRef message = new_string(request.message);
  if (!message) return {};
  PyRef args = PyRef::steal(PyTuple_Pack(1, message.get()));
  if (!args) return {};
  PyRef exception = PyRef::steal(PyObject_Call(cls.get(), args.get(), kwargs.get()));
  if (exception && !PyExceptionInstance_Check(exception.get())) {
    // Raising a non-exception would be a SystemError far from the cause.
    PyErr_Format(PyExc_TypeError, "barometra.errors.%U returned %.200s, not an exception",
                 class_name.get(), Py_TYPE(exception.get())->tp_name);
    return {};
  }
  return exception;
}

}  // namespace

void load_error_classes(ErrorClasses& classes) noexcept {
  PyRef module = PyRef::steal(PyImport_ImportModule("barometra.errors"));
  for (std::size_t i = 0; module && i < classes.size(); ++i) {
    const std::string_view name = kErrorClassNames[i];
    PyRef text = new_string(name);
    classes[i] = text ? PyObject_GetAttr(module.get(), text.get()) : nullptr;
    if (classes[i] == nullptr) PyErr_Clear();
  }
  PyErr_Clear();
}

// Takes the current exception out of the thread state, normalised.
PyRef fetch_exception() noexcept {
#if PY_VERSION_HEX >= 0x030C0000
  return PyRef::steal(PyErr_GetRaisedException());
#else
  PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  if (value != nullptr && traceback != nullptr) PyException_SetTraceback(value, traceback);
  Py_XDECREF(type);
  Py_XDECREF(traceback);
  return PyRef::steal(value);
#endif
}

std::string describe_exception(PyObject* exception, std::string_view str_failed) {
  PyRef name = PyRef::steal(
      PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(exception)), "__name__"));
  std::string text = utf8_or(name.get(), Py_TYPE(exception)->tp_name);
  PyRef str = PyRef::steal(PyObject_Str(exception));
  return text.append(": ").append(utf8_or(str.get(), str_failed));
}

PyRef barometra_python_error(const ExceptionRequest& request) {
  // The caller may be a thread that is not attached to the interpreter.
  Attached attached;
  if (PyRef exception = build_requested(request)) return exception;

  PyRef cause = fetch_exception();
  std::string text = request.message;
  text.append(" (could not construct barometra.errors.")
      .append(request.class_name)
      .append(": ")
      .append(cause ? describe_exception(cause.get(), "<str() failed>") : std::string("unknown error"))
      .append(")");
  PyRef message = new_string(text);
  PyRef fallback;
  if (message) fallback = PyRef::steal(PyObject_CallOneArg(PyExc_RuntimeError, message.get()));
  if (fallback) return fallback;
  // Out of memory even for the fallback: hand back whatever is pending.
  if (PyRef pending = fetch_exception()) return pending;
  PyErr_NoMemory();
  return fetch_exception();
}

PyRef python_validation_error(std::string message) {
  return barometra_python_error(
      {"ValidationError", std::move(message), "validation.invalid_input", {}, {}});
}

PyRef python_unsupported_error(std::string message) {
  return barometra_python_error(
      {"UnsupportedOperationError", std::move(message), "operation.unsupported", {}, {}});
}

PyRef python_configuration_error(std::string message) {
  return barometra_python_error(
      {"ConfigurationError", std::move(message), "configuration.invalid", {}, {}});
}

PyRef to_python_error(const EosError& error) {
  const bool validation = error.category() == ErrorCategory::Validation;
  // The one kind whose Python message differs from its text form: from Python
  // the only invertible range a user meets is that of pressure.
  std::string message = error.kind() == EosErrorKind::OutsideInvertibleRange
                            ? std::string("pressure is outside the invertible expansion range")
                            : error.text();
  return barometra_python_error(
      {validation ? "EosValidationError" : "EosNumericalError", std::move(message), error.code(),
       "eos", error.has_field() ? std::optional(error.field()) : std::nullopt});
}

PyRef to_python_fit_error(const FitError& error) {
  switch (error.kind()) {
    case FitErrorKind::InvalidInput: {
      const std::string_view field = error.field();
      return barometra_python_error(
          {"FitValidationError", std::string(error.message()), "fit.invalid_input", "fit",
           field.empty() ? std::nullopt : std::optional(field), error.index()});
    }
    case FitErrorKind::EvaluationFailed:
      return barometra_python_error(
          {"FitError", std::string(error.message()), "fit.evaluation_failed", "fit", {}});
    case FitErrorKind::Eos: {
      const EosError& eos = *error.eos_error();
      const bool validation = eos.category() == ErrorCategory::Validation;
      return barometra_python_error(
          {validation ? "FitEosValidationError" : "FitEosNumericalError", eos.text(), eos.code(),
           "fit", eos.has_field() ? std::optional(eos.field()) : std::nullopt});
    }
    case FitErrorKind::SingularSystem:
      break;
  }
  return barometra_python_error(
      {"FitNumericalError", "linear system is singular", "fit.singular_system", "fit", {}});
}

PyObject* raise(PyRef exception) noexcept {
  PyObject* object = exception.get();
  PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(object)), object);
  return nullptr;
}

}  // namespace barometra::python
