import inspect
import math

import numpy as np
import pytest
from support import HOLZAPFEL, MODELS, RtEos, build

from barometra._engine import holzapfel_derivative_analytical as analytical
from barometra.errors import EosValidationError, UnsupportedOperationError

GRID = np.linspace(8.0, 10.5, 26).reshape(2, 13)
BMD_SCALAR = HOLZAPFEL.bulk_modulus_derivative_scalar
BMD_ARRAY = HOLZAPFEL.bulk_modulus_derivative_array


# Values are the core's (tests/cpp) and arrays the frame's (test_arrays.py):
# here what the class itself adds.
@pytest.mark.parametrize("name", MODELS)
def test_model_identity_and_keyword_arguments(name):
    args, model_name, _ = MODELS[name]
    model = build(name)
    assert model.model_name == model_name
    assert repr(model) == f"RtEos(model_name='{model_name}')"
    assert model.reference_volume == args[0]  # v0 comes first, DensityPolynomial3's too
    keywords = dict(zip(inspect.signature(getattr(RtEos, name)).parameters, args))
    np.testing.assert_array_equal(getattr(RtEos, name)(**keywords).pressure_array(GRID),
                                  model.pressure_array(GRID))


@pytest.mark.parametrize("name", MODELS)
def test_pressure_derivatives_at_v0_and_implied_k0_double_prime(name):
    model = build(name)
    args = dict(zip(inspect.signature(getattr(RtEos, name)).parameters, MODELS[name][0]))
    v0, implied = model.reference_volume, model.implied_k0_double_prime
    if "k0_prime" in args:
        assert model.bulk_modulus_pressure_derivative_scalar(v0) == pytest.approx(
            args["k0_prime"], rel=1e-12)
    # None exactly where K0'' is a parameter, which K'' at V0 then returns.
    assert (implied is None) == ("k0_double_prime" in args)
    assert model.bulk_modulus_second_pressure_derivative_scalar(v0) == pytest.approx(
        args.get("k0_double_prime", implied), rel=1e-10)


@pytest.mark.parametrize("name", [n for n in MODELS if n != "holzapfel"])
def test_bulk_modulus_derivative_is_unsupported_but_arguments_are_parsed_first(name):
    model = build(name)
    # The model kind decides before the values are checked...
    with pytest.raises(UnsupportedOperationError) as info:
        model.bulk_modulus_derivative_scalar(-1.0, 5.0)
    assert (str(info.value), info.value.code, info.value.operation, info.value.field) == (
        "bulk-modulus derivative is only defined for Holzapfel", "operation.unsupported",
        None, None)
    with pytest.raises(UnsupportedOperationError):
        model.bulk_modulus_derivative_array(np.array([math.nan]), math.nan)
    # ... but a malformed argument is a TypeError first.
    for call, argument in [(lambda: model.bulk_modulus_derivative_scalar("9.0", 1e-4), "volume"),
                           (lambda: model.bulk_modulus_derivative_scalar(9.0, None), "epsilon"),
                           (lambda: model.bulk_modulus_derivative_array([9.0], 1e-4), "volumes")]:
        with pytest.raises(TypeError, match=f"'{argument}'"):
            call()


@pytest.mark.parametrize("volume", [7.0, 8.5, 9.7, 10.0, 10.4])
def test_analytical_derivative_matches_the_finite_difference(volume):
    v0, k0, k0_prime, n, z = MODELS["holzapfel"][0]
    # c0 and c2 of the AP2 form, from the Fermi-gas pressure at V0.
    c0 = -math.log(3.0 * k0 / (1003.6 * (n * z / (10.0 * v0)) ** (5.0 / 3.0)))
    c2 = 1.5 * (k0_prime - 3.0) - c0
    numerical = HOLZAPFEL.bulk_modulus_derivative_scalar(volume, 1e-5)
    assert analytical(
        c2=c2, c0=c0, k0=k0, bulk_modulus=HOLZAPFEL.bulk_modulus_scalar(volume), volume=volume,
        v0=v0) == pytest.approx(numerical, rel=1e-6)
    assert volume != v0 or numerical == pytest.approx(k0_prime, rel=1e-7)


POS = "invalid parameter {}: must be positive and finite"
FIN = "invalid parameter {}: must be finite"
BELOW_ONE = "invalid parameter {}: must be smaller than one"
STATE = "invalid state variable {}: must be positive and finite"


@pytest.mark.parametrize(
    ("call", "field", "message"),
    [
        (lambda: RtEos.bm3(10.0, -1.0, 4.0), "K0", POS),
        (lambda: RtEos.bm3(10.0, 160.0, math.nan), "K0_prime", FIN),
        (lambda: RtEos.bm3(math.nan, math.nan, math.nan), "V0", POS),  # the first failing one
        (lambda: RtEos.holzapfel(10.0, 160.0, 4.0, 1.0, 0.0), "Z", POS),
        (lambda: BMD_SCALAR(-1.0, 1e-4), "volume", STATE),
        (lambda: BMD_ARRAY(np.full(3, -1.0), 1e-4), "volume", STATE),
        (lambda: BMD_SCALAR(9.0, 0.0), "eps", POS),
        (lambda: BMD_ARRAY(np.full(3, 9.0), math.nan), "eps", POS),
        (lambda: BMD_SCALAR(9.0, 1.0), "eps", BELOW_ONE),
        (lambda: BMD_ARRAY(np.full(3, 9.0), 1.0), "eps", BELOW_ONE),
        (lambda: analytical(0.0, 9.0, 160.0, 160.0, 1.0, 1.0), "V0", POS),
        (lambda: analytical(10.0, -9.0, 160.0, 160.0, 1.0, 1.0), "volume", STATE),
        (lambda: analytical(10.0, 9.0, math.inf, 160.0, 1.0, 1.0), "KT", FIN),
    ],
)
def test_checks(call, field, message):
    with pytest.raises(EosValidationError) as info:
        call()
    code = "eos.invalid_state" if field == "volume" else "eos.invalid_parameter"
    assert (str(info.value), info.value.code, info.value.operation, info.value.field) == (
        message.format(field), code, "eos", field)
