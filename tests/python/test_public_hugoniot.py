import inspect

import numpy as np
import pytest

import barometra
from barometra import LinearUsUpHugoniot, eos
from barometra._engine import HugoniotEos
from barometra.errors import EosValidationError

PARAMETERS = {"v0": 10.0, "rho0": 3.0, "c0": 5.0, "s": 1.5, "p0": 2.0}
MODEL = LinearUsUpHugoniot(**PARAMETERS)
ENGINE = HugoniotEos.linear_us_up(*PARAMETERS.values())
# Method (= engine quantity) -> inputs on the branch.
VOLUMES = np.linspace(3.5, 10.0, 6).reshape(2, 3)
SPEEDS = np.linspace(0.0, 20.0, 6).reshape(3, 2)
INPUTS = {
    "pressure": VOLUMES, "density": VOLUMES, "shock_velocity": VOLUMES,
    "particle_velocity": VOLUMES, "tangent_modulus": VOLUMES,
    "specific_internal_energy_change": VOLUMES, "volume": np.array([2.0, 40.0, 900.0]),
    "volume_from_particle_velocity": SPEEDS, "pressure_from_particle_velocity": SPEEDS,
    "shock_velocity_from_particle_velocity": SPEEDS,
}


def test_every_public_method_is_one_engine_quantity():
    public = {name for name, _ in inspect.getmembers(LinearUsUpHugoniot, inspect.isfunction)
              if not name.startswith("_") and name != "replace"}
    assert public == set(INPUTS)


@pytest.mark.parametrize("quantity", INPUTS)
def test_methods_equal_the_engine_for_arrays_and_scalars(quantity):
    method, x = getattr(MODEL, quantity), INPUTS[quantity]
    result = method(x)
    assert type(result) is np.ndarray and result.shape == x.shape
    np.testing.assert_array_equal(result, ENGINE.evaluate_array(quantity, x))
    expected = ENGINE.evaluate_scalar(quantity, float(x.flat[1]))
    for value in (float(x.flat[1]), x.flat[1], x.flat[1:2].reshape(())):
        assert type(method(value)) is float and method(value) == expected
    assert method(x.flat[1:2].tolist()).tolist() == [expected]


def test_the_reference_pressure_is_zero_by_default():
    assert str(inspect.signature(LinearUsUpHugoniot)) == "(*, v0, rho0, c0, s, p0=0.0)"
    assert barometra.LinearUsUpHugoniot is eos.LinearUsUpHugoniot
    shockless = LinearUsUpHugoniot(v0=10, rho0=3.0, c0=5.0, s=1.5)
    assert shockless.parameters["p0"] == 0.0 and shockless.pressure(10.0) == 0.0
    assert shockless == MODEL.replace(p0=0) and shockless != MODEL


def test_errors_name_parameters_and_states():
    with pytest.raises(TypeError, match="missing parameter 's'; accepted parameters: "
                                        "v0, rho0, c0, s, p0"):
        LinearUsUpHugoniot(v0=10.0, rho0=3.0, c0=5.0)
    with pytest.raises(EosValidationError, match="parameter s: must be positive") as info:
        MODEL.replace(s=0.0)
    assert info.value.field == "s"
    with pytest.raises(TypeError, match="particle_velocity must be a real number"):
        MODEL.shock_velocity_from_particle_velocity("1.0")
