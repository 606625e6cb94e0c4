import math
import re

import numpy as np
import pytest
from support import elementwise

from barometra._engine import HugoniotEos
from barometra.errors import BarometraError, EosNumericalError, EosValidationError

V0, RHO0, C0, S, P0 = 10.0, 3.0, 5.0, 1.5, 2.0
H = HugoniotEos.linear_us_up(V0, RHO0, C0, S, P0)
QUANTITIES = ["volume", "density", "pressure", "shock_velocity", "tangent_modulus",
              "particle_velocity", "volume_from_particle_velocity",
              "specific_internal_energy_change", "pressure_from_particle_velocity",
              "shock_velocity_from_particle_velocity"]


def domain(quantity):
    """Inputs on the branch: pressures from P0, velocities from 0, volumes down to 3.4."""
    if quantity == "volume":
        return P0, 1e4
    return (0.0, 100.0) if quantity.endswith("from_particle_velocity") else (3.4, V0)


UNKNOWN = ("quantity", "invalid state variable quantity: unknown shock Hugoniot quantity")
RANGE = (None, "pressure is outside the invertible expansion range")


@pytest.mark.parametrize(
    ("call", "code", "expected"),
    [
        (lambda: HugoniotEos.linear_us_up(V0, RHO0, C0, 0.0, P0), "eos.invalid_parameter",
         ("s", "invalid parameter s: must be positive and finite")),
        (lambda: HugoniotEos.linear_us_up(V0, RHO0, C0, S, math.nan), "eos.invalid_parameter",
         ("P0", "invalid parameter P0: must be finite")),
        (lambda: H.evaluate_scalar("Pressure", 8.0), "eos.invalid_state", UNKNOWN),
        (lambda: H.evaluate_scalar("\ud800", 8.0), "eos.invalid_state", UNKNOWN),
        (lambda: H.evaluate_scalar("volume", P0 - 1.0), "eos.outside_invertible_range", RANGE),
        (lambda: H.evaluate_scalar("shock_velocity_from_particle_velocity", -1.0),
         "eos.invalid_state",
         ("particle_velocity", "invalid state variable particle_velocity: must be non-negative")),
        (lambda: HugoniotEos.linear_us_up(V0, RHO0, C0, 0.5, P0).evaluate_array(
            "density", np.full(70_000, 1e-310)),
         "eos.non_finite_result", (None, "model returned a non-finite result")),
    ],
)
def test_errors_reach_python_with_class_code_and_field(call, code, expected):
    with pytest.raises(BarometraError) as info:
        call()
    e = info.value
    cls = EosNumericalError if code == "eos.non_finite_result" else EosValidationError
    assert (type(e), e.code, e.operation, (e.field, str(e))) == (cls, code, "eos", expected)


@pytest.mark.parametrize("quantity", QUANTITIES)
def test_array_equals_scalar_on_both_sides_of_the_parallel_threshold(quantity):
    low, high = domain(quantity)
    x = np.random.default_rng(11).uniform(low, high, 65536)
    x[:2] = low, high
    expected = elementwise(lambda value: H.evaluate_scalar(quantity, value), x)
    for size in (65535, 65536):
        np.testing.assert_array_equal(H.evaluate_array(quantity, x[:size]), expected[:size])
    # Parallel and non-contiguous: logical order differs from memory order.
    np.testing.assert_array_equal(H.evaluate_array(quantity, x.reshape(2, -1).T),
                                  expected.reshape(2, -1).T)


@pytest.mark.parametrize("size", [10, 70_000])
def test_quantity_is_resolved_per_element(size):
    assert H.evaluate_array("nope", np.empty((0, 3))).shape == (0, 3)
    x = np.full(size, 9.0)
    x[3], x[size - 2] = V0 * 1.1, 0.0  # the first in row-major order is reported
    with pytest.raises(EosValidationError, match="must not exceed V0"):
        H.evaluate_array("pressure", x)
    with pytest.raises(EosValidationError, match="unknown shock Hugoniot quantity"):
        H.evaluate_array("nope", x)


def text(*numbers):
    fields = ", ".join(f"{name}: {n}" for name, n in zip(("v0", "rho0", "c0", "s", "p0"), numbers))
    return f"HugoniotEos(LinearUsUpHugoniot {{ {fields} }})"


@pytest.mark.parametrize(
    ("arguments", "expected"),
    [
        ((10.0, 3.0, 5.0, 1.5, 0.0), ("10.0", "3.0", "5.0", "1.5", "0.0")),
        ((0.1, 1e-5, 1e16, 123456789.0, -5.0), ("0.1", "1e-5", "1e16", "123456789.0", "-5.0")),
        ((1e-4, 9.99e-5, 1.5e16, 9999999999999998.0, -0.0),
         ("0.0001", "9.99e-5", "1.5e16", "9999999999999998.0", "-0.0")),
    ],
)
def test_repr_writes_shortest_round_trip_numbers(arguments, expected):
    assert repr(HugoniotEos.linear_us_up(*arguments)) == text(*expected)


def test_repr_agrees_with_python_float_repr_up_to_the_exponent_spelling():
    # Python's repr is also the shortest round trip, with the same exponent
    # thresholds; it spells exponents e+16 and e-05.
    bits = np.random.default_rng(5).integers(0, 2**64, 3000, dtype=np.uint64)
    values = [float(x) for x in bits.view(np.float64) if np.isfinite(x)]
    values += [x * 10.0**e for e in range(-8, 20) for x in (1.0, 1.25, 9.999999999999999)]
    for p0 in values:
        python = re.sub(r"e\+?(-?)0*(\d)", r"e\1\2", repr(p0))
        assert repr(HugoniotEos.linear_us_up(1.0, 1.0, 1.0, 1.0, p0)) == text(
            "1.0", "1.0", "1.0", "1.0", python)
