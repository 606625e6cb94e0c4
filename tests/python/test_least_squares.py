"""fit_least_squares and LeastSquaresResult: agreement with SciPy, the
structured layout, the residual-callback rules and the error messages."""

import importlib.util
import pathlib

import numpy as np
import pytest

from barometra import errors
from barometra._engine import LeastSquaresResult, RtEos, fit_least_squares, fit_rt_eos_native

scipy_optimize = pytest.importorskip("scipy.optimize")

_spec = importlib.util.spec_from_file_location(
    "nls_problems", pathlib.Path(__file__).parents[2] / "bench" / "nls_problems.py")
NLS = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(NLS)
CLASSIC = {p.name: p for p in NLS.PROBLEMS}

LOSSES = ["linear", "soft_l1", "huber", "cauchy", "arctan"]
INF = np.inf
T = np.linspace(0.0, 4.0, 25)
NOISE = np.random.default_rng(5).normal(0.0, 0.05, T.size)
NOISE[[3, 17]] += 1.5  # outliers, so the losses differ
decay, peak = NLS.noisy_curves(T, NOISE)
rosenbrock = NLS.rosenbrock


# name -> (residuals, x0, lower, upper, cost and x tolerances). The bounded
# Rosenbrock ends on its bound x0 = 0.8.
PROBLEMS = {
    "decay": (decay, [1.0, 1.0, 0.0], [-INF] * 3, [INF] * 3, 1e-8, 1e-4),
    "peak": (peak, [2.0, 2.0, 0.8], [0.0, 0.0, 0.1], [10.0, 4.0, 3.0], 1e-8, 1e-4),
    "rosenbrock": (rosenbrock, [-1.2, 1.0], [-INF, -INF], [INF, INF], 1e-8, 1e-4),
    "rosenbrock_bounded": (rosenbrock, [-1.2, 1.0], [-INF, -INF], [0.8, INF], 1e-8, 1e-4),
}


def fit(function, x0, lower, upper, **options):
    return fit_least_squares(function, np.array(x0, float), np.array(lower, float),
                             np.array(upper, float), **options)


@pytest.mark.parametrize("loss", LOSSES)
@pytest.mark.parametrize("name", PROBLEMS)
def test_agrees_with_scipy(name, loss):
    function, x0, lower, upper, cost_tolerance, x_tolerance = PROBLEMS[name]
    f_scale = 0.1
    ours = fit(function, x0, lower, upper, loss=loss, f_scale=f_scale)
    ref = scipy_optimize.least_squares(function, x0, bounds=(lower, upper), loss=loss,
                                       f_scale=f_scale, ftol=1e-14, xtol=1e-14, gtol=1e-14)
    assert ours.success and 1 <= ours.status <= 4
    # ftol = 1e-8 stops on an absolute cost change below 1: the costs agree to
    # that, the parameters to its square root.
    assert ref.cost - 1e-12 <= ours.cost <= ref.cost + cost_tolerance * max(ref.cost, 1.0)
    np.testing.assert_allclose(ours.x, ref.x, rtol=x_tolerance, atol=1e-6)
    np.testing.assert_allclose(ours.fun, function(ours.x), rtol=0, atol=0)
    # Both report the Jacobian scaled for the loss in the same way: SciPy's
    # (forward differences) at our x, and the covariance (J^T J)^+ from it.
    at_ours = scipy_optimize.least_squares(function, ours.x, bounds=(lower, upper), loss=loss,
                                           f_scale=f_scale, max_nfev=1).jac
    scale = np.abs(at_ours).max()
    np.testing.assert_allclose(ours.jac, at_ours, rtol=1e-6, atol=1e-6 * scale)
    if name == "rosenbrock_bounded":
        assert ours.x[0] == 0.8
    # Where the robust scaling leaves the rows nearly rank one (the bounded
    # Rosenbrock's large second residual) the covariance is not determined.
    if np.linalg.cond(at_ours) < 1e6:
        expected = np.linalg.pinv(at_ours.T @ at_ours)
        np.testing.assert_allclose(ours.parameter_covariance, expected, rtol=1e-4,
                                   atol=1e-5 * np.abs(expected).max())



