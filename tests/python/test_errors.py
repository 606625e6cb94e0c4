import pickle
import subprocess
import sys

import numpy as np
import pytest

from support import BM3

from barometra import errors
from barometra._engine import RtEos

E = errors
# Class -> (default code, bases it must be catchable as)
CLASSES = {
    "ValidationError": ("validation.invalid_input", (ValueError,)),
    "UnsupportedOperationError": ("operation.unsupported", (NotImplementedError,)),
    "ConfigurationError": ("configuration.invalid", (ValueError,)),
    "EosValidationError": ("eos.invalid_parameter", (ValueError, E.ValidationError)),
    "EosNumericalError": ("eos.non_finite_result", (ArithmeticError,)),
    "FitError": ("fit.evaluation_failed", ()),
    "FitValidationError": ("fit.invalid_input", (ValueError, E.ValidationError, E.FitError)),
    "FitEosValidationError": ("eos.invalid_parameter",
                              (ValueError, E.EosValidationError, E.FitError)),
    "FitEosNumericalError": ("eos.non_finite_result",
                             (ArithmeticError, E.EosNumericalError, E.FitError)),
    "FitNumericalError": ("fit.singular_system", (ArithmeticError, E.FitError)),
}


@pytest.mark.parametrize("name", CLASSES)
def test_exception_class(name):
    assert name in errors.__all__
    cls = getattr(errors, name)
    default_code, bases = CLASSES[name]
    assert all(issubclass(cls, base) for base in (errors.BarometraError, *bases))
    # Numerical failures are not invalid input, and the reverse.
    assert not (issubclass(cls, ValueError) and issubclass(cls, ArithmeticError))
    bare = cls("plain")
    assert (bare.code, bare.operation, bare.field) == (default_code, None, None)
    error = cls("failed", code="x.y", operation="eos", field="V0")
    for copy in (error, pickle.loads(pickle.dumps(error))):
        assert type(copy) is cls and copy.args == ("failed",)
        assert (str(copy), copy.message, copy.code, copy.operation, copy.field) == (
            "failed", "failed", "x.y", "eos", "V0")
    with pytest.raises(TypeError):
        cls("m", "code")  # the keywords are keyword-only


STRONG = RtEos.bm3(10.0, 1e20, 4.0)  # so stiff that no double volume meets 1 GPa


@pytest.mark.parametrize(
    ("call", "cls", "code", "field", "message"),
    [
        (lambda: RtEos.bm3(0.0, 160.0, 4.0), E.EosValidationError, "eos.invalid_parameter",
         "V0", "invalid parameter V0: must be positive and finite"),
        (lambda: BM3.pressure_scalar(-1.0), E.EosValidationError, "eos.invalid_state",
         "volume", "invalid state variable volume: must be positive and finite"),
        (lambda: BM3.volume_scalar(-1e3), E.EosValidationError,
         "eos.outside_invertible_range", None,
         "pressure is outside the invertible expansion range"),
        (lambda: BM3.volume_scalar(1e300), E.EosValidationError, "eos.bracketing_failed",
         None, "failed to bracket a root"),
        (lambda: BM3.volume_array(np.r_[np.full(1500, 5.0), np.full(500, 1e300)]),
         E.EosValidationError, "eos.bracketing_failed", None, "failed to bracket a root"),
        (lambda: STRONG.volume_scalar(1.0), E.EosNumericalError, "eos.convergence_failed",
         None, "numerical solver failed to converge"),
        (lambda: BM3.pressure_scalar(1e-300), E.EosNumericalError, "eos.non_finite_result",
         None, "model returned a non-finite result"),
    ],
)
def test_eos_error_mapping(call, cls, code, field, message):
    with pytest.raises(errors.BarometraError) as info:
        call()
    e = info.value
    assert (type(e), str(e), e.code, e.operation, e.field) == (cls, message, code, "eos", field)


def fallback(message, detail):
    return f"{message} (could not construct barometra.errors.EosValidationError: {detail})"


def test_fallback_when_the_class_returns_a_non_exception(monkeypatch):
    # The module holds the class it looked up when it loaded: its construction is patched.
    monkeypatch.setattr(errors.EosValidationError, "__new__", lambda cls, message, **keywords: 42)
    with pytest.raises(RuntimeError) as info:
        RtEos.bm3(0.0, 1.0, 1.0)
    assert type(info.value) is RuntimeError
    assert str(info.value) == fallback(
        "invalid parameter V0: must be positive and finite",
        "TypeError: barometra.errors.EosValidationError returned int, not an exception")


def test_fallback_when_errors_cannot_be_imported():
    script = """if True:  # a fresh interpreter, so that the import really fails
        import importlib.util, sys, numpy as np, barometra._engine as loaded
        sys.modules['barometra.errors'] = None
        # The module looks the classes up as it loads: load it again, now without them.
        spec = importlib.util.spec_from_file_location("barometra._engine", loaded.__file__)
        engine = importlib.util.module_from_spec(spec)
        spec.loader.exec_module(engine)
        model = engine.RtEos.bm3(10.0, 160.0, 4.0)
        for call in (lambda: engine.RtEos.bm3(0.0, 1.0, 1.0),
                     lambda: model.volume_array(np.full(1000, np.nan))):
            try:
                call()
            except RuntimeError as error:
                print(type(error).__name__, error, sep="|")"""
    lines = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                           timeout=120, check=True).stdout.splitlines()
    detail = "ModuleNotFoundError: import of barometra.errors halted; None in sys.modules"
    assert lines == ["RuntimeError|" + fallback(message, detail) for message in (
        "invalid parameter V0: must be positive and finite",
        "invalid state variable pressure: must be finite")]
