import copy
import inspect
import math
import multiprocessing
import pickle
from concurrent.futures import ProcessPoolExecutor

import numpy as np
import pytest
from support import MODELS, RtEos
from test_public_hugoniot import PARAMETERS as HUGONIOT
from test_public_thermal import public as thermal_model

import barometra
from barometra import eos
from barometra._engine import model_table
from barometra.eos import _stubs
from barometra.errors import EosValidationError, UnsupportedOperationError, ValidationError

# Every public model class once (the aliases are the same classes).
EVERY = list(dict.fromkeys(getattr(eos, name) for name in eos.__all__
                           if name not in ("IsothermalEos", "ThermalEos")))
CLASSES = [cls for cls in EVERY if issubclass(cls, eos.IsothermalEos)]
GRID = np.linspace(8.0, 10.5, 12).reshape(3, 4)


def example(cls):
    """A valid model of any public class."""
    if issubclass(cls, eos.ThermalEos):
        return thermal_model(cls._engine_constructor)
    if issubclass(cls, eos.IsothermalEos):
        return pair(cls)[0]
    return cls(**HUGONIOT)


@pytest.mark.parametrize("cls", EVERY, ids=lambda cls: cls.__name__)
def test_every_model_class_is_a_value(cls):
    model = example(cls)
    assert type(model).__module__ == "barometra.eos" and getattr(eos, cls.__name__) is cls
    assert inspect.signature(cls) == inspect.Signature(
        [inspect.Parameter(name, inspect.Parameter.KEYWORD_ONLY,
                           default=cls._parameter_defaults.get(name, inspect.Parameter.empty))
         for name in cls._parameter_names]
        + [inspect.Parameter(name, inspect.Parameter.KEYWORD_ONLY, default=None)
           for name in cls._unit_keywords])
    assert cls.__doc__.count("\nParameters\n") == 1
    for twin in (eval(repr(model), vars(eos)), pickle.loads(pickle.dumps(model)),
                 cls(**model.parameters)):
        assert twin == model and hash(twin) == hash(model) and twin is not model
    assert copy.deepcopy(model) is model  # immutable: a copy is the model itself
    name = next(name for name, value in model.parameters.items() if type(value) is float)
    changed = model.replace(**{name: model.parameters[name] * 1.01})
    assert changed != model and changed.parameters == {**model.parameters,
                                                       name: model.parameters[name] * 1.01}
    with pytest.raises(AttributeError, match="immutable"):
        setattr(model, name, 1.0)


@pytest.mark.parametrize("cls", EVERY, ids=lambda cls: cls.__name__)
def test_native_names_are_the_engine_error_fields(cls):
    """A NaN in one parameter fails on that parameter, under its fitting name
    (unless an option refuses it first: a beta of a law that has none)."""
    model = example(cls)
    for name, native in cls._native_names.items():
        with pytest.raises(ValidationError) as info:
            model.replace(**{name: math.nan})
        if type(info.value) is EosValidationError:
            assert info.value.field == native, name


def test_methods_take_the_published_state_values_by_name():
    for entry in model_table:
        cls = getattr(eos, entry["class_name"])
        for name, arguments, _ in entry["quantities"]:
            method = getattr(cls, cls._method_names.get(name, name))
            parameters = list(inspect.signature(method).parameters)
            assert parameters[1:1 + len(arguments)] == list(arguments), (cls, name)
    model = eos.BM3(v0=10.0, k0=160.0, k0_prime=4.0)
    assert model.volume(pressure=5.0) == model.volume(5.0)
    with pytest.raises(TypeError, match=r"missing 1 required positional argument: 'volume'"):
        model.pressure()
    thermal = example(eos.MieGruneisenDebye)
    assert thermal.temperature(volume=10.6, pressure=20.0) == thermal.temperature(20.0, 10.6)


def test_the_type_stub_is_written_from_the_classes():
    assert _stubs.STUB.read_text(encoding="utf-8") == _stubs.stub(), \
        "run python -m barometra.eos._stubs"


def pair(cls):
    """A public model and its engine twin from the same arguments."""
    args = MODELS[cls._engine_constructor][0]
    return (cls(**dict(zip(cls._parameter_names, args))),
            getattr(RtEos, cls._engine_constructor)(*args))


