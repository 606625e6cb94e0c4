import inspect
import math
import re

import numpy as np
import pytest
from support import elementwise

from barometra._engine import HugoniotEos
from barometra.errors import EosNumericalError, EosValidationError

V0, RHO0, C0, S, P0 = 10.0, 3.0, 5.0, 1.5, 2.0
H = HugoniotEos.linear_us_up(V0, RHO0, C0, S, P0)
SOFT = HugoniotEos.linear_us_up(V0, RHO0, C0, 0.5, P0)  # s < 1: open down to V -> 0
# Quantity -> (low, high) of inputs inside the domain: volumes from V0 to near
# V0 (1 - 1/s), pressures from P0 up, particle velocities from 0 up.
QUANTITIES = {
    "volume": (P0, 1e4),
    "density": (3.4, V0),
    "pressure": (3.4, V0),
    "shock_velocity": (3.4, V0),
    "tangent_modulus": (3.4, V0),
    "particle_velocity": (3.4, V0),
    "volume_from_particle_velocity": (0.0, 100.0),
    "specific_internal_energy_change": (3.4, V0),
    "pressure_from_particle_velocity": (0.0, 100.0),
    "shock_velocity_from_particle_velocity": (0.0, 100.0),
}
SIGNATURES = {
    "linear_us_up": "(v0, rho0, c0, s, p0)",
    "evaluate_scalar": "($self, quantity, value)",
    "evaluate_array": "($self, quantity, values)",
}


@pytest.mark.parametrize(("name", "text"), SIGNATURES.items())
def test_signature(name, text):
    function = getattr(HugoniotEos, name)
    assert function.__text_signature__ == text
    assert str(inspect.signature(function)) == text.replace("$self", "self, /")
    assert function.__doc__
    assert isinstance(inspect.getattr_static(HugoniotEos, name), staticmethod) == (
        name == "linear_us_up")


def test_class_and_keywords():
    assert HugoniotEos.__module__ == "barometra._engine"
    assert HugoniotEos.__doc__ == "Private native representation of a built-in shock Hugoniot."
    with pytest.raises(TypeError, match="cannot create 'barometra._engine.HugoniotEos' instances"):
        HugoniotEos()
    with pytest.raises(TypeError):
        type("Sub", (HugoniotEos,), {})
    assert repr(HugoniotEos.linear_us_up(p0=P0, s=S, c0=C0, rho0=RHO0, v0=V0)) == repr(H)
    assert H.evaluate_scalar(value=8.0, quantity="pressure") == H.evaluate_scalar("pressure", 8.0)
    np.testing.assert_array_equal(H.evaluate_array(values=np.array([8.0]), quantity="pressure"),
                                  [H.evaluate_scalar("pressure", 8.0)])


VOLUME = "invalid state variable volume: "
UP = "particle_velocity"
UNKNOWN = ("quantity", "invalid state variable quantity: unknown shock Hugoniot quantity")
RANGE = (None, "pressure is outside the invertible expansion range")


@pytest.mark.parametrize(
    ("call", "code", "expected"),
    [
        (lambda: HugoniotEos.linear_us_up(V0, RHO0, C0, 0.0, P0), "eos.invalid_parameter",
         ("s", "invalid parameter s: must be positive and finite")),
        (lambda: HugoniotEos.linear_us_up(V0, RHO0, C0, S, math.nan), "eos.invalid_parameter",
         ("P0", "invalid parameter P0: must be finite")),
        (lambda: HugoniotEos.linear_us_up(*[math.nan] * 5), "eos.invalid_parameter",
         ("V0", "invalid parameter V0: must be positive and finite")),
        (lambda: H.evaluate_scalar("Pressure", 8.0), "eos.invalid_state", UNKNOWN),
        (lambda: H.evaluate_scalar("\ud800", 8.0), "eos.invalid_state", UNKNOWN),
        (lambda: H.evaluate_array("Pressure", np.array(8.0)), "eos.invalid_state", UNKNOWN),
        (lambda: H.evaluate_scalar("pressure", 10.000001), "eos.invalid_state",
         ("volume", VOLUME + "must not exceed V0 on a compression Hugoniot")),
        (lambda: H.evaluate_scalar("density", 0.0), "eos.invalid_state",
         ("volume", VOLUME + "must be positive and finite")),
        (lambda: H.evaluate_scalar("tangent_modulus", V0 / 4.0), "eos.outside_invertible_range",
         RANGE),
        (lambda: H.evaluate_scalar("volume", P0 - 1.0), "eos.outside_invertible_range", RANGE),
        (lambda: H.evaluate_scalar("volume", math.inf), "eos.invalid_parameter",
         ("pressure", "invalid parameter pressure: must be finite")),
        (lambda: H.evaluate_scalar("pressure_from_particle_velocity", math.nan),
         "eos.invalid_parameter", (UP, f"invalid parameter {UP}: must be finite")),
        (lambda: H.evaluate_scalar("shock_velocity_from_particle_velocity", -1.0),
         "eos.invalid_state", (UP, f"invalid state variable {UP}: must be non-negative")),
        (lambda: SOFT.evaluate_scalar("volume_from_particle_velocity", 1e6),
         "eos.outside_invertible_range", RANGE),
    ],
)
def test_errors_reach_python_with_class_code_and_field(call, code, expected):
    with pytest.raises(EosValidationError) as info:
        call()
    e = info.value
    assert (type(e), e.code, e.operation, (e.field, str(e))) == (
        EosValidationError, code, "eos", expected)


