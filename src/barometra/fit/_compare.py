"""Fits of the same data ranked by their information criteria."""

from __future__ import annotations

from collections.abc import Mapping, Sequence
from dataclasses import dataclass
from typing import Any

from ._result import FitResult


@dataclass(frozen=True)
class Comparison:
    """Fits ranked by AIC, best first, each with its BIC and the differences to the best.

    ``rows`` holds one dict per fit (label, varied parameters, chi-square,
    reduced chi-square, AIC, ΔAIC, BIC, ΔBIC, and the result itself);
    :meth:`summary` is the table and ``best`` the first label by AIC.
    """

    rows: tuple[dict[str, Any], ...]

    @property
    def best(self) -> str:
        label: str = self.rows[0]["label"]
        return label

    def summary(self) -> str:
        """The ranking as a text table."""
        width = max(len("Fit"), *(len(row["label"]) for row in self.rows))
        lines = [f"{'Fit'.ljust(width)}   k  {'chi-square':>12}  {'reduced':>9}  "
                 f"{'AIC':>11}  {'ΔAIC':>8}  {'BIC':>11}  {'ΔBIC':>8}"]
        for row in self.rows:
            reduced = "-" if row["reduced_chi_square"] is None else \
                f"{row['reduced_chi_square']:9.4g}"
            lines.append(f"{row['label'].ljust(width)}  {row['parameters']:2d}  "
                         f"{row['chi_square']:12.6g}  {reduced:>9}  {row['aic']:11.5g}  "
                         f"{row['delta_aic']:8.3f}  {row['bic']:11.5g}  {row['delta_bic']:8.3f}")
        return "\n".join(lines)

    def __str__(self) -> str:
        return self.summary()

    def to_dict(self) -> list[dict[str, Any]]:
        """The rows without the result objects, for :func:`json.dumps`."""
        return [{key: value for key, value in row.items() if key != "result"}
                for row in self.rows]


def compare(results: Sequence[FitResult] | Mapping[str, FitResult]) -> Comparison:
    """Rank fits of the same data by AIC, with BIC beside it.

    Lower is better; a difference of about 2 or more in AIC (or BIC) is
    usually read as support for the lower one. The fits must be of the same
    dataset with the same kind of errors, so that their residuals compare.

    Parameters
    ----------
    results : sequence of FitResult, or mapping of label to FitResult
        Labels default to the model's class and its varied parameters.

    Returns
    -------
    Comparison

    Examples
    --------
    >>> from barometra import BM2, BM3
    >>> from barometra.data import load_example
    >>> from barometra.fit import compare, fit
    >>> data = load_example("stishovite_300K_nishihara2005")
    >>> ranking = compare({"BM2": fit(BM2(v0=46.5, k0=300.0), data, pressure_sigma=0.1),
    ...                    "BM3": fit(BM3(v0=46.5, k0=300.0, k0_prime=4.0), data,
    ...                               pressure_sigma=0.1)})
    >>> ranking.best
    'BM2'
    """
    items = list(results.items()) if isinstance(results, Mapping) else \
        [(f"{type(r.model).__name__}({', '.join(r.names)})", r) for r in results]
    if len(items) < 2:
        raise ValueError("compare needs at least two fits")
    for label, result in items:
        if not isinstance(result, FitResult):
            raise TypeError(f"compare takes fit results, not {type(result).__name__}")
    first = items[0][1]
    for label, result in items[1:]:
        if result.data != first.data or result.residual_count != first.residual_count:
            raise ValueError(f"{label!r} is a fit of other data (or with other errors) than "
                             f"{items[0][0]!r}: their criteria do not compare")
    best_aic = min(result.aic for _, result in items)
    best_bic = min(result.bic for _, result in items)
    rows: list[dict[str, Any]] = [{"label": str(label), "parameters": len(result.names),
             "chi_square": result.chi_square, "reduced_chi_square": result.reduced_chi_square,
             "aic": result.aic, "delta_aic": result.aic - best_aic, "bic": result.bic,
             "delta_bic": result.bic - best_bic, "converged": result.converged,
             "result": result} for label, result in items]
    rows.sort(key=lambda row: row["aic"])
    return Comparison(tuple(rows))
