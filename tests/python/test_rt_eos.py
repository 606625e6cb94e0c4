"""RtEos: construction, the contract every model keeps, and Holzapfel's derivatives."""

from __future__ import annotations

import math

import numpy as np
import pytest
from support import MODELS, RtEos, bm3_pressure_numpy, build, elementwise

from barometra import _engine
from barometra.errors import EosValidationError, UnsupportedOperationError

VOLUMES = np.linspace(8.0, 10.5, 26)


@pytest.mark.parametrize("name", MODELS)
class TestModelContract:
    def test_identity(self, name):
        model = build(name)
        args, model_name = MODELS[name]
        assert model.model_name == model_name
        assert repr(model) == f"RtEos(model_name='{model_name}')"
        # v0 is the first argument of every constructor, DensityPolynomial3's too.
        assert model.reference_volume == args[0]

    def test_arrays_equal_scalars(self, name):
        model = build(name)
        grid = VOLUMES.reshape(2, 13)
        np.testing.assert_array_equal(model.pressure_array(grid),
                                      elementwise(model.pressure_scalar, grid))
        np.testing.assert_array_equal(model.bulk_modulus_array(grid),
                                      elementwise(model.bulk_modulus_scalar, grid))
        pressures = model.pressure_array(grid)
        np.testing.assert_array_equal(model.volume_array(pressures),
                                      elementwise(model.volume_scalar, pressures))

    def test_volume_inverts_pressure(self, name):
        model = build(name)
        # 1300 pressures: the parallel path of volume_array.
        volumes = np.linspace(8.0, 10.5, 1300)
        np.testing.assert_allclose(model.volume_array(model.pressure_array(volumes)), volumes,
                                   rtol=1e-10)

    def test_bulk_modulus_is_minus_v_dp_dv(self, name):
        model = build(name)
        step = 1e-6
        up, down = VOLUMES * (1 + step), VOLUMES * (1 - step)
        finite_difference = -VOLUMES * (model.pressure_array(up) - model.pressure_array(down)) / (
            up - down)
        np.testing.assert_allclose(model.bulk_modulus_array(VOLUMES), finite_difference,
                                   rtol=1e-6)

    def test_keyword_construction_matches_positional(self, name):
        import inspect

        args, _ = MODELS[name]
        constructor = getattr(RtEos, name)
        keywords = dict(zip(inspect.signature(constructor).parameters, args))
        by_name, by_position = constructor(**keywords), constructor(*args)
        np.testing.assert_array_equal(by_name.pressure_array(VOLUMES),
                                      by_position.pressure_array(VOLUMES))


def test_bm3_matches_the_numpy_formula(bm3):
    volumes = np.linspace(6.0, 12.0, 1001)
    np.testing.assert_allclose(bm3.pressure_array(volumes), bm3_pressure_numpy(volumes),
                               rtol=1e-13, atol=1e-12)


def test_bm3_reference_point(bm3):
    assert bm3.pressure_scalar(10.0) == 0.0
    assert bm3.bulk_modulus_scalar(10.0) == pytest.approx(160.0, rel=1e-15)
    assert bm3.volume_scalar(0.0) == 10.0


@pytest.mark.parametrize(
    ("args", "field", "message"),
    [
        ((0.0, 160.0, 4.0), "V0", "invalid parameter V0: must be positive and finite"),
        ((10.0, -1.0, 4.0), "K0", "invalid parameter K0: must be positive and finite"),
        ((10.0, 160.0, math.nan), "K0_prime", "invalid parameter K0_prime: must be finite"),
        ((10.0, 160.0, math.inf), "K0_prime", "invalid parameter K0_prime: must be finite"),
        # Declaration order: the first failing parameter is reported.
        ((math.nan, math.nan, math.nan), "V0", "invalid parameter V0: must be positive and finite"),
    ],
)
def test_constructor_checks(args, field, message):
    with pytest.raises(EosValidationError) as info:
        RtEos.bm3(*args)
    error = info.value
    assert (str(error), error.code, error.field, error.operation) == (
        message, "eos.invalid_parameter", field, "eos")


def test_holzapfel_z_is_a_checked_parameter():
    with pytest.raises(EosValidationError, match="^invalid parameter Z: ") as info:
        RtEos.holzapfel(10.0, 160.0, 4.0, 1.0, 0.0)
    assert info.value.field == "Z"


