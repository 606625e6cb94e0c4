// The one place where failures become Python exceptions: core error values
// (EosError, FitError) and the module's own input errors are described as an
// ExceptionRequest and built as an instance of a barometra.errors class.
#pragma once

#include <array>
#include <cstddef>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "barometra/error.hpp"
#include "py_ref.hpp"

namespace barometra::python {

struct ExceptionRequest {
  std::string_view class_name;  // an attribute of barometra.errors
  std::string message;
  std::string_view code;
  std::optional<std::string_view> operation;  // "eos" or "fit"
  std::optional<std::string_view> field;
  std::optional<std::size_t> index;  // the element of `field` at fault
};

// The classes the module raises, looked up once when it loads.
inline constexpr std::array<std::string_view, 10> kErrorClassNames{
    "ValidationError",   "UnsupportedOperationError", "ConfigurationError",
    "EosValidationError", "EosNumericalError",        "FitError",
    "FitValidationError", "FitEosValidationError",    "FitEosNumericalError",
    "FitNumericalError"};
using ErrorClasses = std::array<PyObject*, kErrorClassNames.size()>;

// Looks the classes up in barometra.errors. One that cannot be found stays
// null, and building its exception then imports it by name, which reports
// why. Never fails: a missing barometra.errors must not stop the import.
void load_error_classes(ErrorClasses& classes) noexcept;

// Each returns an exception object ready to be raised; never null. If the
// barometra.errors class cannot be found or called, the result is a
// RuntimeError that still carries the request's message.
PyRef barometra_python_error(const ExceptionRequest& request);
PyRef python_validation_error(std::string message);
PyRef python_unsupported_error(std::string message);
PyRef python_configuration_error(std::string message);
PyRef to_python_error(const EosError& error);
PyRef to_python_fit_error(const FitError& error);

// Lets the array maps convert whichever error type their element function reports.
inline PyRef to_exception(const EosError& error) { return to_python_error(error); }
inline PyRef to_exception(const ExceptionRequest& request) {
  return barometra_python_error(request);
}

// Takes the current exception (normalised) out of the thread state; null if none.
PyRef fetch_exception() noexcept;
// "ValueError: text": the type's __name__, ": " and str(exception), or
// `str_failed` in place of the text when str() itself fails.
std::string describe_exception(PyObject* exception, std::string_view str_failed);

// Sets `exception` as the current error; returns null for `return raise(...)`.
PyObject* raise(PyRef exception) noexcept;
inline PyObject* raise_eos_error(const EosError& error) { return raise(to_python_error(error)); }
inline PyObject* raise_fit_error(const FitError& error) { return raise(to_python_fit_error(error)); }

// Runs a callable's body so that no C++ exception reaches CPython:
// std::bad_alloc becomes MemoryError, anything else a RuntimeError.
template <class Body>
PyObject* guarded(Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  } catch (const std::exception& error) {
    PyErr_Format(PyExc_RuntimeError, "barometra._engine internal error: %s", error.what());
    return nullptr;
  } catch (...) {
    PyErr_SetString(PyExc_RuntimeError, "barometra._engine internal error");
    return nullptr;
  }
}

// guarded for a body that returns a status: 0, or -1 with an error set.
template <class Body>
int guarded_status(Body&& body) noexcept {
  int status = -1;
  guarded([&]() -> PyObject* {
    status = body();
    return Py_None;  // borrowed: only tested against null
  });
  return status;
}

}  // namespace barometra::python
