import subprocess
import sys

import numpy as np
import pytest

from barometra import BM3, LinearUsUpHugoniot, Vinet
from barometra.data import Dataset, load_example
from barometra.errors import EosValidationError
from barometra.plot import confidence_ellipse, ff, finite_strain, pv

STISHOVITE = BM3(v0=46.56, k0=296.0, k0_prime=4.2)


def test_importing_barometra_leaves_matplotlib_alone():
    code = ("import sys, barometra, barometra.plot, barometra._cli; "
            "print(sorted(m for m in sys.modules if m.split('.')[0] in "
            "('matplotlib', 'mpl_toolkits')))")
    result = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                            check=True)
    assert result.stdout.strip() == "[]"


def test_without_matplotlib_the_error_names_the_extra(monkeypatch):
    monkeypatch.setitem(sys.modules, "matplotlib", None)
    monkeypatch.setitem(sys.modules, "matplotlib.pyplot", None)
    data = load_example("stishovite_300K_nishihara2005")
    for draw in (lambda: pv(data), lambda: ff(data, v0=46.56),
                 lambda: confidence_ellipse([0, 0], np.eye(2))):
        with pytest.raises(ImportError, match=r"pip install 'barometra\[plot\]'"):
            draw()


def test_finite_strain_at_one_point_by_hand_and_by_finite_differences():
    # (10/9)^(2/3) = 1.0727659828951442, so f = 0.036382991447572088 and
    # F = 5 / (3 f 1.0727659828951442^2.5) = 38.431546501450334.
    point = finite_strain(5.0, 9.0, 10.0, pressure_sigma=0.1, volume_sigma=0.02)
    assert point.strain == pytest.approx(0.036382991447572088, rel=1e-14)
    assert point.normalized_pressure == pytest.approx(38.431546501450334, rel=1e-14)

    def coordinates(p, v):
        result = finite_strain(p, v, 10.0)
        return np.array([result.strain, result.normalized_pressure])

    h = 1e-6
    by_p = (coordinates(5.0 + h, 9.0) - coordinates(5.0 - h, 9.0)) / (2 * h)
    by_v = (coordinates(5.0, 9.0 + h) - coordinates(5.0, 9.0 - h)) / (2 * h)
    sigma = np.hypot(by_p * 0.1, by_v * 0.02)
    assert point.strain_sigma == pytest.approx(sigma[0], rel=1e-7)
    assert point.normalized_pressure_sigma == pytest.approx(sigma[1], rel=1e-7)
    # A sigma not reported counts as zero next to a reported one; alone it is NaN.
    only_v = finite_strain(5.0, 9.0, 10.0, pressure_sigma=np.nan, volume_sigma=0.02)
    assert only_v.normalized_pressure_sigma == pytest.approx(abs(by_v[1]) * 0.02, rel=1e-7)
    neither = finite_strain([5.0, 0.0], [9.0, 10.0], 10.0)
    assert np.isnan(neither.normalized_pressure_sigma).all()
    assert np.isnan(neither.normalized_pressure[1]) and neither.strain[1] == 0.0


@pytest.fixture
def plt():
    matplotlib = pytest.importorskip("matplotlib")
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    yield plt
    plt.close("all")


def errorbars(axes):
    from matplotlib.container import ErrorbarContainer

    return [c for c in axes.containers if isinstance(c, ErrorbarContainer)]


def test_pv_draws_data_curves_and_engine_residuals(plt):
    data = load_example("stishovite_300K_nishihara2005")
    models = [STISHOVITE, Vinet(v0=46.56, k0=296.0, k0_prime=4.2)]
    figure = pv(data, models, labels=["BM3", "Vinet"])
    main, below = figure.axes
    (points,) = errorbars(main)
    assert points.has_xerr and not points.has_yerr  # pressure sigmas not reported
    curves = [line for line in main.get_lines() if line.get_label() in ("BM3", "Vinet")]
    assert len(curves) == 2
    np.testing.assert_array_equal(curves[0].get_ydata(), STISHOVITE.pressure(curves[0].get_xdata()))
    residuals = errorbars(below)
    assert len(residuals) == 2
    np.testing.assert_array_equal(residuals[1].lines[0].get_ydata(),
                                  data.pressure - models[1].pressure(data.volume))
    assert [text.get_text() for text in main.get_legend().get_texts()] == ["BM3", "Vinet"]

    # On given axes, the residual panel is attached below them.
    figure, ax = plt.subplots()
    assert pv(data, STISHOVITE, ax=ax) is figure and len(figure.axes) == 2
    assert len(pv(data, residuals=False).axes) == 1
    # A model that fails leaves no half-drawn figure behind.
    figures = plt.get_fignums()
    with pytest.raises(EosValidationError, match="must not exceed V0"):
        pv(data, LinearUsUpHugoniot(v0=45.0, rho0=4.29, c0=8.3, s=1.2))
    assert plt.get_fignums() == figures


