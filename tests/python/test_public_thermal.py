import inspect

import numpy as np
import pytest
from test_thermal_eos import ACCEPTED, BASE, CONSTRUCTORS, MODELS, TR, V0, state

import barometra
from barometra import eos
from barometra.errors import EosValidationError

CLASSES = {cls._engine_constructor: cls for cls in vars(eos).values()
           if isinstance(cls, type) and issubclass(cls, eos.ThermalEos) and cls is not eos.ThermalEos}
CLASSES["sokolova2016"] = eos.Sokolova2016
REFERENCES = {"BM3": eos.BM3(v0=V0, k0=160.0, k0_prime=4.15),
              "ModifiedTait": eos.ModifiedTait(v0=V0, k0=160.0, k0_prime=4.15,
                                               k0_double_prime=-4.15 / 160.0)}
SYNONYMS = {"molar_heat_capacity_v", "molar_heat_capacity_p", "thermal_internal_energy"}
VOLUMES = np.array([[0.95], [1.0], [1.02]]) * V0  # (3, 1)
TEMPERATURES = np.array([300.0, 900.0, 1500.0, 2000.0])  # (4,)


def public(name):
    rt, args, *_ = CONSTRUCTORS[name]
    cls = CLASSES[name]
    reference = REFERENCES[rt.model_name]
    return cls(reference=reference, **dict(zip(cls._parameter_names[1:], args)))


def test_every_engine_constructor_has_a_public_class():
    assert sorted(CLASSES) == sorted(CONSTRUCTORS)
    assert eos.Sokolova2016 is eos.MultiOscillatorGruneisen
    assert {name for name in eos.__all__ if name in vars(barometra)} == set(eos.__all__)


@pytest.mark.parametrize("name", CONSTRUCTORS)
def test_model_equals_its_engine_counterpart(name):
    model, engine = public(name), MODELS[name]
    assert model.model_name == engine.model_name and type(model).__module__ == "barometra.eos"
    assert {type(model)._engine_quantity(name) for name in model.quantities} == \
        ACCEPTED.get(engine.model_name, BASE) - SYNONYMS
    for name in model.quantities:
        quantity = type(model)._engine_quantity(name)
        first, second = state(quantity, engine)
        method = getattr(model, name)
        if quantity == "characteristic_temperature":
            assert method(first) == engine.evaluate_scalar(quantity, first, first)
            np.testing.assert_array_equal(method(VOLUMES),
                                          engine.evaluate_array(quantity, VOLUMES, VOLUMES))
            continue
        result = method(first, second)
        assert type(result) is float and result == engine.evaluate_scalar(quantity, first,
                                                                           second)
        firsts = np.array([[first], [first * 1.0001]])  # tiny steps stay in every domain
        seconds = np.array([second, second * 0.9999, second * 0.9998])
        grid = np.broadcast_arrays(firsts, seconds)
        np.testing.assert_array_equal(method(firsts, seconds),
                                      engine.evaluate_array(quantity, *map(np.copy, grid)))
    assert model.reference.replace() == model.parameters["reference"]
    assert list(inspect.signature(type(model)).parameters)[:2] == ["reference", "tr"]


def test_broadcasting_shapes_and_scalars():
    model = public("mie_gruneisen_debye")
    assert model.pressure(VOLUMES, TEMPERATURES).shape == (3, 4)
    assert model.pressure(VOLUMES[:, 0], 1200.0).shape == (3,)
    assert model.pressure(np.float64(V0), np.array(1200.0)) == model.pressure(V0, 1200.0)
    assert type(model.pressure(V0, 1200)) is float
    grid_v, grid_t = np.meshgrid(VOLUMES[:, 0], TEMPERATURES)
    np.testing.assert_array_equal(model.pressure(grid_v, grid_t),
                                  model.pressure(VOLUMES, TEMPERATURES).T)
    pressures = model.pressure(VOLUMES, TEMPERATURES)
    np.testing.assert_allclose(model.volume(pressures, TEMPERATURES),
                               np.broadcast_to(VOLUMES, (3, 4)), rtol=1e-9)
    np.testing.assert_allclose(model.temperature(pressures, VOLUMES),
                               np.broadcast_to(TEMPERATURES, (3, 4)), rtol=1e-6)
    with pytest.raises(ValueError, match=r"volume of shape \(3,\) and temperature of shape "
                                         r"\(4,\) do not broadcast together"):
        model.pressure(VOLUMES[:, 0], TEMPERATURES)
    with pytest.raises(TypeError, match="temperature must be a real number"):
        model.pressure(V0, "300")


def test_confinement():
    model = public("mie_gruneisen_debye")
    volume = model.volume(20.0, TEMPERATURES)
    np.testing.assert_allclose(model.volume_with_dac_confinement(20.0, TEMPERATURES, f_dac=0.0),
                               volume, rtol=1e-9)
    confined = model.volume_with_dac_confinement(20.0, TEMPERATURES[1:], f_dac=0.5)
    assert (confined < volume[1:]).all()  # a retained thermal pressure compresses
    with pytest.raises(EosValidationError, match=r"must lie in \[0, 1\)"):
        model.volume_with_dac_confinement(20.0, 1000.0, f_dac=1.0)


def test_construction_errors():
    bm3 = REFERENCES["BM3"]
    with pytest.raises(TypeError, match="'reference' must be an isothermal model"):
        eos.LinearThermalPressure(reference=MODELS["mie_gruneisen_debye"], tr=TR, alpha_kt=0.01)
    with pytest.raises(TypeError, match="'reference' must be a ModifiedTait model, not "
                                        "BirchMurnaghan3"):
        eos.ThermalModifiedTait(reference=bm3, tr=TR, theta=500.0, alpha0=3e-5, n=2)
    with pytest.raises(TypeError, match="'zero_point_pressure' must be a string"):
        public("dewaele_2006").replace(zero_point_pressure=1)
    with pytest.raises(TypeError, match="missing parameter 'tr'"):
        eos.LinearThermalPressure(reference=bm3, alpha_kt=0.01)
    with pytest.raises(EosValidationError, match="invalid parameter Tr"):
        eos.LinearThermalPressure(reference=bm3, tr=-1.0, alpha_kt=0.01)
    assert eos.MieGruneisenDebye(reference=bm3, tr=TR, theta0=700.0, gamma0=1.5, q=1.0, n=2,
                                 cvmax=49.9).parameters["cvmax"] == 49.9
