"""fit_rt_eos_native and fit_thermal_eos_native: agreement with SciPy, the
covariance against a Monte Carlo, the result's shapes, the argument and input
errors, and threads."""

import threading
from concurrent.futures import ThreadPoolExecutor

import numpy as np
import pytest

from barometra import _engine, errors
from barometra._engine import RtEos, ThermalEos, fit_rt_eos_native, fit_thermal_eos_native

scipy_optimize = pytest.importorskip("scipy.optimize")

NAMES = ["V0", "K0", "K0_prime"]
TRUTH = np.array([11.0, 160.0, 4.5])
START = np.array([10.5, 130.0, 5.5])
LOWER, UPPER = np.array([1.0, 1.0, -10.0]), np.array([100.0, 1000.0, 20.0])
MODEL = RtEos.bm3(*TRUTH)


def bm3(v, v0, k0, kp):
    """An independent NumPy BM3, as a SciPy user would write it."""
    f = (v0 / v) ** (2.0 / 3.0)
    return 1.5 * k0 * (f**3.5 - f**2.5) * (1.0 + 0.75 * (kp - 4.0) * (f - 1.0))


def synthetic(n, seed, sigma_p=0.2, sigma_v=0.005):
    rng = np.random.default_rng(seed)
    v_true = np.linspace(11.0, 8.8, n)
    p = bm3(v_true, *TRUTH) + rng.normal(0.0, sigma_p, n)
    v = v_true + rng.normal(0.0, sigma_v, n)
    return p, v, np.full(n, sigma_p), np.full(n, sigma_v)


def fit(p, v, sp, **options):
    return fit_rt_eos_native(MODEL, NAMES, START, LOWER, UPPER, p, v, sp, **options)


def test_weighted_fit_agrees_with_scipy():
    p, v, sp, _ = synthetic(30, 1)
    ours = fit(p, v, sp)
    ref = scipy_optimize.least_squares(lambda x: (bm3(v, *x) - p) / sp, START,
                                       xtol=1e-15, ftol=1e-15, gtol=1e-15)
    assert ours.success
    np.testing.assert_allclose(ours.x, ref.x, rtol=1e-7)
    np.testing.assert_allclose(ours.parameter_covariance, np.linalg.inv(ref.jac.T @ ref.jac),
                               rtol=1e-5)
    np.testing.assert_allclose(ours.predicted_pressure, bm3(v, *ours.x), rtol=1e-12)
    assert ours.x.shape == (3,) and ours.jac.shape == (30, 3)


def test_errors_in_variables_fit_agrees_with_a_dense_scipy_fit():
    p, v, sp, sv = synthetic(25, 2)

    def residuals(x):
        return np.concatenate([(bm3(x[3:], *x[:3]) - p) / sp, (x[3:] - v) / sv])

    ours = fit(p, v, sp, volume_sigma=sv)
    ref = scipy_optimize.least_squares(residuals, np.concatenate([START, v]),
                                       xtol=1e-15, ftol=1e-15, gtol=1e-15)
    assert ours.x.shape == (28,) and ours.fun.shape == (50,)
    np.testing.assert_allclose(ours.x, ref.x, rtol=1e-6)
    profiled = np.linalg.inv(ref.jac.T @ ref.jac)[:3, :3]
    np.testing.assert_allclose(ours.parameter_covariance, profiled, rtol=1e-4)
    np.testing.assert_allclose(ours.predicted_pressure, bm3(ours.x[3:], *ours.x[:3]), rtol=1e-12)


def test_profiled_standard_errors_match_a_monte_carlo():
    n, runs = 25, 600
    fits = [fit(*synthetic(n, 100 + seed)[:3], volume_sigma=synthetic(n, 0)[3])
            for seed in range(runs)]
    assert all(r.success for r in fits)
    scatter = np.std([r.x[:3] for r in fits], axis=0, ddof=1)
    reported = np.sqrt(np.mean([np.diag(r.parameter_covariance) for r in fits], axis=0))
    np.testing.assert_allclose(reported, scatter, rtol=0.15)


