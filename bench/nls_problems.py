"""Classic nonlinear least-squares problems, written as residual functions:
exponential sums, Gaussians, rational functions and Rosenbrock-type valleys,
with the starting points they are usually published with, unbounded and
bounded, and two noisy curves. Shared by ``nls_bench.py``,
``least_squares_bench.py`` and the engine's tests.

Each problem is ``(name, residuals, start, lower, upper)`` with NumPy arrays;
unbounded problems have infinite bounds.
"""

from __future__ import annotations

from typing import Callable, NamedTuple

import numpy as np

INF = np.inf


class Problem(NamedTuple):
    name: str
    residuals: Callable[[np.ndarray], np.ndarray]
    start: np.ndarray
    lower: np.ndarray
    upper: np.ndarray


def problem(name, residuals, start, lower=None, upper=None):
    start = np.asarray(start, dtype=float)
    lower = np.full(start.size, -INF) if lower is None else np.asarray(lower, dtype=float)
    upper = np.full(start.size, INF) if upper is None else np.asarray(upper, dtype=float)
    return Problem(name, residuals, start, lower, upper)


def noisy_curves(t, noise):
    """An exponential decay and a Gaussian peak sampled at ``t``, their data
    carrying ``noise``: the residual functions (model - data) of the two."""

    def decay(p):
        return p[0] * np.exp(-p[1] * t) + p[2] - (2.0 * np.exp(-1.3 * t) + 0.5 + noise)

    def peak(p):
        return p[0] * np.exp(-((t - p[1]) ** 2) / (2.0 * p[2] ** 2)) - (
            3.0 * np.exp(-((t - 2.2) ** 2) / 0.5) + noise)

    return decay, peak


def rosenbrock(x):
    return np.array([10.0 * (x[1] - x[0] ** 2), 1.0 - x[0]])


def helical_valley(x):
    theta = np.arctan(x[1] / x[0]) / (2 * np.pi) + (0.5 if x[0] < 0 else 0.0)
    return np.array([10.0 * (x[2] - 10.0 * theta), 10.0 * (np.hypot(x[0], x[1]) - 1.0), x[2]])


def wood(x):
    return np.array([10.0 * (x[1] - x[0] ** 2), 1.0 - x[0], np.sqrt(90.0) * (x[3] - x[2] ** 2),
                     1.0 - x[2], np.sqrt(10.0) * (x[1] + x[3] - 2.0),
                     (x[1] - x[3]) / np.sqrt(10.0)])


def powell_badly_scaled(x):
    return np.array([1e4 * x[0] * x[1] - 1.0, np.exp(-x[0]) + np.exp(-x[1]) - 1.0001])


def brown_badly_scaled(x):
    return np.array([x[0] - 1e6, x[1] - 2e-6, x[0] * x[1] - 2.0])


def beale(x):
    i = np.arange(1, 4)
    return np.array([1.5, 2.25, 2.625]) - x[0] * (1.0 - x[1] ** i)


def jennrich_sampson(x):
    i = np.arange(1, 11)
    return 2.0 + 2.0 * i - (np.exp(i * x[0]) + np.exp(i * x[1]))


BARD_Y = np.array([0.14, 0.18, 0.22, 0.25, 0.29, 0.32, 0.35, 0.39, 0.37, 0.58, 0.73, 0.96, 1.34,
                   2.10, 4.39])


def bard(x):
    u = np.arange(1.0, 16.0)
    v = 16.0 - u
    return BARD_Y - (x[0] + u / (v * x[1] + np.minimum(u, v) * x[2]))


GAUSSIAN_Y = np.array([0.0009, 0.0044, 0.0175, 0.0540, 0.1295, 0.2420, 0.3521, 0.3989, 0.3521,
                       0.2420, 0.1295, 0.0540, 0.0175, 0.0044, 0.0009])


def gaussian(x):
    t = (8.0 - np.arange(1, 16)) / 2.0
    return x[0] * np.exp(-x[1] * (t - x[2]) ** 2 / 2.0) - GAUSSIAN_Y


MEYER_Y = np.array([34780, 28610, 23650, 19630, 16370, 13720, 11540, 9744, 8261, 7030, 6005,
                    5147, 4427, 3820, 3307, 2872], dtype=float)


def meyer(x):
    t = 45.0 + 5.0 * np.arange(1, 17)
    return x[0] * np.exp(x[1] / (t + x[2])) - MEYER_Y


def box_3d(x):
    t = 0.1 * np.arange(1, 11)
    return (np.exp(-t * x[0]) - np.exp(-t * x[1])
            - x[2] * (np.exp(-t) - np.exp(-10.0 * t)))


def powell_singular(x):
    return np.array([x[0] + 10.0 * x[1], np.sqrt(5.0) * (x[2] - x[3]), (x[1] - 2.0 * x[2]) ** 2,
                     np.sqrt(10.0) * (x[0] - x[3]) ** 2])


KOWALIK_Y = np.array([0.1957, 0.1947, 0.1735, 0.1600, 0.0844, 0.0627, 0.0456, 0.0342, 0.0323,
                      0.0235, 0.0246])
KOWALIK_U = np.array([4.0, 2.0, 1.0, 0.5, 0.25, 0.167, 0.125, 0.1, 0.0833, 0.0714, 0.0625])


def kowalik_osborne(x):
    u = KOWALIK_U
    return KOWALIK_Y - x[0] * (u * u + u * x[1]) / (u * u + u * x[2] + x[3])


def brown_dennis(x):
    t = np.arange(1, 21) / 5.0
    return (x[0] + t * x[1] - np.exp(t)) ** 2 + (x[2] + x[3] * np.sin(t) - np.cos(t)) ** 2