# Stopping tests that fire short of the minimum: a bound that cuts every step
# short (BM3, Rosenbrock, Kowalik-Osborne, Misra), and a cost below 1, where
# the cost-change test is absolute (three exponentials, Box 3-D).
@pytest.mark.parametrize("name", ["BM3 on its bounds", "three exponentials",
                                  "Rosenbrock, x1 <= 0.5", "Kowalik-Osborne, x1 <= 0.19",
                                  "Misra 1a, x1 <= 200", "Box 3-D"])
def test_a_success_is_a_minimum(name):
    p = CLASSIC[name]
    ours = fit_least_squares(p.residuals, p.start, p.lower, p.upper)
    ref = scipy_optimize.least_squares(p.residuals, p.start, bounds=(p.lower, p.upper),
                                       ftol=1e-15, xtol=1e-15, gtol=1e-15, max_nfev=10000)
    assert ours.success
    assert ours.cost <= ref.cost * (1 + 1e-6) + 1e-25
    np.testing.assert_allclose(ours.x, ref.x, rtol=1e-3)
    if name == "BM3 on its bounds":  # the same fit, native: K0 and K0' on their upper bounds
        native = fit_rt_eos_native(RtEos.bm3(11.25, 160.0, 4.15), ["V0", "K0", "K0_prime"],
                                   p.start, p.lower, p.upper, NLS.BM3_P, NLS.BM3_V,
                                   np.full(15, 0.2))
        assert native.success and list(native.x[1:]) == [155.0, 4.0]
        np.testing.assert_allclose(native.x, ref.x, rtol=1e-8)


BM3_MODEL = RtEos.bm3(11.25, 160.0, 4.15)
BM3_NAMES = ["V0", "K0", "K0_prime"]
BM3_BOX = np.array([1.0, 1.0, -10.0]), np.array([100.0, 1000.0, 20.0])


def test_an_infinite_starting_cost_fails_naming_the_residual():
    v = np.linspace(9.0, 11.0, 10)
    p = BM3_MODEL.pressure_array(v)
    p[3] = 1e300  # finite, but its square overflows
    with pytest.raises(errors.FitError) as info:
        fit_rt_eos_native(BM3_MODEL, BM3_NAMES, np.array([11.0, 150.0, 4.0]), *BM3_BOX, p, v,
                          np.full(10, 0.1))
    assert info.value.code == "fit.evaluation_failed"
    assert str(info.value) == "cost is not finite at the initial values (residual 3)"


# Underdetermined fits with latent volumes leave rounding in the null
# directions of the profiled information; tiny sigmas overflow it.
@pytest.mark.parametrize("start, p, v, sp, sv", [
    ([11.2920638, 176.73509733, 3.98989037], [41.17679802], [9.40294932], [0.03147655],
     [0.08907995]),
    ([11.0, 150.0, 4.5], [38.56637664838993, 3.6673750571988166], [9.5, 11.0], [0.05, 0.05], [0.08, 0.08]),
])
def test_underdetermined_fits_keep_their_covariance(start, p, v, sp, sv):
    r = fit_rt_eos_native(BM3_MODEL, BM3_NAMES, np.array(start), *BM3_BOX, np.array(p),
                          np.array(v), np.array(sp), volume_sigma=np.array(sv))
    assert r.success and np.all(np.isfinite(r.parameter_covariance))


def test_an_overflowing_information_matrix_is_a_numerical_failure():
    v = np.linspace(9.0, 11.0, 10)
    with pytest.raises(errors.FitNumericalError):
        fit_rt_eos_native(BM3_MODEL, BM3_NAMES, np.array([11.25, 160.0, 4.15]), *BM3_BOX,
                          BM3_MODEL.pressure_array(v), v, np.full(10, 1e-300))


def test_max_nfev_is_the_engine_budget_and_the_counts_are_python_types():
    # The engine's worked cases are tested in the core; this one through the binding.
    r = fit(lambda x: x - 3.0, [0.0], [-10.0], [10.0], max_nfev=1)
    assert (r.status, r.nfev, r.njev, r.success) == (0, 1, 1, False)
    assert r.message == "The maximum number of function evaluations is exceeded."
    assert isinstance(r.nfev, int) and isinstance(r.success, bool)


