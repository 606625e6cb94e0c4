// Ownership of Python references, and detaching from the interpreter.
// A PyRef owns exactly one strong reference; borrowed PyObject* never outlive
// the call that received them and never cross a Detached scope.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <unistd.h>

#include <utility>
#if defined(__GLIBCXX__)
#include <cxxabi.h>  // abi::__forced_unwind
#endif

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

namespace detail {

// Runs attach(), which takes the interpreter lock back. On CPython 3.11 to
// 3.13 a thread that does so while the interpreter is finalizing (a daemon
// thread at exit) is ended by pthread_exit, a forced unwind. Unwound through
// our frames it would meet noexcept frames (std::terminate) and destructors
// that release Python references without the lock, so the thread is parked
// here instead until the process ends, which is what CPython 3.14 itself does.
template <class Attach>
decltype(auto) attach_or_park(Attach attach) noexcept {
#if defined(__GLIBCXX__)
  try {
    return attach();
  } catch (abi::__forced_unwind&) {
    for (;;) pause();  // never rethrown: nothing above this frame unwinds
  }
#else
  return attach();
#endif
}

}  // namespace detail

// Detaches the calling thread from the interpreter for the scope (releasing
// the GIL where there is one). Nothing Python may be touched inside it.
class Detached {
 public:
  Detached() noexcept : state_(PyEval_SaveThread()) {}
  ~Detached() {
    detail::attach_or_park([state = state_] { PyEval_RestoreThread(state); });
  }
  Detached(const Detached&) = delete;
  Detached& operator=(const Detached&) = delete;

 private:
  PyThreadState* state_;
};

// Attaches the calling thread, whichever it is, for the scope; a no-op
// nesting when the thread is attached already.
class Attached {
 public:
  Attached() noexcept : state_(detail::attach_or_park([] { return PyGILState_Ensure(); })) {}
  ~Attached() { PyGILState_Release(state_); }
  Attached(const Attached&) = delete;
  Attached& operator=(const Attached&) = delete;

 private:
  PyGILState_STATE state_;
};

}  // namespace barometra::python