def test_every_engine_model_has_one_public_class_and_the_aliases():
    assert sorted(cls._engine_constructor for cls in CLASSES) == sorted(MODELS)
    assert (barometra.BM2, barometra.BM3, barometra.BM4, barometra.AP2) == (
        eos.BirchMurnaghan2, eos.BirchMurnaghan3, eos.BirchMurnaghan4, eos.Holzapfel)
    assert set(eos.__all__) <= set(barometra.__all__)


@pytest.mark.parametrize("cls", CLASSES, ids=lambda cls: cls.__name__)
def test_model_equals_its_engine_counterpart(cls):
    model, engine = pair(cls)
    assert model.model_name == engine.model_name and model.__module__ == "barometra.eos"
    pressures = engine.pressure_array(GRID)
    for method, scalar, array, x in [
        (model.pressure, engine.pressure_scalar, engine.pressure_array, GRID),
        (model.bulk_modulus, engine.bulk_modulus_scalar, engine.bulk_modulus_array, GRID),
        (model.volume, engine.volume_scalar, engine.volume_array, pressures),
    ]:
        result = method(x)
        assert type(result) is np.ndarray and result.shape == x.shape
        np.testing.assert_array_equal(result, array(x))
        for value in (x[1, 2], float(x[1, 2]), x[1, 2:3].reshape(()), [x[1, 2]]):
            expected = scalar(float(x[1, 2]))
            assert np.asarray(method(value)).tolist() == ([expected] if type(value) is list
                                                          else expected)
        assert type(method(float(x[0, 0]))) is float and type(method(x[0, 0])) is float


@pytest.mark.parametrize("cls", CLASSES, ids=lambda cls: cls.__name__)
def test_pressure_derivatives_of_the_bulk_modulus_against_differences(cls):
    model = pair(cls)[0]
    v0 = model.parameters["v0"]
    volumes = np.array([0.85, 0.95, 1.02]) * v0

    def slope(f, step):  # d f / d P at the volumes, by central differences over V
        up, down = volumes * (1 + step), volumes * (1 - step)
        return (f(up) - f(down)) / (model.pressure(up) - model.pressure(down))

    k_prime = model.bulk_modulus_derivative(volumes)
    np.testing.assert_allclose(k_prime, slope(model.bulk_modulus, 1e-5), rtol=1e-8)
    np.testing.assert_allclose(model.bulk_modulus_second_derivative(volumes),
                               slope(model.bulk_modulus_derivative, 1e-4), rtol=1e-6, atol=1e-12)
    implied = model.implied_k0_double_prime
    if implied is not None:
        assert implied == pytest.approx(model.bulk_modulus_second_derivative(v0), rel=1e-9)
    if cls is eos.BM3:  # the closed form the field quotes
        k0, kp = model.parameters["k0"], model.parameters["k0_prime"]
        assert implied == pytest.approx(-((3 - kp) * (4 - kp) + 35 / 9) / k0, rel=1e-14)


def test_the_central_difference_of_k_prime_stays_holzapfel_only():
    holzapfel, engine = pair(eos.Holzapfel)
    np.testing.assert_array_equal(holzapfel.bulk_modulus_derivative(GRID, epsilon=1e-4),
                                  engine.bulk_modulus_derivative_array(GRID, 1e-4))
    with pytest.raises(UnsupportedOperationError, match="only defined for Holzapfel"):
        pair(eos.Vinet)[0].bulk_modulus_derivative(GRID, epsilon=1e-5)


@pytest.mark.parametrize("shape", [(), (0,), (5,), (2, 3), (0, 4), (2, 1, 3)])
def test_shapes(shape):
    model, engine = pair(eos.BirchMurnaghan3)
    volumes = np.full(shape, 9.0)
    result = model.pressure(volumes)
    if shape == ():
        assert type(result) is float and result == engine.pressure_scalar(9.0)
    else:
        assert result.shape == shape and result.dtype == np.float64
        np.testing.assert_array_equal(result, np.full(shape, engine.pressure_scalar(9.0)))


