"""The exception classes and how core errors become them."""

from __future__ import annotations

import pickle
import subprocess
import sys
import textwrap

import numpy as np
import pytest

from barometra import errors
from barometra._engine import RtEos

# Class -> (default code, built-in bases it must be catchable as)
CLASSES = {
    "ValidationError": ("validation.invalid_input", (ValueError,)),
    "UnsupportedOperationError": ("operation.unsupported", (NotImplementedError,)),
    "ConfigurationError": ("configuration.invalid", (ValueError,)),
    "EosValidationError": ("eos.invalid_parameter", (ValueError, errors.ValidationError)),
    "EosNumericalError": ("eos.non_finite_result", (ArithmeticError,)),
    "FitValidationError": ("fit.invalid_input",
                           (ValueError, errors.ValidationError, errors.FitError)),
    "FitError": ("fit.evaluation_failed", ()),
    "FitEosValidationError": ("eos.invalid_parameter",
                              (ValueError, errors.EosValidationError, errors.FitError)),
    "FitEosNumericalError": ("eos.non_finite_result",
                             (ArithmeticError, errors.EosNumericalError, errors.FitError)),
    "FitNumericalError": ("fit.singular_system", (ArithmeticError, errors.FitError)),
}


class TestExceptionClasses:
    @pytest.mark.parametrize("name", CLASSES)
    def test_message_and_keywords_are_kept(self, name):
        cls = getattr(errors, name)
        error = cls("something failed", code="x.y", operation="eos", field="V0")
        assert (str(error), error.message, error.code, error.operation, error.field) == (
            "something failed", "something failed", "x.y", "eos", "V0")
        assert error.args == ("something failed",)
        bare = cls("plain")
        assert (bare.code, bare.operation, bare.field) == (CLASSES[name][0], None, None)

    @pytest.mark.parametrize("name", CLASSES)
    def test_hierarchy(self, name):
        cls = getattr(errors, name)
        assert issubclass(cls, errors.BarometraError)
        for base in CLASSES[name][1]:
            assert issubclass(cls, base), base
        # Numerical failures are not invalid input, and the reverse.
        assert not (issubclass(cls, ValueError) and issubclass(cls, ArithmeticError))

    @pytest.mark.parametrize("name", CLASSES)
    def test_pickle_round_trip_keeps_attributes(self, name):
        error = getattr(errors, name)("m", code="c", operation="fit", field="K0")
        copy = pickle.loads(pickle.dumps(error))
        assert type(copy) is type(error)
        assert (str(copy), copy.code, copy.operation, copy.field) == ("m", "c", "fit", "K0")

    def test_keywords_are_keyword_only(self):
        with pytest.raises(TypeError):
            errors.ValidationError("m", "code")

    def test_all_lists_every_class(self):
        assert set(CLASSES) | {"BarometraError"} == set(errors.__all__)


STRONG = RtEos.bm3(10.0, 1e20, 4.0)  # so stiff that no double volume meets 1 GPa


@pytest.mark.parametrize(
    ("call", "cls", "code", "field", "message"),
    [
        (lambda m: RtEos.bm3(0.0, 160.0, 4.0), errors.EosValidationError,
         "eos.invalid_parameter", "V0", "invalid parameter V0: must be positive and finite"),
        (lambda m: m.pressure_scalar(-1.0), errors.EosValidationError, "eos.invalid_state",
         "volume", "invalid state variable volume: must be positive and finite"),
        (lambda m: m.volume_scalar(-1e3), errors.EosValidationError,
         "eos.outside_invertible_range", None,
         "pressure is outside the invertible expansion range"),
        (lambda m: m.volume_scalar(1e300), errors.EosValidationError, "eos.bracketing_failed",
         None, "failed to bracket a root"),
        (lambda m: STRONG.volume_scalar(1.0), errors.EosNumericalError, "eos.convergence_failed",
         None, "numerical solver failed to converge"),
        (lambda m: m.pressure_scalar(1e-300), errors.EosNumericalError, "eos.non_finite_result",
         None, "model returned a non-finite result"),
    ],
    ids=["invalid_parameter", "invalid_state", "outside_invertible_range", "bracketing_failed",
         "convergence_failed", "non_finite_result"],
)
def test_eos_error_mapping(bm3, call, cls, code, field, message):
    with pytest.raises(errors.BarometraError) as info:
        call(bm3)
    error = info.value
    assert type(error) is cls
    assert (str(error), error.code, error.operation, error.field) == (message, code, "eos", field)


