// Ownership of Python references, and detaching from the interpreter.
// A PyRef owns exactly one strong reference; borrowed PyObject* never outlive
// the call that received them and never cross a Detached scope.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

namespace barometra::python {

class PyRef {
 public:
  PyRef() noexcept = default;
  // Takes over a new reference (which may be null after a failed call).
  static PyRef steal(PyObject* object) noexcept { return PyRef(object); }
  // Adds a reference to a borrowed object.
  static PyRef borrow(PyObject* object) noexcept {
    Py_XINCREF(object);
    return PyRef(object);
  }

  PyRef(const PyRef&) = delete;
  PyRef& operator=(const PyRef&) = delete;
  PyRef(PyRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  PyRef& operator=(PyRef&& other) noexcept {
    if (this != &other) {
      PyObject* old = std::exchange(object_, std::exchange(other.object_, nullptr));
      Py_XDECREF(old);
    }
    return *this;
  }
  ~PyRef() { Py_XDECREF(object_); }

  PyObject* get() const noexcept { return object_; }
  explicit operator bool() const noexcept { return object_ != nullptr; }
  // Hands the reference to the caller, e.g. as a function's return value.
  [[nodiscard]] PyObject* release() noexcept { return std::exchange(object_, nullptr); }

 private:
  explicit PyRef(PyObject* object) noexcept : object_(object) {}
  PyObject* object_ = nullptr;
};

// Detaches the calling thread from the interpreter for the scope (releasing
// the GIL where there is one). Nothing Python may be touched inside it.
class Detached {
 public:
  Detached() noexcept : state_(PyEval_SaveThread()) {}
  ~Detached() { PyEval_RestoreThread(state_); }
  Detached(const Detached&) = delete;
  Detached& operator=(const Detached&) = delete;

 private:
  PyThreadState* state_;
};

// Attaches the calling thread, whichever it is, for the scope; a no-op
// nesting when the thread is attached already.
class Attached {
 public:
  Attached() noexcept : state_(PyGILState_Ensure()) {}
  ~Attached() { PyGILState_Release(state_); }
  Attached(const Attached&) = delete;
  Attached& operator=(const Attached&) = delete;

 private:
  PyGILState_STATE state_;
};

}  // namespace barometra::python
