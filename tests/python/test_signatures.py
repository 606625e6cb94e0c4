"""Text signatures: every callable publishes one, and the published names are
the names the argument parser accepts."""

from __future__ import annotations

import inspect

import numpy as np
import pytest

from barometra import _engine
from barometra._engine import RtEos

CONSTRUCTORS = {
    "baonza": "(v0, k0, k0_prime)",
    "density_polynomial_3": "(v0, rho0, c0, c1, c2, c3)",
    "bm2": "(v0, k0)",
    "bm3": "(v0, k0, k0_prime)",
    "bm4": "(v0, k0, k0_prime, k0_double_prime)",
    "morse3": "(v0, k0, k0_prime)",
    "murnaghan": "(v0, k0, k0_prime)",
    "second_order_murnaghan": "(v0, k0, k0_prime, k0_double_prime, p0)",
    "modified_tait": "(v0, k0, k0_prime, k0_double_prime)",
    "natural_strain2": "(v0, k0)",
    "natural_strain3": "(v0, k0, k0_prime)",
    "natural_strain4": "(v0, k0, k0_prime, k0_double_prime)",
    "rydberg_stacey": "(v0, k0, k0_prime, k_infinity_prime)",
    "sun_morse3": "(v0, k0, k0_prime)",
    "sun_morse4": "(v0, k0, k0_prime)",
    "vinet": "(v0, k0, k0_prime)",
    "holzapfel": "(v0, k0, k0_prime, n, z)",
}

METHODS = {
    "pressure_scalar": "($self, volume)",
    "bulk_modulus_scalar": "($self, volume)",
    "bulk_modulus_derivative_scalar": "($self, volume, epsilon)",
    "volume_scalar": "($self, pressure)",
    "pressure_array": "($self, volumes)",
    "bulk_modulus_array": "($self, volumes)",
    "bulk_modulus_derivative_array": "($self, volumes, epsilon)",
    "volume_array": "($self, pressures)",
}

FUNCTIONS = {
    "holzapfel_derivative_analytical": "(v0, volume, bulk_modulus, k0, c0, c2)",
}


def public_callables():
    """Every function, static method and method reachable from __all__."""
    for name in _engine.__all__:
        obj = getattr(_engine, name)
        if isinstance(obj, type):
            for attribute, value in vars(obj).items():
                if not attribute.startswith("_") and callable(getattr(obj, attribute)):
                    yield f"{name}.{attribute}", getattr(obj, attribute)
        else:
            yield name, obj


@pytest.mark.parametrize(("qualified", "function"), list(public_callables()),
                         ids=[q for q, _ in public_callables()])
def test_every_callable_has_a_signature(qualified, function):
    assert function.__text_signature__ is not None
    assert function.__doc__  # a description follows the signature
    signature = inspect.signature(function)
    assert all(p.kind is not p.VAR_POSITIONAL and p.kind is not p.VAR_KEYWORD
               for p in signature.parameters.values())


@pytest.mark.parametrize(("name", "text"), CONSTRUCTORS.items())
def test_constructor_signatures(name, text):
    constructor = getattr(RtEos, name)
    assert constructor.__text_signature__ == text
    assert isinstance(inspect.getattr_static(RtEos, name), staticmethod)


@pytest.mark.parametrize(("name", "text"), METHODS.items())
def test_method_signatures(name, text):
    assert getattr(RtEos, name).__text_signature__ == text


@pytest.mark.parametrize(("name", "text"), FUNCTIONS.items())
def test_function_signatures(name, text):
    assert getattr(_engine, name).__text_signature__ == text


def test_rt_eos_members_are_exactly_the_published_ones():
    public = {name for name in vars(RtEos) if not name.startswith("_")}
    assert public == set(CONSTRUCTORS) | set(METHODS) | {"model_name", "reference_volume"}


@pytest.mark.parametrize(("name", "text"), METHODS.items())
def test_method_keywords_match_the_signature(holzapfel, name, text):
    parameters = list(inspect.signature(getattr(holzapfel, name)).parameters)
    first = np.array([9.0]) if name.endswith("_array") else 9.0
    if parameters[0] == "pressure" or parameters[0] == "pressures":
        first = first * 0.5
    arguments = [first, 1e-4][: len(parameters)]
    method = getattr(holzapfel, name)
    positional = method(*arguments)
    by_name = method(**dict(zip(parameters, arguments)))
    np.testing.assert_array_equal(by_name, positional)


@pytest.mark.parametrize(
    ("call", "message"),
    [
        (lambda m: m.pressure_scalar(), "pressure_scalar() missing required argument 'volume' (pos 1)"),
        (lambda m: m.pressure_scalar(1.0, 2.0), "pressure_scalar() takes at most 1 argument (2 given)"),
        (lambda m: m.pressure_scalar(v=1.0),
         "pressure_scalar() got an unexpected keyword argument 'v'"),
        (lambda m: m.pressure_scalar(1.0, volume=1.0),
         "argument for pressure_scalar() given by name ('volume') and position (1)"),
        (lambda m: m.bulk_modulus_derivative_scalar(9.0),
         "bulk_modulus_derivative_scalar() missing required argument 'epsilon' (pos 2)"),
        (lambda m: RtEos.bm3(10.0, 160.0),
         "bm3() missing required argument 'k0_prime' (pos 3)"),
        (lambda m: RtEos.bm2(10.0, 160.0, 4.0), "bm2() takes at most 2 arguments (3 given)"),
        (lambda m: RtEos.bm3("10", 160.0, 4.0), "bm3() argument 'v0' must be a real number, not str"),
        (lambda m: m.volume_scalar(None),
         "volume_scalar() argument 'pressure' must be a real number, not NoneType"),
        (lambda m: m.pressure_scalar(1j),
         "pressure_scalar() argument 'volume' must be a real number, not complex"),
        (lambda m: _engine.holzapfel_derivative_analytical(1.0, 1.0, 1.0, 1.0, 1.0, c3=1.0),
         "holzapfel_derivative_analytical() got an unexpected keyword argument 'c3'"),
    ],
)
def test_argument_errors(holzapfel, call, message):
    with pytest.raises(TypeError) as info:
        call(holzapfel)
    assert str(info.value) == message


class Floaty:
    def __float__(self):
        return 9.0


class Indexy:
    def __index__(self):
        return 9


class BadFloat:
    def __float__(self):
        raise ArithmeticError("no float for you")


@pytest.mark.parametrize("value", [9, 9.0, np.float32(9.0), np.int64(9), np.array(9.0),
                                   Floaty(), Indexy()])
def test_scalars_use_python_float_conversion(bm3, value):
    assert bm3.pressure_scalar(value) == bm3.pressure_scalar(9.0)


@pytest.mark.parametrize(
    ("value", "error"),
    [(10**400, OverflowError), (BadFloat(), ArithmeticError), (np.array([9.0, 9.0]), TypeError)],
)
def test_conversion_errors_pass_through(bm3, value, error):
    with pytest.raises(error):
        bm3.pressure_scalar(value)
