"""Exception classes raised by barometra.

Every class carries the stable ``code`` of the failure (for example
``"eos.invalid_parameter"``), the ``operation`` that failed (``"eos"``,
``"fit"`` or ``None``), the ``field`` it concerns (a parameter or state
variable such as ``"V0"`` or ``"volume"``, an input such as
``"pressure_sigma"``, or ``None``) and the ``index`` of the element of that
field at fault (a row of the data, or ``None``).

The hierarchy lets callers catch failures the way Python code usually does::

    BarometraError                                   (Exception)
    +-- ValidationError                              (ValueError)
    |   +-- EosValidationError
    |   +-- DataFileError
    +-- ConfigurationError                           (ValueError)
    +-- UnsupportedOperationError                    (NotImplementedError)
    +-- EosNumericalError                            (ArithmeticError)
    +-- FitError                                     fit base
        +-- FitValidationError                       (ValidationError)
        +-- FitEosValidationError                    (EosValidationError)
        +-- FitEosNumericalError                     (EosNumericalError)
        +-- FitNumericalError                        (ArithmeticError)

So ``except ValueError`` catches every invalid input, ``except
ArithmeticError`` every numerical failure, ``except EosValidationError`` an
invalid EOS state whether it came from an evaluation or from inside a fit, and
``except FitError`` anything a fit raised.
"""

from __future__ import annotations

from typing import Any

__all__ = [
    "BarometraError",
    "ValidationError",
    "UnsupportedOperationError",
    "ConfigurationError",
    "EosValidationError",
    "EosNumericalError",
    "DataFileError",
    "FitError",
    "FitValidationError",
    "FitEosValidationError",
    "FitEosNumericalError",
    "FitNumericalError",
    "FitConvergenceWarning",
    "FitQualityWarning",
]


class BarometraError(Exception):
    """Base of every barometra exception.

    Takes one positional ``message`` and the keywords ``code``, ``operation``,
    ``field`` and ``index``, all kept as attributes. A ``code`` left out takes
    the class's ``default_code``.
    """

    default_code: str = "barometra.error"

    def __init__(
        self,
        message: str = "",
        *,
        code: str | None = None,
        operation: str | None = None,
        field: str | None = None,
        index: int | None = None,
    ) -> None:
        super().__init__(message)
        self.message = message
        self.code = self.default_code if code is None else code
        self.operation = operation
        self.field = field
        self.index = index


class ValidationError(BarometraError, ValueError):
    """Invalid input rejected before evaluation; a :class:`ValueError`."""

    default_code = "validation.invalid_input"


class UnsupportedOperationError(BarometraError, NotImplementedError):
    """The model does not provide this operation; a :class:`NotImplementedError`."""

    default_code = "operation.unsupported"


class ConfigurationError(BarometraError, ValueError):
    """Models combined in a way that is not supported; a :class:`ValueError`."""

    default_code = "configuration.invalid"


class EosValidationError(ValidationError):
    """An EOS parameter or state is invalid, or a pressure cannot be inverted.

    A :class:`ValidationError` and so a :class:`ValueError`.
    """

    default_code = "eos.invalid_parameter"


class DataFileError(ValidationError):
    """A data file that cannot be read; a :class:`ValidationError`.

    Besides ``field`` (the column concerned, or ``None``) it carries the
    ``path`` of the file and the 1-based ``line`` of the fault.
    """

    default_code = "data.invalid_file"

    def __init__(
        self, message: str = "", *, path: str | None = None, line: int | None = None,
        **keywords: Any,
    ) -> None:
        super().__init__(message, **keywords)
        self.path = path
        self.line = line


class EosNumericalError(BarometraError, ArithmeticError):
    """An EOS evaluation failed numerically; an :class:`ArithmeticError`."""

    default_code = "eos.non_finite_result"


class FitError(BarometraError):
    """Base of every fitting failure; raised itself when evaluating residuals fails."""

    default_code = "fit.evaluation_failed"


class FitValidationError(FitError, ValidationError):
    """Invalid fit input; a :class:`FitError` and a :class:`ValidationError`."""

    default_code = "fit.invalid_input"


class FitEosValidationError(FitError, EosValidationError):
    """An EOS validation failure met during a fit.

    A :class:`FitError` and an :class:`EosValidationError`.
    """

    default_code = "eos.invalid_parameter"


class FitEosNumericalError(FitError, EosNumericalError):
    """An EOS numerical failure met during a fit.

    A :class:`FitError` and an :class:`EosNumericalError`.
    """

    default_code = "eos.non_finite_result"


class FitNumericalError(FitError, ArithmeticError):
    """A linear system of the fit was singular; a :class:`FitError` and an :class:`ArithmeticError`."""

    default_code = "fit.singular_system"


class FitConvergenceWarning(UserWarning):
    """A fit stopped without converging; its result says so (``converged`` is False).

    Turn it into an error with ``warnings.simplefilter("error", FitConvergenceWarning)``.
    """


class FitQualityWarning(UserWarning):
    """A fit whose numbers need a second look; its result says so too.

    Raised when the data do not determine a varied parameter (its standard
    error is NaN), when the misfit is implausibly large (reduced chi-square
    above 1e4: units, starting values, a missing parameter?) or when a
    fitted value sits at one of its bounds. The message says which and what
    to check; the result keeps the same text in ``warnings`` and its summary
    repeats it on a line starting with ``WARNING``. Turn it into an error
    with ``warnings.simplefilter("error", FitQualityWarning)``.
    """
