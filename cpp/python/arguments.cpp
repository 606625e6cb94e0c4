#include "arguments.hpp"

#include <new>
#include <string>

#include "py_ref.hpp"

namespace barometra::python {

namespace {

bool keyword_matches(PyObject* keyword, const char* name) noexcept {
  // Keyword names are always str under vectorcall.
  return PyUnicode_CompareWithASCIIString(keyword, name) == 0;
}

}  // namespace

bool parse_arguments(const char* function, std::span<const char* const> names,
                     PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                     PyObject** out) noexcept {
  return parse_arguments(function, names, names.size(), args, nargs, kwnames, out);
}

bool parse_arguments(const char* function, std::span<const char* const> names,
                     std::size_t required, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames, PyObject** out) noexcept {
  const auto count = static_cast<Py_ssize_t>(names.size());
  if (nargs == count && kwnames == nullptr) {
    for (Py_ssize_t i = 0; i < count; ++i) out[i] = args[i];
    return true;
  }
  if (nargs > count) {
    PyErr_Format(PyExc_TypeError, "%s() takes at most %zd argument%s (%zd given)", function,
                 count, count == 1 ? "" : "s", nargs);
    return false;
  }
  for (Py_ssize_t i = 0; i < count; ++i) out[i] = i < nargs ? args[i] : nullptr;

  const Py_ssize_t nkw = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
  for (Py_ssize_t k = 0; k < nkw; ++k) {
    PyObject* keyword = PyTuple_GET_ITEM(kwnames, k);
    Py_ssize_t slot = 0;
    for (const char* name : names) {
      if (keyword_matches(keyword, name)) break;
      ++slot;
    }
    if (slot == count) {
      PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", function,
                   keyword);
      return false;
    }
    if (out[slot] != nullptr) {
      PyErr_Format(PyExc_TypeError,
                   "argument for %s() given by name ('%s') and position (%zd)", function,
                   names[slot], slot + 1);
      return false;
    }
    out[slot] = args[nargs + k];
  }
  for (Py_ssize_t i = 0; i < static_cast<Py_ssize_t>(required); ++i) {
    if (out[i] == nullptr) {
      PyErr_Format(PyExc_TypeError, "%s() missing required argument '%s' (pos %zd)", function,
                   names[i], i + 1);
      return false;
    }
  }
  return true;
}

bool parse_double(PyObject* object, const char* function, const char* name,
                  double* out) noexcept {
  if (PyFloat_CheckExact(object)) {
    *out = PyFloat_AS_DOUBLE(object);
    return true;
  }
  const PyNumberMethods* number = Py_TYPE(object)->tp_as_number;
  if (!PyFloat_Check(object) &&
      (number == nullptr || (number->nb_float == nullptr && number->nb_index == nullptr))) {
    PyErr_Format(PyExc_TypeError, "%s() argument '%s' must be a real number, not %.200s",
                 function, name, Py_TYPE(object)->tp_name);
    return false;
  }
  const double value = PyFloat_AsDouble(object);
  if (value == -1.0 && PyErr_Occurred()) return false;
  *out = value;
  return true;
}

bool parse_str(PyObject* object, const char* function, const char* name,
               std::string_view* out) noexcept {
  if (!PyUnicode_Check(object)) {
    PyErr_Format(PyExc_TypeError, "%s() argument '%s' must be str, not %.200s", function, name,
                 Py_TYPE(object)->tp_name);
    return false;
  }
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(object, &size);
  if (data == nullptr) return false;
  *out = std::string_view(data, static_cast<std::size_t>(size));
  return true;
}

bool parse_name(PyObject* object, const char* function, const char* name,
                std::string_view* out) noexcept {
  if (parse_str(object, function, name, out)) return true;
  if (!PyErr_ExceptionMatches(PyExc_UnicodeEncodeError)) return false;
  PyErr_Clear();
  *out = {};
  return true;
}