# Errors in both variables: y_k = a + b u_k with every u_k latent. Its rows
# have the assumed sparsity, so the structured fit must find the dense fit's
# optimum, and its profiled covariance is the dense covariance's leading block.
def deming(points, seed=1):
    rng = np.random.default_rng(seed)
    u_obs = np.linspace(0.0, 10.0, points) + rng.normal(0, 0.2, points)
    y_obs = 1.0 + 0.5 * np.linspace(0.0, 10.0, points) + rng.normal(0, 0.1, points)

    def residuals(x):
        u = x[2:]
        return np.concatenate([(x[0] + x[1] * u - y_obs) / 0.1, (u - u_obs) / 0.2])

    x0 = np.concatenate([[0.0, 1.0], u_obs])
    return residuals, x0


@pytest.mark.parametrize("points", [3, 50])
def test_structured_fit_equals_the_dense_fit(points):
    residuals, x0 = deming(points)
    lower, upper = np.full(x0.size, -INF), np.full(x0.size, INF)
    dense = fit_least_squares(residuals, x0, lower, upper)
    structured = fit_least_squares(residuals, x0, lower, upper, global_parameter_count=2,
                                   point_count=points, latent_coordinate_count=1)
    np.testing.assert_allclose(structured.x, dense.x, rtol=1e-7, atol=1e-9)
    np.testing.assert_allclose(structured.cost, dense.cost, rtol=1e-9)
    np.testing.assert_allclose(structured.jac, dense.jac, rtol=1e-6, atol=1e-9)
    # Fewer evaluations per Jacobian: 2 per global and 2 for all latents.
    assert structured.parameter_covariance.shape == (2, 2)
    np.testing.assert_allclose(structured.parameter_covariance,
                               dense.parameter_covariance[:2, :2], rtol=1e-6)


def test_badly_scaled_parameters_keep_their_standard_errors():
    # y = b1 (1 - exp(-b2 x)), b1 near 500 and b2 near 1e-4.
    x = np.linspace(77.6, 790.0, 14)
    y = 500.0 * (1.0 - np.exp(-1e-4 * x)) * (1.0 + 0.01 * np.sin(x))
    r = fit(lambda b: b[0] * (1.0 - np.exp(-b[1] * x)) - y, [450.0, 1.2e-4], [0.0, 0.0],
            [INF, INF])
    jac = r.jac
    scale = np.sqrt(np.diag(jac.T @ jac))
    independent = np.linalg.inv((jac / scale).T @ (jac / scale)) / np.outer(scale, scale)
    np.testing.assert_allclose(r.parameter_covariance, independent, rtol=1e-8)
    assert np.all(np.diag(r.parameter_covariance) > 0.0)


def test_result_is_an_immutable_snapshot_with_fresh_arrays():
    r = fit(lambda x: np.array([x[0] - 1.0, x[1] + 2.0, x[0] * x[1]]), [0.5, 0.5], [-5, -5],
            [5, 5])
    assert isinstance(r, LeastSquaresResult)
    x = r.x
    x[0] = 99.0
    assert r.x[0] != 99.0 and r.x is not r.x
    assert r.jac.shape == (3, 2) and r.fun.shape == (3,)
    assert r.predicted_pressure is None
    np.testing.assert_allclose(r.parameter_covariance, np.linalg.pinv(r.jac.T @ r.jac),
                               rtol=1e-10)
    with pytest.raises(AttributeError):
        r.x = x
    with pytest.raises(TypeError):
        LeastSquaresResult()
    assert repr(r).startswith("LeastSquaresResult(status=")


def test_callback_gets_a_fresh_array_and_any_shape_is_flattened():
    seen = []

    def residuals(x):
        seen.append(x)
        assert x.dtype == np.float64 and x.ndim == 1 and x.flags.writeable
        value = np.array([[x[0] - 1.0, 2.0 * x[0], 0.0], [x[0], 1.0, -x[0]]])
        x[0] = 1e6  # the engine must not see this
        return value.T.copy().T  # a 2 x 3 Fortran-ordered array, read in row-major order

    r = fit(residuals, [0.5], [-10.0], [10.0])
    assert len({id(x) for x in seen}) == len(seen) == r.nfev + 2 * r.njev
    assert r.fun.shape == (6,)
    np.testing.assert_allclose(r.fun, [r.x[0] - 1.0, 2 * r.x[0], 0.0, r.x[0], 1.0, -r.x[0]])


