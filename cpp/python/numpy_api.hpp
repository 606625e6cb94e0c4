// The one way this module includes NumPy's C API. The API table is imported
// once, by module.cpp (which defines BAROMETRA_IMPORT_NUMPY); every other
// translation unit shares it through the unique symbol.
#pragma once

#include "py_ref.hpp"

#define NPY_NO_DEPRECATED_API NPY_1_25_API_VERSION
#define PY_ARRAY_UNIQUE_SYMBOL barometra_engine_ARRAY_API
#ifndef BAROMETRA_IMPORT_NUMPY
#define NO_IMPORT_ARRAY
#endif
#include <numpy/arrayobject.h>
