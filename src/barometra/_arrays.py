"""Conversion of user input to what the engine's array methods accept.

The engine takes Python floats and ``float64`` ndarrays only; everything else
a user may pass (ints, NumPy scalars, lists, arrays of other real dtypes) is
converted here, once, and anything that is not real numbers is refused
instead of being parsed (NumPy would turn the string ``"9"`` into 9.0).
"""

from __future__ import annotations

from collections.abc import Callable
from typing import Any

import numpy as np
import numpy.typing as npt

FloatArray = npt.NDArray[np.float64]

_FLOAT64 = np.dtype(np.float64)  # native byte order; others compare unequal by identity

# Booleans, signed and unsigned integers, floats.
_REAL_KINDS = frozenset("biuf")


def as_float64_array(values: npt.ArrayLike, name: str) -> FloatArray:
    """``values`` as a ``float64`` array, without a copy when it already is one.

    Raises ``TypeError`` naming ``name`` for anything but real numbers.
    """
    array = np.asarray(values)
    if array.dtype.kind not in _REAL_KINDS:
        raise TypeError(
            f"{name} must be a real number or an array of real numbers, "
            f"not {_describe(values, array)}"
        )
    return array.astype(np.float64, copy=False)


def _describe(values: object, array: npt.NDArray[Any]) -> str:
    if array.ndim == 0 and array.dtype.kind in "OUS":
        return type(values).__name__
    return f"an array of dtype {array.dtype}"


def evaluate(
    scalar: Callable[[float], float],
    array: Callable[[FloatArray], FloatArray],
    values: npt.ArrayLike,
    name: str,
) -> float | FloatArray:
    """One engine method pair over any input: a float for a scalar (0-d
    input included, as NumPy's ufuncs give), an array of the input's shape
    otherwise."""
    if type(values) is np.ndarray and values.dtype is _FLOAT64 and values.ndim:
        return array(values)  # what the engine takes as it is
    converted = as_float64_array(values, name)
    if converted.ndim == 0:
        return scalar(float(converted))
    return array(converted)


def evaluate_pair(
    scalar: Callable[[str, float, float], float],
    array: Callable[[str, FloatArray, FloatArray], FloatArray],
    quantity: str,
    first: npt.ArrayLike,
    second: npt.ArrayLike,
    names: tuple[str, str],
) -> float | FloatArray:
    """One engine quantity of two inputs, broadcast against each other with
    NumPy's rules: a float when both are scalars, an array of the broadcast
    shape otherwise."""
    a = first if type(first) is np.ndarray and first.dtype is _FLOAT64 \
        else as_float64_array(first, names[0])
    b = second if type(second) is np.ndarray and second.dtype is _FLOAT64 \
        else as_float64_array(second, names[1])
    if a.shape != b.shape:
        try:
            a, b = np.broadcast_arrays(a, b)  # read-only views: nothing is copied
        except ValueError:
            raise ValueError(f"{names[0]} of shape {a.shape} and {names[1]} of shape "
                             f"{b.shape} do not broadcast together") from None
    elif not a.ndim:
        return scalar(quantity, float(a), float(b))
    return array(quantity, a, b)