def test_array_errors_map_the_same_way_on_the_parallel_path(bm3):
    pressures = np.full(2000, 5.0)
    pressures[1500] = 1e300
    with pytest.raises(errors.EosValidationError) as info:
        bm3.volume_array(pressures)
    assert (str(info.value), info.value.code, info.value.operation, info.value.field) == (
        "failed to bracket a root", "eos.bracketing_failed", "eos", None)


class TestFallbackWhenClassesCannotBeBuilt:
    MESSAGE = "invalid parameter V0: must be positive and finite"

    def expect_fallback(self, call, detail):
        with pytest.raises(RuntimeError) as info:
            call()
        assert type(info.value) is RuntimeError
        assert str(info.value) == (
            f"{self.MESSAGE} (could not construct barometra.errors.EosValidationError: {detail})")

    def test_missing_class(self, monkeypatch):
        monkeypatch.delattr(errors, "EosValidationError")
        self.expect_fallback(
            lambda: RtEos.bm3(0.0, 1.0, 1.0),
            "AttributeError: module 'barometra.errors' has no attribute 'EosValidationError'")

    def test_class_that_raises(self, monkeypatch):
        def broken(message, **keywords):
            raise LookupError("no such code")

        monkeypatch.setattr(errors, "EosValidationError", broken)
        self.expect_fallback(lambda: RtEos.bm3(0.0, 1.0, 1.0), "LookupError: no such code")

    def test_class_that_returns_a_non_exception(self, monkeypatch):
        monkeypatch.setattr(errors, "EosValidationError", lambda message, **keywords: 42)
        self.expect_fallback(
            lambda: RtEos.bm3(0.0, 1.0, 1.0),
            "TypeError: barometra.errors.EosValidationError returned int, not an exception")

    def test_keywords_reach_the_class_in_order(self, monkeypatch):
        seen = []

        def recording(message, **keywords):
            seen.append((message, list(keywords.items())))
            return ValueError(message)

        monkeypatch.setattr(errors, "EosValidationError", recording)
        with pytest.raises(ValueError):
            RtEos.bm3(0.0, 1.0, 1.0)
        assert seen == [(self.MESSAGE,
                         [("code", "eos.invalid_parameter"), ("operation", "eos"),
                          ("field", "V0")])]

    @pytest.mark.parametrize(
        ("blocker", "detail"),
        [
            ("sys.modules['barometra.errors'] = None",
             "ModuleNotFoundError: import of barometra.errors halted; None in sys.modules"),
            (textwrap.dedent("""
                class Blocker:
                    def find_spec(self, name, path=None, target=None):
                        if name == 'barometra.errors':
                            raise ImportError('errors module blocked')
                sys.meta_path.insert(0, Blocker())
                sys.modules.pop('barometra.errors', None)
             """), "ImportError: errors module blocked"),
        ],
        ids=["none-in-sys-modules", "meta-path-hook"],
    )
    def test_import_failure(self, blocker, detail):
        # In a fresh interpreter, so that the failing import is real.
        script = textwrap.dedent("""
            import sys
            import numpy as np
            import barometra._engine as engine
            {blocker}
            model = engine.RtEos.bm3(10.0, 160.0, 4.0)
            for call in (lambda: engine.RtEos.bm3(0.0, 1.0, 1.0),
                         lambda: model.volume_array(np.full(1000, np.nan))):
                try:
                    call()
                except RuntimeError as error:
                    print(type(error).__name__, str(error), sep="|")
        """).format(blocker=blocker)
        completed = subprocess.run([sys.executable, "-c", script], capture_output=True,
                                   text=True, timeout=120, check=True)
        lines = completed.stdout.splitlines()
        nan = "invalid state variable pressure: must be finite"
        assert lines == [
            f"RuntimeError|{self.MESSAGE} (could not construct "
            f"barometra.errors.EosValidationError: {detail})",
            f"RuntimeError|{nan} (could not construct "
            f"barometra.errors.EosValidationError: {detail})",
        ]
