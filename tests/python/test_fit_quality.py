"""Fits that never claim more than they know: undetermined parameters, too few
data, implausible misfits, values at bounds, convergence to the minimum."""

import math
import warnings

import numpy as np
import pytest

from barometra import BM3, MieGruneisenDebye, Vinet
from barometra.data import load_example
from barometra.errors import FitQualityWarning, FitValidationError
from barometra.fit import fit

ROOM = load_example("stishovite_300K_nishihara2005")
PVT = load_example("stishovite_pvt_nishihara2005")
COLD = PVT.select(PVT.temperature == 300.0)
START = BM3(v0=46.5, k0=300.0, k0_prime=4.0)


def mgd(**units):
    return MieGruneisenDebye(reference=BM3(v0=46.56, k0=296.0, k0_prime=4.2), tr=300.0,
                             theta0=1160.0, gamma0=1.33, q=6.1, n=3, volume_unit="A^3/cell",
                             formula_units=2, **units)


def test_room_temperature_data_leave_the_thermal_parameters_undetermined():
    with pytest.warns(FitQualityWarning, match="theta0, gamma0, q are not determined by the "
                      r"data, no temperature spread \(every row at 300 K\)"):
        result = fit(mgd(), COLD, pressure_sigma=0.1)
    assert result.undetermined == ("theta0", "gamma0", "q")
    assert all(math.isnan(result.standard_errors[name]) for name in result.undetermined)
    assert np.isnan(result.correlation.values[3:, :]).all()
    assert np.isnan(result.covariance.values[:, 3:]).all()
    # The determined ones are those of the isothermal fit: nothing leaks from the
    # null space into them.
    cold = fit(START, COLD, pressure_sigma=0.1)
    for name in ("v0", "k0", "k0_prime"):
        assert result.standard_errors[name] == pytest.approx(cold.standard_errors[name],
                                                             rel=1e-6)
    summary = result.summary()
    assert "theta0     1160.0 K  (not determined by the data)" in summary
    assert "Not determined by the data, no temperature spread (every row at 300 K): " \
           "theta0, gamma0, q" in summary
    assert "\nWARNING: theta0, gamma0, q are not determined" in summary
    assert "n.d." in summary and "-0.000" not in summary
    html = result._repr_html_()
    assert "<th>theta0</th><td>1160.0 (not determined by the data)" in html
    assert "<td>n.d.</td>" in html and "-0.000" not in html
    # Hot volumes depend on them; the room-temperature volume does not.
    for method in ({}, {"monte_carlo": 200, "seed": 1}):
        hot = result.predict("volume", [20.0, 20.0], [2000.0, 300.0], **method)
        assert math.isnan(hot.standard_error[0]) and hot.standard_error[1] > 0
        assert "depends on theta0, gamma0, q" in hot.note
    assert result.predict("volume", 20.0, 300.0).standard_error == pytest.approx(
        cold.predict("volume", 20.0).standard_error, rel=1e-6)


@pytest.mark.parametrize(("rows", "errors", "message"), [
    (2, "pressure", "too few data: 2 rows give 2 residuals for 3 fitted variables"),
    (2, "pressure+volume", "2 rows give 4 residuals for 5 fitted variables \\(3 varied "
                           "parameters and 2 latent coordinates\\)"),
])
def test_fewer_residuals_than_variables_are_refused(rows, errors, message):
    with pytest.raises(FitValidationError, match=message):
        fit(START, ROOM.select(np.arange(rows)), errors=errors, pressure_sigma=1.0)


def test_no_degrees_of_freedom_fit_but_do_not_scale():
    three = ROOM.select(np.arange(0, 10, 4))
    exact = fit(START, three, pressure_sigma=1.0)
    assert exact.degrees_of_freedom == 0 and exact.reduced_chi_square is None
    with pytest.raises(ValueError, match="scale_errors needs degrees of freedom: 3 rows give 3 "
                                         "residuals for 3 fitted variables"):
        fit(START, three, pressure_sigma=1.0, scale_errors=True)


@pytest.mark.parametrize(("call", "message"), [
    # V0 typed in Å³ per cell for a fit in J/bar: a misfit of thousands of sigmas.
    (lambda: fit(mgd().replace(volume_unit="J/bar"), PVT.to_molar_volume(), vary=("k0",),
                 pressure_sigma=0.01), r"implausibly large \(reduced chi-square .*v0 in J/bar"),
    (lambda: fit(START, ROOM, pressure_sigma=1.0, bounds={"k0_prime": (3.0, 4.1)}),
     "k0_prime = 4.1 sits at its upper bound"),
])
def test_implausible_fits_warn_and_say_so(call, message):
    with pytest.warns(FitQualityWarning, match=message):
        result = call()
    assert result.converged and any(line.startswith("WARNING: ")
                                    for line in result.summary().splitlines())


@pytest.mark.parametrize("cls", [BM3, Vinet])
@pytest.mark.parametrize("errors", ["pressure", "pressure+volume"])
def test_a_converged_fit_is_the_minimum_from_any_start(cls, errors):
    # As the command line starts (V0 at the lowest pressure, K0 from the span,
    # K0' = 4), and from far on either side.
    starts = [(46.56, 298.0, 4.0), (46.0, 150.0, 7.0), (47.5, 500.0, 2.5)]
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        results = [fit(cls(v0=v0, k0=k0, k0_prime=kp), COLD, errors=errors, pressure_sigma=0.05)
                   for v0, k0, kp in starts]
    best = min(results, key=lambda r: r.chi_square)
    for result in results:
        assert result.converged
        assert result.chi_square == pytest.approx(best.chi_square, rel=1e-9)
        for name in best.names:
            assert abs(result.values[name] - best.values[name]) < 1e-3 * best.standard_errors[name]