def test_running_out_of_budget_returns_an_unsuccessful_result():
    p, v, sp, _ = synthetic(10, 4)
    r = fit(p, v, sp, max_nfev=2)
    assert (r.success, r.status) == (False, 0)
    assert r.parameter_covariance.shape == (3, 3)


def test_eos_fit_holds_the_statistics_and_the_fitted_states():
    p, v, sp, sv = synthetic(12, 6)
    raw = fit(p, v, sp, volume_sigma=sv)
    statistics = raw.eos_fit
    assert statistics.chi_square == pytest.approx(2 * raw.cost, rel=1e-12)
    assert statistics.degrees_of_freedom == 24 - 15
    np.testing.assert_array_equal(statistics.volumes, raw.x[3:])
    assert statistics.temperatures is None
    np.testing.assert_allclose(statistics.standard_errors ** 2,
                               np.diag(raw.parameter_covariance), rtol=1e-12)
    plain = fit(p, v, sp).eos_fit
    np.testing.assert_array_equal(plain.volumes, v)


P, V, S = synthetic(4, 5)[:3]
# Keyword changes -> (exception class, message). The order of the input checks
# is the core's (fit_eos_test.cpp); here the exception each kind becomes.
BAD_INPUTS = {
    # (N, 2, 2) factors are read as N 2 x 2 blocks.
    "cholesky": (dict(volume_sigma=S, observation_cholesky=np.tile([[1.0, 0.1], [0.0, 1.0]],
                                                                   (4, 1, 1))),
                 errors.FitValidationError, "observation Cholesky factors must be lower triangular"),
    "unknown_name": (dict(parameter_names=["V0", "K0", "K0p"]), errors.FitValidationError,
                     'parameter "K0p" is unavailable for the native EOS'),
    "trial_model": (dict(initial=np.array([11.0, -5.0, 4.0]),
                         lower=np.array([1.0, -10.0, 0.0])), errors.FitEosValidationError,
                    "invalid parameter K0: must be positive and finite"),
    # The start is valid; its central difference steps K0 below zero.
    "mid_fit": (dict(initial=np.array([11.0, 1e-9, 4.0]), lower=np.array([1.0, -1.0, 0.0])),
                errors.FitEosValidationError, "invalid parameter K0: must be positive and finite"),
}


@pytest.mark.parametrize("case", BAD_INPUTS)
def test_bad_input_raises_its_fit_error(case):
    changes, cls, message = BAD_INPUTS[case]
    arguments = dict(model=MODEL, parameter_names=NAMES, initial=START, lower=LOWER,
                     upper=UPPER, pressure=P, volume=V, pressure_sigma=S) | changes
    with pytest.raises(cls) as info:
        fit_rt_eos_native(**arguments)
    assert str(info.value) == message
    assert info.value.operation == "fit"
    if case in ("trial_model", "mid_fit"):
        assert (info.value.code, info.value.field) == ("eos.invalid_parameter", "K0")
    if case == "cholesky":
        assert (info.value.field, info.value.index) == ("observation_cholesky", 0)


def test_the_published_losses_are_those_the_fits_take():
    for loss in _engine.LOSSES:
        fit(P, V, S, loss=loss)
    with pytest.raises(errors.FitValidationError, match="^unsupported loss function: L2$") as info:
        fit(P, V, S, loss="L2")
    assert (info.value.field, info.value.index) == ("loss", None)


@pytest.mark.parametrize(("position", "value", "match"), [
    (0, None, "argument 'model' must be barometra._engine.RtEos, not NoneType"),
    (1, "V0", "argument 'parameter_names' must be a sequence of str, not str"),
    (1, ["V0", 1], "argument 'parameter_names' must contain only str, not int"),
    (5, list(P), "argument 'pressure' must be a numpy.ndarray of dtype float64, not list"),
    (6, V.astype(np.float32), "argument 'volume' must be a numpy.ndarray of dtype float64"),
])
def test_argument_types_are_checked_before_any_computation(position, value, match):
    arguments = [MODEL, NAMES, START, LOWER, UPPER, P, V, S]
    arguments[position] = value
    with pytest.raises(TypeError, match=match):
        fit_rt_eos_native(*arguments)