@pytest.mark.parametrize(
    "volumes",
    [9, np.float32(9.0), np.int64(9), [9, 9.0], (9.0,), np.array([9], dtype=np.int32),
     np.array([9.0], dtype=">f8"), np.array([9.0, 1.0, 9.0])[::2]],
)
def test_real_inputs_are_converted(volumes):
    model, engine = pair(eos.BirchMurnaghan3)
    np.testing.assert_array_equal(model.pressure(volumes),
                                  np.full(np.shape(volumes), engine.pressure_scalar(9.0)))


@pytest.mark.parametrize(
    ("volumes", "description"),
    [("9.0", "str"), (None, "NoneType"), ([9.0, "9"], "an array of dtype <U32"),
     (np.array([9 + 0j]), "an array of dtype complex128"), ([9.0, None], "an array of dtype object")],
)
def test_non_real_inputs_are_refused_not_parsed(volumes, description):
    with pytest.raises(TypeError) as info:
        pair(eos.BirchMurnaghan3)[0].pressure(volumes)
    assert str(info.value) == ("volume must be a real number or an array of real numbers, "
                               f"not {description}")


ACCEPTED = ("accepted parameters: v0, k0, k0_prime "
            "(units: pressure_unit, volume_unit, formula_units)")


@pytest.mark.parametrize(
    ("call", "message"),
    [
        (lambda: eos.Vinet(10.0, 160.0, 4.0),
         f"Vinet() takes keyword parameters only (3 positional given); {ACCEPTED}"),
        (lambda: eos.Vinet(v0=10.0, k0=160.0), f"Vinet() missing parameter 'k0_prime'; {ACCEPTED}"),
        (lambda: eos.Vinet(v0=10.0, K0=160.0, kp=4.0, k0_prime=4.0),
         f"Vinet() got unknown parameter 'K0', 'kp'; {ACCEPTED}"),
        (lambda: eos.Vinet(v0=10.0, k0="160", k0_prime=4.0),
         "Vinet() parameter 'k0' must be a real number, not str"),
        (lambda: eos.Vinet(v0=10.0, k0=np.array([160.0]), k0_prime=4.0),
         "Vinet() parameter 'k0' must be a real number, not ndarray"),
        (lambda: eos.Vinet(v0=10.0, k0=160.0, k0_prime=4.0).replace(V0=1.0),
         f"Vinet.replace() got unknown parameter 'V0'; {ACCEPTED}"),
        (lambda: eos.IsothermalEos(v0=10.0), "IsothermalEos is abstract: build one of its subclasses"),
    ],
)
def test_parameter_errors_list_the_accepted_names(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message


def test_values_are_checked_by_the_engine_and_models_are_immutable():
    with pytest.raises(EosValidationError) as info:
        eos.Holzapfel(v0=1.4, k0=296.0, k0_prime=4.2, n=3.0, z=0.0)
    assert (info.value.field, info.value.code) == ("Z", "eos.invalid_parameter")
    model = eos.BM3(v0=np.float32(10.0), k0=160, k0_prime=4.0)
    assert repr(model) == "BirchMurnaghan3(v0=10.0, k0=160.0, k0_prime=4.0)"
    with pytest.raises(EosValidationError, match="V0: must be positive"):
        model.replace(v0=-1.0)
    for attempt in (lambda: setattr(model, "_values", (1.0, 2.0, 3.0)),
                    lambda: setattr(model, "v0", 1.0), lambda: delattr(model, "_engine")):
        with pytest.raises(AttributeError):
            attempt()
    model.parameters["v0"] = 99.0  # a copy
    assert model.parameters["v0"] == 10.0
    assert model != eos.Vinet(**model.parameters) and model != model.parameters


def evaluate_in_worker(model):
    return model, model.pressure(9.0)


def test_models_travel_to_worker_processes():
    models = [pair(cls)[0] for cls in (eos.BM3, eos.Holzapfel, eos.DensityPolynomial3)]
    # spawn, as joblib and Dask do: fork would copy this process's worker-pool threads.
    with ProcessPoolExecutor(max_workers=2, mp_context=multiprocessing.get_context("spawn")) as pool:
        results = list(pool.map(evaluate_in_worker, models))
    assert results == [(model, model.pressure(9.0)) for model in models]
