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


def real_parameter(owner: str, name: str, value: object) -> float:
    """``value`` as a float, for a real number only: a string is refused, not parsed."""
    if type(value) is float:
        return value
    if (
        isinstance(value, (str, bytes))
        or (isinstance(value, np.ndarray) and value.ndim != 0)
        or not hasattr(value, "__float__") and not hasattr(value, "__index__")
    ):
        raise TypeError(f"{owner}() parameter {name!r} must be a real number, "
                        f"not {type(value).__name__}")
    return float(value)  # type: ignore[arg-type]


def _describe(values: object, array: npt.NDArray[Any]) -> str:
    if array.ndim == 0 and array.dtype.kind in "OUS":
        return type(values).__name__
    return f"an array of dtype {array.dtype}"


def evaluate(
    scalar: Callable[..., float],
    array: Callable[..., FloatArray],
    values: tuple[npt.ArrayLike, ...],
    names: tuple[str, ...],
    before: tuple[Any, ...] = (),
    after: tuple[Any, ...] = (),
) -> float | FloatArray:
    """One engine method pair over one or two state values of any kind, called
    as ``scalar(*before, *values, *after)`` (``array`` likewise).

    Two values broadcast against each other with NumPy's rules; the result
    is a float when they are all scalars (0-d input included, as NumPy's
    ufuncs give), an array of the broadcast shape otherwise.
    """
    # Written out for one and for two values: this runs on every call.
    first = values[0]
    if type(first) is not np.ndarray or first.dtype is not _FLOAT64:
        first = as_float64_array(first, names[0])
    if len(values) == 1:
        if not first.ndim:
            return scalar(*before, float(first), *after)
        return array(*before, first, *after)
    second = values[1]
    if type(second) is not np.ndarray or second.dtype is not _FLOAT64:
        second = as_float64_array(second, names[1])
    if first.shape != second.shape:
        try:
            first, second = np.broadcast_arrays(first, second)  # views: nothing is copied
        except ValueError:
            raise ValueError(f"{names[0]} of shape {first.shape} and {names[1]} of shape "
                             f"{second.shape} do not broadcast together") from None
    elif not first.ndim:
        return scalar(*before, float(first), float(second), *after)
    return array(*before, first, second, *after)
