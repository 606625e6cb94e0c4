import inspect
import subprocess
import sys
import sysconfig

import numpy as np
import pytest
from support import BM3, HOLZAPFEL, MODELS

from barometra import _engine
from barometra._engine import HugoniotEos, RtEos, ThermalEos

METHODS = {
    "pressure_scalar": "($self, volume)", "bulk_modulus_scalar": "($self, volume)",
    "bulk_modulus_derivative_scalar": "($self, volume, epsilon)",
    "volume_scalar": "($self, pressure)", "pressure_array": "($self, volumes)",
    "bulk_modulus_array": "($self, volumes)",
    "bulk_modulus_derivative_array": "($self, volumes, epsilon)",
    "volume_array": "($self, pressures)",
    "bulk_modulus_pressure_derivative_scalar": "($self, volume)",
    "bulk_modulus_pressure_derivative_array": "($self, volumes)",
    "bulk_modulus_second_pressure_derivative_scalar": "($self, volume)",
    "bulk_modulus_second_pressure_derivative_array": "($self, volumes)",
}
SIGNATURES = {
    **{f"RtEos.{name}": text for name, (_, _, text) in MODELS.items()},
    **{f"RtEos.{name}": text for name, text in METHODS.items()},
    "holzapfel_derivative_analytical": "(v0, volume, bulk_modulus, k0, c0, c2)",
    "fit_least_squares": '(residual_function, initial, lower, upper, loss="linear", '
                         "f_scale=1.0, max_nfev=None, global_parameter_count=None, "
                         "point_count=None, latent_coordinate_count=None)",
    "fit_rt_eos_native": "(model, parameter_names, initial, lower, upper, pressure, volume, "
                         "pressure_sigma, volume_sigma=None, observation_cholesky=None, "
                         'loss="linear", f_scale=1.0, max_nfev=None)',
    "fit_thermal_eos_native": "(model, parameter_names, initial, lower, upper, pressure, "
                              "volume, temperature, pressure_sigma, volume_sigma=None, "
                              "temperature_sigma=None, observation_cholesky=None, "
                              'loss="linear", f_scale=1.0, max_nfev=None)',
    "linear_uncertainty": "(jacobian, covariance, state_variance, full_covariance=False)",
    "monte_carlo_summary": "(samples, confidence, full_covariance=False)",
    # ThermalEos's constructors are checked with their models in test_thermal_eos.
    "ThermalEos.evaluate_scalar": "($self, quantity, first, second)",
    "ThermalEos.evaluate_array": "($self, quantity, first, second)",
    "ThermalEos.volume_with_dac_confinement_scalar": "($self, cold_pressure, temperature, f_dac)",
    "ThermalEos.volume_with_dac_confinement_array":
        "($self, cold_pressures, temperatures, f_dac)",
    "HugoniotEos.linear_us_up": "(v0, rho0, c0, s, p0)",
    "HugoniotEos.evaluate_scalar": "($self, quantity, value)",
    "HugoniotEos.evaluate_array": "($self, quantity, values)",
    "OpticalGauge.power_law": "(a, b)",
    "OpticalGauge.quadratic": "(a, b)",
    "OpticalGauge.rational": "(a, b, c)",
    "OpticalGauge.raman_edge": "(k0, k0_prime)",
    "OpticalGauge.pressure_scalar": "($self, position, reference)",
    "OpticalGauge.pressure_array": "($self, position, reference)",
    "OpticalGauge.position_scalar": "($self, pressure, reference)",
    "OpticalGauge.position_array": "($self, pressure, reference)",
    "OpticalGauge.uncertainty":
        "($self, position, reference, position_sigma, reference_sigma, covariance)",
    "delta_method": "(model, names, values, covariance, quantity, first, second, "
                    "undetermined=None)",
}
CLASSES = ["RtEos", "HugoniotEos", "ThermalEos", "LeastSquaresResult", "LinearPropagation",
           "MonteCarloSummary"]
HUGONIOT = HugoniotEos.linear_us_up(10.0, 3.0, 5.0, 1.5, 2.0)
MGD = ThermalEos.mie_gruneisen_debye(BM3, 300.0, 760.0, 1.5, 1.2, 2.0)


def test_registration():
    assert _engine.__all__ == [
        *CLASSES, "fit_least_squares", "fit_rt_eos_native", "fit_thermal_eos_native",
        "linear_uncertainty", "monte_carlo_summary", "holzapfel_derivative_analytical",
        "OpticalGauge", "delta_method"]
    for name in [*CLASSES, "OpticalGauge"]:
        cls = getattr(_engine, name)
        assert (cls.__module__, cls.__qualname__) == ("barometra._engine", name) and cls.__doc__
    assert _engine.holzapfel_derivative_analytical.__module__ == "barometra._engine"
    published = {f"RtEos.{name}" for name in vars(RtEos) if not name.startswith("_")}
    functions = {name for name in SIGNATURES if "." not in name}
    assert published | functions == {path for path in SIGNATURES if "." not in path
                                     or path.startswith("RtEos.")} | {
        "RtEos.model_name", "RtEos.reference_volume", "RtEos.implied_k0_double_prime"}