OSBORNE1_Y = np.array([0.844, 0.908, 0.932, 0.936, 0.925, 0.908, 0.881, 0.850, 0.818, 0.784,
                       0.751, 0.718, 0.685, 0.658, 0.628, 0.603, 0.580, 0.558, 0.538, 0.522,
                       0.506, 0.490, 0.478, 0.467, 0.457, 0.448, 0.438, 0.431, 0.424, 0.420,
                       0.414, 0.411, 0.406])


def osborne1(x):
    t = 10.0 * np.arange(33)
    return OSBORNE1_Y - (x[0] + x[1] * np.exp(-t * x[3]) + x[2] * np.exp(-t * x[4]))


def biggs_exp6(x):
    t = 0.1 * np.arange(1, 14)
    y = np.exp(-t) - 5.0 * np.exp(-10.0 * t) + 3.0 * np.exp(-4.0 * t)
    return (x[2] * np.exp(-t * x[0]) - x[3] * np.exp(-t * x[1]) + x[5] * np.exp(-t * x[4])) - y


# A sum of three exponentials from exact data: an ill-conditioned fit whose
# minimum has a cost at rounding level.
THREE_EXP_X = 0.05 * np.arange(24)
THREE_EXP_Y = (0.0951 * np.exp(-THREE_EXP_X) + 0.8607 * np.exp(-3.0 * THREE_EXP_X)
               + 1.5576 * np.exp(-5.0 * THREE_EXP_X))


def three_exponentials(x):
    t = THREE_EXP_X
    return (x[0] * np.exp(-x[1] * t) + x[2] * np.exp(-x[3] * t) + x[4] * np.exp(-x[5] * t)
            - THREE_EXP_Y)


MISRA_X = np.array([77.6, 114.9, 141.1, 190.8, 239.9, 289.0, 332.8, 378.4, 434.8, 477.3, 536.8,
                    593.1, 689.1, 760.0])
MISRA_Y = np.array([10.07, 14.73, 17.94, 23.93, 29.61, 35.18, 40.02, 44.82, 50.76, 55.05, 61.01,
                    66.40, 75.47, 81.78])


def misra(x):
    return x[0] * (1.0 - np.exp(-x[1] * MISRA_X)) - MISRA_Y


def bm3_pressure(v, v0, k0, kp):
    f = (v0 / v) ** (2.0 / 3.0)
    return 1.5 * k0 * (f ** 3.5 - f ** 2.5) * (1.0 + 0.75 * (kp - 4.0) * (f - 1.0))


# BM3 data whose best K0 and K0' lie beyond the box: both end on a bound.
_rng = np.random.default_rng(43)
BM3_V = 11.25 * np.sort(_rng.uniform(0.75, 1.0, 15))
BM3_P = bm3_pressure(BM3_V, 11.25, 160.0, 4.15) + _rng.normal(0.0, 0.2, 15)


def bm3_weighted(x):
    return (bm3_pressure(BM3_V, *x) - BM3_P) / 0.2


PROBLEMS = [
    problem("Rosenbrock", rosenbrock, [-1.2, 1.0]),
    problem("Rosenbrock, x1 <= 0.5", rosenbrock, [-1.2, 1.0], upper=[0.5, INF]),
    problem("helical valley", helical_valley, [-1.0, 0.0, 0.0]),
    problem("Wood", wood, [-3.0, -1.0, -3.0, -1.0]),
    problem("Wood, 0 <= x <= 0.9", wood, [0.5, 0.5, 0.5, 0.5], lower=[0.0] * 4,
            upper=[0.9] * 4),
    problem("Powell badly scaled", powell_badly_scaled, [0.0, 1.0]),
    problem("Brown badly scaled", brown_badly_scaled, [1.0, 1.0]),
    problem("Beale", beale, [1.0, 1.0]),
    problem("Jennrich-Sampson", jennrich_sampson, [0.3, 0.4]),
    problem("Bard", bard, [1.0, 1.0, 1.0]),
    problem("Gaussian", gaussian, [0.4, 1.0, 0.0]),
    problem("Gaussian, x3 >= 0.1", gaussian, [0.4, 1.0, 0.1], lower=[-INF, -INF, 0.1]),
    problem("Meyer", meyer, [0.02, 4000.0, 250.0]),
    problem("Box 3-D", box_3d, [0.0, 10.0, 20.0]),
    problem("Box 3-D, x3 <= 0.9", box_3d, [0.0, 10.0, 0.5], upper=[INF, INF, 0.9]),
    problem("Powell singular", powell_singular, [3.0, -1.0, 0.0, 1.0]),
    problem("Kowalik-Osborne", kowalik_osborne, [0.25, 0.39, 0.415, 0.39]),
    problem("Kowalik-Osborne, x1 <= 0.19", kowalik_osborne, [0.18, 0.39, 0.415, 0.39],
            upper=[0.19, INF, INF, INF]),
    problem("Brown-Dennis", brown_dennis, [25.0, 5.0, -5.0, -1.0]),
    problem("Osborne 1", osborne1, [0.5, 1.5, -1.0, 0.01, 0.02]),
    problem("Biggs EXP6", biggs_exp6, [1.0, 2.0, 1.0, 1.0, 1.0, 1.0]),
    problem("three exponentials", three_exponentials, [1.2, 0.3, 5.6, 5.5, 6.5, 7.6]),
    problem("Misra 1a", misra, [500.0, 1e-4]),
    problem("Misra 1a, x1 <= 200", misra, [150.0, 1e-4], upper=[200.0, INF]),
    problem("BM3 on its bounds", bm3_weighted, [11.0, 140.0, 3.5], lower=[10.0, 100.0, 3.0],
            upper=[12.0, 155.0, 4.0]),
]