@pytest.mark.parametrize("call", [lambda: SOFT.evaluate_scalar("density", 1e-310),
                                  lambda: SOFT.evaluate_array("density", np.full(70_000, 1e-310))])
def test_non_finite_results_are_numerical_errors(call):
    with pytest.raises(EosNumericalError) as info:
        call()
    assert (info.value.code, info.value.field, str(info.value)) == (
        "eos.non_finite_result", None, "model returned a non-finite result")


@pytest.mark.parametrize(
    ("call", "message"),
    [
        (lambda: H.evaluate_scalar(b"pressure", 8.0),
         "evaluate_scalar() argument 'quantity' must be str, not bytes"),
        (lambda: H.evaluate_array(None, np.ones(2)),
         "evaluate_array() argument 'quantity' must be str, not NoneType"),
        (lambda: H.evaluate_scalar("pressure", "8.0"),
         "evaluate_scalar() argument 'value' must be a real number, not str"),
        (lambda: H.evaluate_array("pressure", [8.0]),
         "evaluate_array() argument 'values' must be a numpy.ndarray of dtype float64, not list"),
        (lambda: HugoniotEos.linear_us_up(V0, RHO0, C0, S),
         "linear_us_up() missing required argument 'p0' (pos 5)"),
    ],
)
def test_argument_errors_name_the_argument(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message


@pytest.mark.parametrize("quantity", QUANTITIES)
def test_array_equals_scalar_on_both_sides_of_the_parallel_threshold(quantity):
    low, high = QUANTITIES[quantity]
    x = np.random.default_rng(11).uniform(low, high, 65536)
    x[:2] = low, high
    expected = elementwise(lambda value: H.evaluate_scalar(quantity, value), x)
    for size in (65535, 65536):
        np.testing.assert_array_equal(H.evaluate_array(quantity, x[:size]), expected[:size])
    # Parallel and non-contiguous: logical order differs from memory order.
    np.testing.assert_array_equal(H.evaluate_array(quantity, x.reshape(2, -1).T),
                                  expected.reshape(2, -1).T)


def test_inverse_quantities_round_trip():
    volumes = np.linspace(3.4, V0, 101)
    pressures = H.evaluate_array("pressure", volumes)
    np.testing.assert_allclose(H.evaluate_array("volume", pressures), volumes, rtol=1e-14)
    up = H.evaluate_array("particle_velocity", volumes)
    np.testing.assert_allclose(H.evaluate_array("volume_from_particle_velocity", up), volumes,
                               rtol=1e-14)


@pytest.mark.parametrize("size", [10, 70_000])
def test_quantity_is_resolved_per_element(size):
    empty = H.evaluate_array("nope", np.empty((0, 3)))
    assert empty.shape == (0, 3) and empty.dtype == np.float64
    x = np.full(size, 9.0)
    x[3], x[size - 2] = V0 * 1.1, 0.0  # the first in row-major order is reported
    with pytest.raises(EosValidationError, match="must not exceed V0"):
        H.evaluate_array("pressure", x)
    with pytest.raises(EosValidationError, match="unknown shock Hugoniot quantity"):
        H.evaluate_array("nope", x)


def model_text(v0, rho0, c0, s, p0):
    return f"HugoniotEos(LinearUsUpHugoniot {{ v0: {v0}, rho0: {rho0}, c0: {c0}, s: {s}, p0: {p0} }})"


@pytest.mark.parametrize(
    ("arguments", "text"),
    [
        ((10.0, 3.0, 5.0, 1.5, 0.0), ("10.0", "3.0", "5.0", "1.5", "0.0")),
        ((0.1, 1e-5, 1e16, 123456789.0, -5.0), ("0.1", "1e-5", "1e16", "123456789.0", "-5.0")),
        ((1e-4, 9.99e-5, 1.5e16, 9999999999999998.0, -0.0),
         ("0.0001", "9.99e-5", "1.5e16", "9999999999999998.0", "-0.0")),
        ((0.1 + 0.2, 5e-324, 1.7976931348623157e308, 1e22, -2.5e-7),
         ("0.30000000000000004", "5e-324", "1.7976931348623157e308", "1e22", "-2.5e-7")),
    ],
)
def test_repr_writes_shortest_round_trip_numbers(arguments, text):
    assert repr(HugoniotEos.linear_us_up(*arguments)) == model_text(*text)


def test_repr_agrees_with_python_float_repr_up_to_the_exponent_spelling():
    # Python's repr is also the shortest round trip, with the same two
    # exponent thresholds; it spells exponents as e+16 and e-05.
    bits = np.random.default_rng(5).integers(0, 2**64, 3000, dtype=np.uint64, endpoint=False)
    values = [float(x) for x in bits.view(np.float64) if np.isfinite(x)]
    values += [float(x) * 10.0**e for e in range(-8, 20) for x in (1.0, 1.25, 9.999999999999999)]
    for p0 in values:
        expected = re.sub(r"e([+-])0*(\d)", lambda m: "e" + m[1].replace("+", "") + m[2],
                          repr(p0))
        assert repr(HugoniotEos.linear_us_up(1.0, 1.0, 1.0, 1.0, p0)) == model_text(
            "1.0", "1.0", "1.0", "1.0", expected)
