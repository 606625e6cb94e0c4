"""The module frame: import, registration, classes that cannot be called."""

from __future__ import annotations

import subprocess
import sys
import sysconfig

import pytest

from barometra import _engine
from barometra._engine import RtEos


def test_imports_in_a_fresh_isolated_interpreter():
    # -I: no user site, no current directory, no PYTHON* variables.
    completed = subprocess.run(
        [sys.executable, "-I", "-c",
         "import barometra._engine as e; print(e.__name__, e.__all__)"],
        capture_output=True, text=True, timeout=120, check=True)
    assert completed.stdout.strip() == (
        "barometra._engine ['RtEos', 'holzapfel_derivative_analytical']")


def test_registration_order_and_documentation():
    assert _engine.__all__ == ["RtEos", "holzapfel_derivative_analytical"]
    assert _engine.__doc__ == ""
    assert RtEos.__doc__ == "Private native representation of a built-in isothermal EOS."
    assert RtEos.__module__ == "barometra._engine"
    assert RtEos.__qualname__ == "RtEos"
    assert _engine.holzapfel_derivative_analytical.__module__ == "barometra._engine"


def test_class_cannot_be_called_or_subclassed():
    with pytest.raises(TypeError, match="cannot create 'barometra._engine.RtEos' instances"):
        RtEos()
    with pytest.raises(TypeError):
        RtEos.__new__(RtEos)
    with pytest.raises(TypeError):
        type("Sub", (RtEos,), {})


def test_instances_and_class_are_immutable(bm3):
    with pytest.raises(AttributeError):
        bm3.model_name = "Vinet"
    with pytest.raises(AttributeError):
        bm3.anything = 1
    with pytest.raises(TypeError):
        RtEos.pressure_scalar = None
    assert bm3.model_name == "BM3"


@pytest.mark.skipif(not sysconfig.get_config_var("Py_GIL_DISABLED"),
                    reason="only a free-threaded interpreter can run without the GIL")
def test_importing_does_not_turn_the_gil_on():
    # A free-threaded interpreter re-enables the GIL when it imports a module
    # that does not declare it unused.
    script = ("import sys; before = sys._is_gil_enabled(); import barometra._engine; "
              "print(before == sys._is_gil_enabled())")
    completed = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                               timeout=120, check=True)
    assert completed.stdout.strip() == "True"