class Unprintable(Exception):
    def __str__(self):
        raise RuntimeError("no")


def raising(exception):
    def residuals(x):
        raise exception
    return residuals


def later(first_call, then):
    calls = []

    def residuals(x):
        calls.append(1)
        return np.array([x[0], 1.0]) if len(calls) == 1 else then(x)
    return residuals


INVALID = "residual evaluation returned an invalid vector"


@pytest.mark.parametrize(
    ("residuals", "message"),
    [
        (raising(ValueError("boom")), "ValueError: boom"),
        (raising(Unprintable()), "Unprintable: <exception str() failed>"),
        (lambda x: [1.0], "residual function must return a numpy.ndarray of dtype float64, "
                          "not list"),
        (lambda x: np.array([1, 2]), "residual function must return a numpy.ndarray of "
                                     "dtype float64, not numpy.ndarray of dtype int64"),
        (later(1, lambda x: np.array([x[0]])), INVALID),
    ],
)
def test_callback_failures_become_fit_errors(residuals, message):
    with pytest.raises(errors.FitError) as info:
        fit(residuals, [0.5], [-1.0], [1.0])
    e = info.value
    assert (type(e), str(e), e.code, e.operation) == (
        errors.FitError, message, "fit.evaluation_failed", "fit")


LINE = lambda x: np.append(x - 3.0, 1.0)  # noqa: E731


@pytest.mark.parametrize(
    ("arguments", "options", "message"),
    [
        (([0.0], [-1.0], [1.0]), {"point_count": 1},
         "all structured least-squares dimensions must be supplied together"),
        (([0.0, 1.0], [-1.0] * 2, [1.0] * 2),
         {"global_parameter_count": 1, "point_count": 2, "latent_coordinate_count": 1},
         "structured layout does not match the parameter vector"),
        (([0.0], [-1.0], [1.0]),
         {"global_parameter_count": 1, "point_count": 0, "latent_coordinate_count": 1},
         "structured layout does not match the parameter vector"),
        (([0.0], [-1.0], [1.0]), {"loss": "Huber"}, "unsupported loss function: Huber"),
        (([0.0], [-1.0], [1.0]), {"loss": "Huber", "point_count": 1},
         "unsupported loss function: Huber"),
        (([0.0], [-1.0], [1.0]), {"max_nfev": 0}, "max_evaluations must be positive"),
        (([0.0, 0.0], [-1.0] * 2, [1.0] * 2),
         {"global_parameter_count": 1, "point_count": 1, "latent_coordinate_count": 1},
         "structured layout does not match the residual vector"),
    ],
)
def test_invalid_input_in_order(arguments, options, message):
    with pytest.raises(errors.FitValidationError) as info:
        fit(LINE, *arguments, **options)
    e = info.value
    assert (str(e), e.code, e.operation, e.field) == (message, "fit.invalid_input", "fit", None)


@pytest.mark.parametrize(
    ("call", "error"),
    [
        (lambda: fit_least_squares(3, *[np.zeros(1)] * 3), TypeError),
        (lambda: fit_least_squares(LINE, [0.0], np.zeros(1), np.ones(1)), TypeError),
        (lambda: fit_least_squares(LINE, *[np.zeros(1, np.float32)] * 3), TypeError),
        (lambda: fit(LINE, [0.0], [-1.0], [1.0], loss=None), TypeError),
        (lambda: fit(LINE, [0.0], [-1.0], [1.0], f_scale="1"), TypeError),
        (lambda: fit(LINE, [0.0], [-1.0], [1.0], max_nfev=2.0), TypeError),
        (lambda: fit(LINE, [0.0], [-1.0], [1.0], max_nfev=-1), ValueError),
        (lambda: fit(LINE, [0.0], [-1.0], [1.0], point_count=2**70), ValueError),
        (lambda: fit_least_squares(LINE, np.zeros(1), np.zeros(1)), TypeError),
    ],
)
def test_argument_errors_before_any_evaluation(call, error):
    with pytest.raises(error) as info:
        call()
    assert not isinstance(info.value, errors.BarometraError)