@pytest.mark.parametrize(("path", "text"), SIGNATURES.items())
def test_signature(path, text):
    owner, _, name = path.rpartition(".")
    function = getattr(getattr(_engine, owner) if owner else _engine, name)
    assert function.__text_signature__ == text
    assert str(inspect.signature(function)) == text.replace("$self", "self, /").replace(
        '"linear"', "'linear'")
    assert function.__doc__
    if owner:  # constructors are static methods, the rest plain methods
        static = isinstance(inspect.getattr_static(getattr(_engine, owner), name), staticmethod)
        assert static == ("$self" not in text)
    if owner == "RtEos" and name in METHODS:  # the parser accepts the published names as keywords
        names = text[len("($self, "):-1].split(", ")
        arguments = [np.array([4.5]) if name.endswith("_array") else 4.5, 1e-4][: len(names)]
        method = getattr(HOLZAPFEL, name)
        np.testing.assert_array_equal(method(**dict(zip(names, arguments))), method(*arguments))


def test_no_python_constructor_and_immutable():
    with pytest.raises(TypeError, match="cannot create 'barometra._engine.RtEos' instances"):
        RtEos()
    for attempt in (lambda: RtEos.__new__(RtEos), lambda: type("Sub", (RtEos,), {}),
                    lambda: setattr(RtEos, "pressure_scalar", None)):
        with pytest.raises(TypeError):
            attempt()
    for attribute in ("model_name", "anything"):
        with pytest.raises(AttributeError):
            setattr(BM3, attribute, "Vinet")
    assert BM3.model_name == "BM3"


@pytest.mark.parametrize(
    ("call", "message"),
    [
        (lambda: HOLZAPFEL.pressure_scalar(),
         "pressure_scalar() missing required argument 'volume' (pos 1)"),
        (lambda: HOLZAPFEL.pressure_scalar(1.0, 2.0),
         "pressure_scalar() takes at most 1 argument (2 given)"),
        (lambda: HOLZAPFEL.pressure_scalar(1.0, volume=1.0),
         "argument for pressure_scalar() given by name ('volume') and position (1)"),
        (lambda: HOLZAPFEL.bulk_modulus_derivative_scalar(9.0),
         "bulk_modulus_derivative_scalar() missing required argument 'epsilon' (pos 2)"),
        (lambda: RtEos.bm3(10.0, 160.0), "bm3() missing required argument 'k0_prime' (pos 3)"),
        (lambda: HOLZAPFEL.volume_scalar(None),
         "volume_scalar() argument 'pressure' must be a real number, not NoneType"),
        (lambda: _engine.holzapfel_derivative_analytical(1.0, 1.0, 1.0, 1.0, 1.0, c3=1.0),
         "holzapfel_derivative_analytical() got an unexpected keyword argument 'c3'"),
        (lambda: HUGONIOT.evaluate_scalar(b"pressure", 8.0),
         "evaluate_scalar() argument 'quantity' must be str, not bytes"),
        (lambda: MGD.volume_with_dac_confinement_array(np.ones(2), np.ones(2, dtype=np.int64), 0.5),
         "volume_with_dac_confinement_array() argument 'temperatures' must be a numpy.ndarray of "
         "dtype float64, not numpy.ndarray of dtype int64"),
        # A constructor's types are checked before any value (tr = -1 is invalid).
        (lambda: ThermalEos.linear_thermal_pressure(1.0, -1.0, 0.006),
         "linear_thermal_pressure() argument 'rt_eos' must be RtEos, not float"),
        (lambda: ThermalEos.mie_gruneisen_debye(BM3, -1.0, 760.0, 1.5, 1.2, 2.0, cvmax="1"),
         "mie_gruneisen_debye() argument 'cvmax' must be a real number, not str"),
        (lambda: ThermalEos.mie_gruneisen_debye(BM3, -1.0, 760.0, 1.5, 1.2, 2.0,
                                                debye_temperature_law=1),
         "mie_gruneisen_debye() argument 'debye_temperature_law' must be str, not int"),
    ],
)
def test_argument_errors(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message


@pytest.mark.parametrize(
    ("value", "error"),
    [(9, None), (np.float32(9.0), None), (np.array(9.0), None),
     (type("Floaty", (), {"__float__": lambda self: 9.0})(), None),
     (type("Indexy", (), {"__index__": lambda self: 9})(), None), (10**400, OverflowError),
     (type("Bad", (), {"__float__": lambda self: "9"})(), TypeError),
     (np.array([9.0, 9.0]), TypeError)],
)
def test_scalars_use_python_float_conversion(value, error):
    if error is None:
        assert BM3.pressure_scalar(value) == BM3.pressure_scalar(9.0)
    else:
        with pytest.raises(error):
            BM3.pressure_scalar(value)


@pytest.mark.skipif(not sysconfig.get_config_var("Py_GIL_DISABLED"),
                    reason="needs a free-threaded interpreter")
def test_importing_does_not_turn_the_gil_on():
    script = ("import sys; before = sys._is_gil_enabled(); import barometra._engine; "
              "print(before == sys._is_gil_enabled())")
    completed = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                               timeout=120, check=True)
    assert completed.stdout.strip() == "True"


@pytest.mark.skipif(sys.version_info < (3, 12), reason="interpreters of their own since 3.12")
def test_a_subinterpreter_cannot_load_the_module():
    # The classes are process-wide, so only the main interpreter may have them.
    interpreters = pytest.importorskip(
        "_interpreters" if sys.version_info >= (3, 13) else "_xxsubinterpreters")
    script = ("import importlib.util as util; "
              f"util.module_from_spec(util.spec_from_file_location('barometra._engine', "
              f"{_engine.__file__!r}))")
    interpreter = interpreters.create()
    try:
        failure = interpreters.run_string(interpreter, script)
    except Exception as error:  # noqa: BLE001  (3.12 raises what 3.13 returns)
        failure = error
    finally:
        interpreters.destroy(interpreter)
    assert "does not support loading in subinterpreters" in str(getattr(failure, "msg", failure))