class Thermal:
    """A P(V, T) model: one curve per temperature group."""

    def pressure(self, volume, temperature):
        return STISHOVITE.pressure(volume) + 0.005 * (np.asarray(temperature) - 300.0)


def test_pv_groups_pvt_data_by_temperature(plt):
    data = load_example("stishovite_pvt_nishihara2005")
    figure = pv(data, [Thermal(), STISHOVITE], temperatures=[300.0, 1000.0])
    main, below = figure.axes
    assert [c.get_label() for c in errorbars(main)] == ["300 K", "1000 K"]
    assert len([line for line in main.get_lines() if line.get_linestyle() == "-"]) == 3
    thermal = errorbars(below)[0].lines[0].get_ydata()
    expected = data.pressure - Thermal().pressure(data.volume, data.temperature)
    np.testing.assert_allclose(np.sort(thermal), np.sort(expected), rtol=0, atol=1e-12)


def test_ff_of_bm3_is_the_straight_line_of_intercept_k0(plt):
    data = load_example("stishovite_300K_nishihara2005")
    figure = ff(data, STISHOVITE)
    (axes,) = figure.axes
    (points,) = errorbars(axes)
    assert len(points.lines[0].get_xdata()) == len(data) - 1  # F is undefined at V0
    (curve,) = [line for line in axes.get_lines() if line.get_label() == "BirchMurnaghan3"]
    slope, intercept = np.polyfit(curve.get_xdata(), curve.get_ydata(), 1)
    assert intercept == pytest.approx(296.0, rel=1e-9)
    assert slope == pytest.approx(1.5 * 296.0 * (4.2 - 4.0), rel=1e-6)
    with pytest.raises(ValueError, match="v0 is needed"):
        ff(data)
    hugoniot = LinearUsUpHugoniot(v0=46.56, rho0=4.29, c0=8.3, s=1.2)
    assert ff(data, hugoniot, labels=["shock"]).axes[0].get_lines()


def test_confidence_ellipses_hold_the_chi_square_quantiles(plt):
    center, covariance = np.array([296.0, 4.2]), np.array([[25.0, -1.6], [-1.6, 0.16]])
    figure = confidence_ellipse(center, covariance, levels=(0.5, 0.9, 0.99), names=("k0", "kp"))
    (axes,) = figure.axes
    assert (axes.get_xlabel(), axes.get_ylabel()) == ("k0", "kp")
    inverse, angles = np.linalg.inv(covariance), np.linspace(0.0, 2.0 * np.pi, 9)
    for patch, level in zip(axes.patches, (0.5, 0.9, 0.99), strict=True):
        circle = np.column_stack([np.cos(angles), np.sin(angles)])  # the patch's unit path
        edge = patch.get_patch_transform().transform(circle) - center
        distance = np.einsum("ni,ij,nj->n", edge, inverse, edge)
        np.testing.assert_allclose(distance, -2 * np.log(1 - level), rtol=1e-9)
    x_low, x_high = axes.get_xlim()
    assert x_low < 296.0 - 5.0 * np.sqrt(-2 * np.log(0.01)) < 296.0 < x_high


@pytest.mark.parametrize(("center", "covariance", "levels", "message"), [
    ([0.0, 1.0, 2.0], np.eye(2), (0.5,), "center must be two finite numbers"),
    ([0.0, 1.0], [[1.0, 0.5], [0.4, 1.0]], (0.5,), "symmetric"),
    ([0.0, 1.0], [[1.0, 2.0], [2.0, 1.0]], (0.5,), "positive semi-definite"),
    ([0.0, 1.0], np.eye(2), (0.5, 1.0), r"levels must lie in \(0, 1\)"),
])
def test_confidence_ellipse_refuses_what_is_no_covariance(plt, center, covariance, levels,
                                                          message):
    with pytest.raises(ValueError, match=message):
        confidence_ellipse(center, covariance, levels)


def test_pv_refuses_an_empty_dataset(plt):
    with pytest.raises(ValueError, match="no rows"):
        pv(Dataset(pressure=[], volume=[]))
