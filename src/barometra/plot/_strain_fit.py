"""The weighted polynomial of normalised pressure F in Eulerian strain f, read as moduli."""

from __future__ import annotations

from dataclasses import dataclass

import numpy as np

from .. import _engine
from .._arrays import FloatArray
from .._esd import format_value_esd
from ..data._dataset import plural

# The moduli each order of F(f) gives, with the unit each takes ({p}: the pressure unit).
_MODULI = (("K0", "{p}"), ("K0′", ""), ("K0″", "1/{p}"))


@dataclass(frozen=True)
class StrainFit:
    """F = c0 + c1 f (+ c2 f²) fitted to F-f points, and the moduli it implies.

    A Birch-Murnaghan isotherm is F = K0 [1 + 3/2 (K0′ - 4) f + 3/2 (K0 K0″ +
    (K0′ - 4)(K0′ - 3) + 35/9) f²]: the line is the third order, the
    quadratic the fourth.
    """

    coefficients: FloatArray
    moduli: FloatArray
    covariance: FloatArray
    weighted: bool

    def __call__(self, strain: FloatArray) -> FloatArray:
        return np.asarray(np.polynomial.polynomial.polyval(strain, self.coefficients))

    def label(self, pressure_unit: str) -> str:
        """The legend entry: each modulus as value(esd) with its unit."""
        errors = np.sqrt(np.clip(np.diag(self.covariance), 0.0, None))
        parts = []
        for (name, unit), value, error in zip(_MODULI, self.moduli, errors):
            unit = unit.format(p=pressure_unit)
            parts.append(f"{name} = {format_value_esd(float(value), float(error))}"
                         + (f" {unit}" if unit else ""))
        how = "weighted fit" if self.weighted else "unweighted fit"
        return f"{how}: {', '.join(parts)}"


def strain_fit(strain: FloatArray, normalized: FloatArray, sigma: FloatArray, order: int
               ) -> StrainFit:
    """The polynomial of ``order`` (1 or 2) in f through the points, weighted by their
    σF when every point has one, else unweighted with the standard errors scaled by
    the scatter."""
    if order not in (1, 2):
        raise ValueError(f"fit_order must be 1 (a line: K0, K0′) or 2 (a quadratic: K0, "
                         f"K0′, K0″), not {order!r}")
    count = order + 1
    weighted = bool(np.isfinite(sigma).all() and (sigma > 0).all())
    needed = count if weighted else count + 1
    if len(strain) < needed:
        raise ValueError(f"a polynomial of order {order} in f needs at least "
                         f"{plural(needed, 'row')} away from P = 0, not {len(strain)}")
    weights = sigma if weighted else np.ones_like(strain)
    design = np.vander(strain, count, increasing=True) / weights[:, None]
    target = normalized / weights

    def residuals(coefficients: FloatArray) -> FloatArray:
        return np.ascontiguousarray(design @ coefficients - target)

    start = np.zeros(count)
    start[0] = float(np.median(normalized))
    unbounded = np.full(count, np.inf)
    raw = _engine.fit_least_squares(residuals, start, -unbounded, unbounded)
    coefficients = np.asarray(raw.x, dtype=np.float64)
    covariance = np.asarray(raw.parameter_covariance, dtype=np.float64).reshape(count, count)
    if not weighted:
        misfit = np.asarray(raw.fun, dtype=np.float64)
        covariance = covariance * float(misfit @ misfit) / (len(strain) - count)
    jacobian = _moduli_jacobian(coefficients)
    propagated = _engine.linear_uncertainty(jacobian, np.ascontiguousarray(covariance),
                                            np.zeros(count), True).covariance
    return StrainFit(coefficients, _moduli(coefficients),
                     np.asarray(propagated, dtype=np.float64).reshape(count, count), weighted)


def _moduli(c: FloatArray) -> FloatArray:
    k0 = c[0]
    k0_prime = 4.0 + 2.0 * c[1] / (3.0 * k0)
    if len(c) == 2:
        return np.array([k0, k0_prime])
    k0_double_prime = (2.0 * c[2] / (3.0 * k0) - (k0_prime - 4.0) * (k0_prime - 3.0)
                       - 35.0 / 9.0) / k0
    return np.array([k0, k0_prime, k0_double_prime])


def _moduli_jacobian(c: FloatArray) -> FloatArray:
    """d(K0, K0′[, K0″]) / d(c0, c1[, c2])."""
    k0 = c[0]
    prime = np.array([-2.0 * c[1] / (3.0 * k0 ** 2), 2.0 / (3.0 * k0)])
    rows = [np.eye(len(c))[0], np.concatenate([prime, np.zeros(len(c) - 2)])]
    if len(c) == 3:
        k0_prime = 4.0 + 2.0 * c[1] / (3.0 * k0)
        inner = 2.0 * c[2] / (3.0 * k0) - (k0_prime - 4.0) * (k0_prime - 3.0) - 35.0 / 9.0
        slope = 2.0 * k0_prime - 7.0  # d[(K0′ - 4)(K0′ - 3)] / dK0′
        rows.append(np.array([
            (-2.0 * c[2] / (3.0 * k0 ** 2) - slope * prime[0]) / k0 - inner / k0 ** 2,
            -slope * prime[1] / k0,
            2.0 / (3.0 * k0 ** 2)]))
    return np.ascontiguousarray(np.array(rows))