bool parse_float64_array(PyObject* object, const char* function, const char* name,
                         PyArrayObject** out) noexcept {
  if (!PyArray_Check(object)) {
    PyErr_Format(PyExc_TypeError,
                 "%s() argument '%s' must be a numpy.ndarray of dtype float64, not %.200s",
                 function, name, Py_TYPE(object)->tp_name);
    return false;
  }
  auto* array = reinterpret_cast<PyArrayObject*>(object);
  // A byte-swapped '>f8' array is not float64 to NumPy either (np.dtype('>f8')
  // != np.float64 on little-endian machines), and reading it raw would be wrong.
  if (PyArray_TYPE(array) != NPY_DOUBLE || !PyArray_ISNOTSWAPPED(array)) {
    PyErr_Format(PyExc_TypeError,
                 "%s() argument '%s' must be a numpy.ndarray of dtype float64, "
                 "not numpy.ndarray of dtype %S",
                 function, name, reinterpret_cast<PyObject*>(PyArray_DESCR(array)));
    return false;
  }
  *out = array;
  return true;
}

bool parse_optional_float64_array(PyObject* object, const char* function, const char* name,
                                  PyArrayObject** out) noexcept {
  if (object == Py_None) {
    *out = nullptr;
    return true;
  }
  return parse_float64_array(object, function, name, out);
}

bool parse_str_sequence(PyObject* object, const char* function, const char* name,
                        std::vector<std::string>* out) noexcept {
  if (PyUnicode_Check(object) || !PySequence_Check(object)) {
    PyErr_Format(PyExc_TypeError, "%s() argument '%s' must be a sequence of str, not %.200s",
                 function, name, Py_TYPE(object)->tp_name);
    return false;
  }
  // A snapshot: another thread may change a list while it is read.
  PyRef items = PyRef::steal(PySequence_Tuple(object));
  if (!items) return false;
  try {
    out->clear();
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(items.get()); ++i) {
      PyObject* item = PyTuple_GET_ITEM(items.get(), i);
      if (!PyUnicode_Check(item)) {
        PyErr_Format(PyExc_TypeError, "%s() argument '%s' must contain only str, not %.200s",
                     function, name, Py_TYPE(item)->tp_name);
        return false;
      }
      Py_ssize_t size = 0;
      const char* data = PyUnicode_AsUTF8AndSize(item, &size);
      if (data == nullptr) return false;
      out->emplace_back(data, static_cast<std::size_t>(size));
    }
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
    return false;
  }
  return true;
}

bool parse_optional_count(PyObject* object, const char* function, const char* name,
                          std::optional<std::uint64_t>* out) noexcept {
  if (object == Py_None) {
    out->reset();
    return true;
  }
  const PyNumberMethods* number = Py_TYPE(object)->tp_as_number;
  if (!PyLong_Check(object) && (number == nullptr || number->nb_index == nullptr)) {
    PyErr_Format(PyExc_TypeError, "%s() argument '%s' must be None or an integer, not %.200s",
                 function, name, Py_TYPE(object)->tp_name);
    return false;
  }
  PyRef index = PyRef::steal(PyNumber_Index(object));
  if (!index) return false;
  const unsigned long long value = PyLong_AsUnsignedLongLong(index.get());
  if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
    if (!PyErr_ExceptionMatches(PyExc_OverflowError)) return false;
    PyErr_Clear();
    PyErr_Format(PyExc_ValueError, "%s() argument '%s' must be a non-negative integer below 2**64",
                 function, name);
    return false;
  }
  *out = static_cast<std::uint64_t>(value);
  return true;
}

bool parse_bool(PyObject* object, const char* function, const char* name, bool* out) noexcept {
  if (PyBool_Check(object) || PyArray_IsScalar(object, Bool)) {
    *out = PyObject_IsTrue(object) == 1;
    return true;
  }
  PyErr_Format(PyExc_TypeError, "%s() argument '%s' must be bool, not %.200s", function, name,
               Py_TYPE(object)->tp_name);
  return false;
}

}  // namespace barometra::python
