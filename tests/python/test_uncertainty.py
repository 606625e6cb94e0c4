"""linear_uncertainty and monte_carlo_summary against NumPy."""

import numpy as np
import pytest

from barometra import errors
from barometra._engine import (LinearPropagation, MonteCarloSummary, linear_uncertainty,
                               monte_carlo_summary)

RNG = np.random.default_rng(9)


@pytest.mark.parametrize("full", [False, True])
def test_linear_uncertainty_is_the_delta_method(full):
    jacobian = RNG.normal(size=(4, 3))
    root = RNG.normal(size=(3, 3))
    covariance = root @ root.T
    state = np.array([0.0, 0.5, 1.0, 2.0])
    result = linear_uncertainty(jacobian.T.copy().T, covariance, state, full_covariance=full)
    assert isinstance(result, LinearPropagation)
    expected = jacobian @ covariance @ jacobian.T + np.diag(state)
    np.testing.assert_allclose(result.variance, np.diag(expected), rtol=1e-12)
    if full:
        np.testing.assert_allclose(result.covariance, expected, rtol=1e-12, atol=1e-14)
        assert result.covariance is not result.covariance
    else:
        assert result.covariance is None


# The core's checks and their order are tested in the core; here, how they surface.
@pytest.mark.parametrize(
    ("call", "cls", "code", "message"),
    [
        (lambda: linear_uncertainty(np.ones(2), np.eye(2), np.zeros(1)), errors.ValidationError,
         "validation.invalid_input", "jacobian must be two-dimensional"),
        (lambda: linear_uncertainty(np.ones((1, 2)), np.array([[1.0, 2.0], [2.0, 1.0]]),
                                    np.zeros(1)),
         errors.FitValidationError, "fit.invalid_input",
         "parameter covariance must be positive semidefinite"),
        (lambda: monte_carlo_summary(np.arange(5.0), 0.5), errors.ValidationError,
         "validation.invalid_input", "samples must be two-dimensional"),
        (lambda: monte_carlo_summary(np.ones((1, 2)), 0.5), errors.FitValidationError,
         "fit.invalid_input", "invalid Monte Carlo samples or confidence"),
    ],
)
def test_errors(call, cls, code, message):
    with pytest.raises(errors.BarometraError) as info:
        call()
    assert (type(info.value), str(info.value), info.value.code) == (cls, message, code)


@pytest.mark.parametrize("confidence", [0.0, 0.5, 0.683, 0.95])
def test_monte_carlo_matches_numpy(confidence):
    samples = RNG.normal(size=(101, 3)) * [1.0, 10.0, 0.1]
    result = monte_carlo_summary(samples, confidence, full_covariance=True)
    assert isinstance(result, MonteCarloSummary)
    alpha = 1.0 - confidence
    np.testing.assert_allclose(result.lower, np.percentile(samples, 50 * alpha, axis=0,
                                                           method="linear"), rtol=1e-13)
    np.testing.assert_allclose(result.upper, np.percentile(samples, 100 - 50 * alpha, axis=0,
                                                           method="linear"), rtol=1e-13)
    np.testing.assert_allclose(result.standard_error, samples.std(axis=0, ddof=1), rtol=1e-12)
    np.testing.assert_allclose(result.covariance, np.cov(samples, rowvar=False), rtol=1e-12)
    assert monte_carlo_summary(samples, confidence).covariance is None


@pytest.mark.parametrize(
    "call",
    [
        lambda: linear_uncertainty([[1.0]], np.eye(1), np.zeros(1)),
        lambda: linear_uncertainty(np.eye(1), np.eye(1), np.zeros(1), full_covariance=1),
        lambda: monte_carlo_summary(np.ones((2, 1)), "0.5"),
        lambda: monte_carlo_summary(np.ones((2, 1), np.float32), 0.5),
    ],
)
def test_argument_errors(call):
    with pytest.raises(TypeError):
        call()