def test_threads_fit_at_once_and_get_the_sequential_results():
    data = [synthetic(200, 10 + t) for t in range(4)]
    expected = [fit(p, v, sp, volume_sigma=sv).x for p, v, sp, sv in data]
    barrier = threading.Barrier(len(data))

    def work(t):
        barrier.wait(timeout=60)
        p, v, sp, sv = data[t]
        return [fit(p, v, sp, volume_sigma=sv).x for _ in range(3)]

    with ThreadPoolExecutor(len(data)) as pool:
        for got, want in zip(pool.map(work, range(len(data)), timeout=300), expected):
            for x in got:
                np.testing.assert_array_equal(x, want)


# --- fit_thermal_eos_native -------------------------------------------------

THERMAL_NAMES = ["rt_eos.K0", "theta0", "gamma0", "q"]
THERMAL_START = np.array([140.0, 600.0, 1.0, 1.0])
THERMAL_LOWER, THERMAL_UPPER = np.array([50.0, 100.0, 0.1, 0.1]), np.array([400.0, 3e3, 5, 5])


def mgd(k0=160.0, theta0=900.0, gamma0=1.5, q=1.2):
    return ThermalEos.mie_gruneisen_debye(RtEos.bm3(1.1, k0, 4.5), 300.0, theta0, gamma0, q, 3.0)


def pvt():
    rng = np.random.default_rng(21)
    v = np.tile(np.linspace(1.1, 0.93, 8), 4)
    t = np.repeat([300.0, 800.0, 1300.0, 1800.0], 8)
    p = mgd().evaluate_array("pressure", v, t) + rng.normal(0, 0.1, 32)
    v, t = v + rng.normal(0, 1e-3, 32), t + rng.normal(0, 10, 32)
    return p, v, t, np.full(32, 0.1), np.full(32, 1e-3), np.full(32, 10.0)


def thermal_fit(p, v, t, sp, **options):
    return fit_thermal_eos_native(mgd(), THERMAL_NAMES, THERMAL_START, THERMAL_LOWER,
                                  THERMAL_UPPER, p, v, t, sp, **options)


def test_thermal_errors_in_variables_fit_agrees_with_a_dense_scipy_fit():
    p, v, t, sp, sv, st = pvt()

    def residuals(x):
        model = mgd(*x[:4])
        vl, tl = x[4:36], x[36:]
        return np.concatenate([(model.evaluate_array("pressure", vl, tl) - p) / sp,
                               (vl - v) / sv, (tl - t) / st])

    ours = thermal_fit(p, v, t, sp, volume_sigma=sv, temperature_sigma=st)
    ref = scipy_optimize.least_squares(residuals, np.concatenate([THERMAL_START, v, t]),
                                       xtol=1e-15, ftol=1e-15, gtol=1e-15)
    assert ours.x.shape == (4 + 64,) and ours.fun.shape == (96,)
    assert ours.predicted_pressure.shape == (32,)
    np.testing.assert_allclose(ours.x, ref.x, rtol=1e-5)
    profiled = np.linalg.inv(ref.jac.T @ ref.jac)[:4, :4]
    np.testing.assert_allclose(ours.parameter_covariance, profiled, rtol=1e-3)


P3, V3, T3, S3 = pvt()[:4]


def test_thermal_names_are_native_and_reference_ones_prefixed():
    with pytest.raises(errors.FitValidationError,
                       match='^parameter "K0" is unavailable for the native EOS$'):
        fit_thermal_eos_native(mgd(), ["K0", "theta0", "gamma0", "q"], THERMAL_START,
                               THERMAL_LOWER, THERMAL_UPPER, P3, V3, T3, S3)


def test_each_function_takes_only_its_own_model_class():
    with pytest.raises(TypeError, match="must be barometra._engine.RtEos, not .*ThermalEos"):
        fit_rt_eos_native(mgd(), NAMES, START, LOWER, UPPER, P, V, S)
    with pytest.raises(TypeError, match="must be barometra._engine.ThermalEos, not .*RtEos"):
        fit_thermal_eos_native(MODEL, THERMAL_NAMES, THERMAL_START, THERMAL_LOWER,
                               THERMAL_UPPER, P3, V3, T3, S3)
