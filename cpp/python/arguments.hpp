// Argument parsing for METH_FASTCALL | METH_KEYWORDS callables. Every
// parameter may be passed by position or by name; errors are TypeErrors that
// name the function and the argument, as CPython's own do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "numpy_api.hpp"

namespace barometra::python {

// Fills out[i] (borrowed) with the argument for names[i]. Returns false with
// a TypeError set on a missing, surplus, duplicate or unknown argument.
bool parse_arguments(const char* function, std::span<const char* const> names,
                     PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                     PyObject** out) noexcept;
// The same, with only the first `required` parameters required; out[i] of an
// omitted one is null (the caller applies its default).
bool parse_arguments(const char* function, std::span<const char* const> names,
                     std::size_t required, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames, PyObject** out) noexcept;

// Ordinary Python float conversion: floats, ints and objects with __float__ or
// __index__. Anything else is a TypeError naming the argument; errors raised
// by the conversion itself (an OverflowError, a failing __float__) pass through.
bool parse_double(PyObject* object, const char* function, const char* name,
                  double* out) noexcept;

// A str (or subclass), read as UTF-8; the view lives as long as the object.
// Anything else is a TypeError naming the argument. A str with no UTF-8 form
// (lone surrogates) raises UnicodeEncodeError.
bool parse_str(PyObject* object, const char* function, const char* name,
               std::string_view* out) noexcept;
// As parse_str, except that a str with no UTF-8 form reads as the empty
// string: for option and quantity names, where it names nothing.
bool parse_name(PyObject* object, const char* function, const char* name,
                std::string_view* out) noexcept;

// A numpy.ndarray (or subclass) whose dtype is native-endian float64; no
// conversion of any kind. Anything else is a TypeError naming the argument.
bool parse_float64_array(PyObject* object, const char* function, const char* name,
                         PyArrayObject** out) noexcept;
// None (null) or a float64 array as above.
bool parse_optional_float64_array(PyObject* object, const char* function, const char* name,
                                  PyArrayObject** out) noexcept;

// A sequence (list, tuple, ...) of str, copied as UTF-8 strings. A str is
// refused rather than split into characters; so is anything that is not a
// sequence, or an item that is not a str (TypeErrors naming the argument).
bool parse_str_sequence(PyObject* object, const char* function, const char* name,
                        std::vector<std::string>* out) noexcept;

// None (nothing) or a non-negative integer (int or __index__). A negative or
// too large integer is a ValueError naming the argument.
bool parse_optional_count(PyObject* object, const char* function, const char* name,
                          std::optional<std::uint64_t>* out) noexcept;
// True or False (Python or NumPy booleans); nothing else.
bool parse_bool(PyObject* object, const char* function, const char* name, bool* out) noexcept;

}  // namespace barometra::python