class TestBulkModulusDerivative:
    @pytest.mark.parametrize("name", [n for n in MODELS if n != "holzapfel"])
    def test_unsupported_after_argument_parsing(self, name):
        model = build(name)
        # Even an invalid volume or epsilon: the model kind decides first.
        with pytest.raises(UnsupportedOperationError) as info:
            model.bulk_modulus_derivative_scalar(-1.0, 5.0)
        assert str(info.value) == "bulk-modulus derivative is only defined for Holzapfel"
        assert (info.value.code, info.value.operation, info.value.field) == (
            "operation.unsupported", None, None)
        with pytest.raises(UnsupportedOperationError):
            model.bulk_modulus_derivative_array(np.array([math.nan]), math.nan)
        # ... but a malformed argument is a TypeError first.
        with pytest.raises(TypeError, match="'volume'"):
            model.bulk_modulus_derivative_scalar("9.0", 1e-4)
        with pytest.raises(TypeError, match="'epsilon'"):
            model.bulk_modulus_derivative_scalar(9.0, None)
        with pytest.raises(TypeError, match="'volumes'"):
            model.bulk_modulus_derivative_array([9.0], 1e-4)

    def test_holzapfel_array_matches_scalar(self, holzapfel):
        volumes = np.linspace(8.0, 10.5, 12).reshape(3, 4)
        np.testing.assert_array_equal(
            holzapfel.bulk_modulus_derivative_array(volumes, 1e-4),
            elementwise(lambda v: holzapfel.bulk_modulus_derivative_scalar(v, 1e-4), volumes))

    def test_holzapfel_derivative_is_k0_prime_at_v0(self, holzapfel):
        assert holzapfel.bulk_modulus_derivative_scalar(10.0, 1e-5) == pytest.approx(4.0, rel=1e-7)

    @pytest.mark.parametrize(
        ("volume", "epsilon", "field", "message"),
        [
            (-1.0, 1e-4, "volume", "invalid state variable volume: must be positive and finite"),
            (9.0, 0.0, "eps", "invalid parameter eps: must be positive and finite"),
            (9.0, math.nan, "eps", "invalid parameter eps: must be positive and finite"),
            (9.0, 1.0, "eps", "invalid parameter eps: must be smaller than one"),
        ],
    )
    def test_holzapfel_derivative_checks(self, holzapfel, volume, epsilon, field, message):
        with pytest.raises(EosValidationError) as info:
            holzapfel.bulk_modulus_derivative_scalar(volume, epsilon)
        assert (str(info.value), info.value.field) == (message, field)
        with pytest.raises(EosValidationError, match=f"^{message}$"):
            holzapfel.bulk_modulus_derivative_array(np.full(3, volume), epsilon)


def holzapfel_constants(v0, k0, k0_prime, n, z):
    """c0 and c2 of the AP2 form, from the Fermi-gas pressure at V0."""
    fermi_gas_pressure = 1003.6 * (n * z / (10.0 * v0)) ** (5.0 / 3.0)
    c0 = -math.log(3.0 * k0 / fermi_gas_pressure)
    return c0, 1.5 * (k0_prime - 3.0) - c0


class TestHolzapfelDerivativeAnalytical:
    @pytest.mark.parametrize("volume", [7.0, 8.5, 9.7, 10.0, 10.4])
    def test_matches_central_difference(self, holzapfel, volume):
        v0, k0, k0_prime, n, z = MODELS["holzapfel"][0]
        c0, c2 = holzapfel_constants(v0, k0, k0_prime, n, z)
        analytical = _engine.holzapfel_derivative_analytical(
            v0, volume, holzapfel.bulk_modulus_scalar(volume), k0, c0, c2)
        numerical = holzapfel.bulk_modulus_derivative_scalar(volume, 1e-5)
        assert analytical == pytest.approx(numerical, rel=1e-6)

    def test_keywords(self):
        value = _engine.holzapfel_derivative_analytical(
            c2=1.0, c0=2.0, k0=160.0, bulk_modulus=160.0, volume=9.0, v0=10.0)
        assert value == _engine.holzapfel_derivative_analytical(10.0, 9.0, 160.0, 160.0, 2.0, 1.0)

    @pytest.mark.parametrize(
        ("args", "field", "message"),
        [
            ((0.0, 9.0, 160.0, 160.0, 1.0, 1.0), "V0", "invalid parameter V0: must be positive and finite"),
            ((10.0, -9.0, 160.0, 160.0, 1.0, 1.0), "volume",
             "invalid state variable volume: must be positive and finite"),
            ((10.0, 9.0, math.inf, 160.0, 1.0, 1.0), "KT", "invalid parameter KT: must be finite"),
            ((10.0, 9.0, 160.0, 0.0, 1.0, 1.0), "K0", "invalid parameter K0: must be positive and finite"),
            ((10.0, 9.0, 160.0, 160.0, math.nan, 1.0), "c0", "invalid parameter c0: must be finite"),
            ((10.0, 9.0, 160.0, 160.0, 1.0, -math.inf), "c2", "invalid parameter c2: must be finite"),
            # Checks run in order: V0 before everything else.
            ((math.nan,) * 6, "V0", "invalid parameter V0: must be positive and finite"),
        ],
    )
    def test_checks(self, args, field, message):
        with pytest.raises(EosValidationError) as info:
            _engine.holzapfel_derivative_analytical(*args)
        assert (str(info.value), info.value.field, info.value.code) == (
            message, field, "eos.invalid_state" if field == "volume" else "eos.invalid_parameter")
