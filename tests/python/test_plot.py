import subprocess
import sys

import numpy as np
import pytest

from barometra import BM3, BM4, LinearUsUpHugoniot, MieGruneisenDebye, Vinet
from barometra.data import Dataset, load_example
from barometra.errors import EosValidationError
from barometra.fit import fit
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


def points(axes):
    """The measured points (scatter collections), in drawing order."""
    from matplotlib.collections import PathCollection

    return [c for c in axes.collections if isinstance(c, PathCollection)]


def legend(axes):
    return [text.get_text() for text in axes.get_legend().get_texts()]


def band_edges(axes, x):
    """The vertical extent of each shaded band at abscissa x, narrowest band first."""
    from matplotlib.collections import PolyCollection

    edges = []
    for band in axes.collections:
        if isinstance(band, PolyCollection):
            vertices = band.get_paths()[0].vertices
            at = vertices[np.isclose(vertices[:, 0], x, rtol=0, atol=1e-12), 1]
            edges.append((at.min(), at.max()))
    return sorted(edges, key=lambda edge: edge[1] - edge[0])


def test_pv_draws_data_curves_and_engine_residuals(plt):
    data = load_example("stishovite_300K_nishihara2005")
    models = [STISHOVITE, Vinet(v0=46.56, k0=296.0, k0_prime=4.2)]
    figure = pv(data, models, labels=["BM3", "Vinet"])
    main, below = figure.axes
    np.testing.assert_array_equal(points(main)[0].get_offsets()[:, 1], data.pressure)
    curves = [line for line in main.get_lines() if line.get_linestyle() == "-"]
    np.testing.assert_array_equal(curves[0].get_ydata(), STISHOVITE.pressure(curves[0].get_xdata()))
    residuals = points(below)
    np.testing.assert_array_equal(residuals[1].get_offsets()[:, 1],
                                  data.pressure - models[1].pressure(data.volume))
    assert legend(main) == ["BM3", "Vinet"]

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
    """A P(V, T) model: one isotherm per temperature group."""

    def pressure(self, volume, temperature):
        return STISHOVITE.pressure(volume) + 0.005 * (np.asarray(temperature) - 300.0)


def isotherms(axes):
    return [line.get_label() for line in axes.get_lines()
            if line.get_label().startswith("_isotherm")]


def test_pvt_data_on_one_colour_scale_with_few_isotherms(plt):
    data = load_example("stishovite_pvt_nishihara2005")  # 300 K and four temperatures more
    figure = pv(data, [Thermal(), STISHOVITE], labels=["thermal", "300 K"])
    main, below, bar = figure.axes
    assert bar.get_ylabel() == "Temperature (K)"
    assert legend(main) == ["thermal", "300 K"]  # no entry per temperature
    assert isotherms(main) == [f"_isotherm {t:g} K" for t in np.unique(data.temperature)]
    # Residuals at each row's measured temperature, in the colours of their points.
    thermal = points(below)[0]
    np.testing.assert_allclose(thermal.get_offsets()[:, 1], data.pressure
                               - Thermal().pressure(data.volume, data.temperature), atol=1e-12)
    np.testing.assert_array_equal(thermal.get_facecolors(), points(main)[0].get_facecolors())

    # Thirty-seven temperatures of a laser-heated run: eight isotherms at most, the
    # 300 K rows on their own at 300 K, every row in some group.
    rng = np.random.default_rng(0)
    hot = np.concatenate([np.full(5, 300.0), rng.uniform(1500.0, 2900.0, 32)])
    volume = rng.uniform(40.0, 46.0, hot.size)
    laser = Dataset(pressure=Thermal().pressure(volume, hot), volume=volume, temperature=hot)
    drawn = isotherms(pv(laser, Thermal()).axes[0])
    assert 2 <= len(drawn) <= 8 and drawn[0] == "_isotherm 300 K"
    explicit = isotherms(pv(laser, Thermal(), temperatures=[300.0, 2000.0]).axes[0])
    assert explicit == ["_isotherm 300 K", "_isotherm 2000 K"]


def test_a_fit_result_draws_its_data_model_and_delta_method_band(plt):
    data = load_example("stishovite_300K_nishihara2005")
    result = fit(BM3(v0=46.5, k0=300.0, k0_prime=4.0), data, pressure_sigma=1.0,
                 scale_errors=True)
    main = pv(result).axes[0]
    assert legend(main) == ["BirchMurnaghan3 fit", "±1σ", "±2σ"]
    volume = data.volume.min()
    predicted = result.predict("pressure", volume)
    (low, high), (low2, high2) = band_edges(main, volume)
    assert (low, high) == pytest.approx((predicted.value - predicted.standard_error,
                                         predicted.value + predicted.standard_error), rel=1e-12)
    assert high2 - low2 == pytest.approx(2 * (high - low), rel=1e-12)
    assert not band_edges(pv(result, band=()).axes[0], volume)

    # F-f: at f = 0 the curve is K0 and its band ±σ(K0), for V0 moves with the fit
    # (a band at fixed V would diverge there).
    axes = ff(result).axes[0]
    low, high = band_edges(axes, 0.0)[0]
    k0, error = result.values["k0"], result.standard_errors["k0"]
    assert (low, high) == pytest.approx((k0 - error, k0 + error), rel=1e-6)

    ellipse = confidence_ellipse(result, names=("k0", "k0_prime")).axes[0]
    assert (ellipse.get_xlabel(), ellipse.get_ylabel()) == ("k0 (GPa)", "k0_prime")
    with pytest.raises(ValueError, match="name the two parameters"):
        confidence_ellipse(result)


def test_ff_curves_on_their_own_v0_through_k0_at_f_zero(plt):
    data = load_example("stishovite_300K_nishihara2005")
    other = BM3(v0=46.0, k0=250.0, k0_prime=5.0)  # a V0 other than the strain's
    figure = ff(data, [STISHOVITE, other])
    (axes,) = figure.axes
    assert len(points(axes)[0].get_offsets()) == len(data) - 1  # the row at V0 left out
    assert legend(axes)[0] == "data (1 row at P ≈ 0 left out)"
    for model, line in zip((STISHOVITE, other), axes.get_lines()):
        f, big_f = line.get_xdata(), line.get_ydata()
        assert np.isfinite(big_f).all() and 0.0 in f
        slope, intercept = np.polyfit(f, big_f, 1)  # a BM3 is a straight line
        k0, k0_prime = model.parameters["k0"], model.parameters["k0_prime"]
        assert intercept == pytest.approx(k0, rel=1e-9)
        assert slope == pytest.approx(1.5 * k0 * (k0_prime - 4.0), rel=1e-6)
    with pytest.raises(ValueError, match="v0 is needed"):
        ff(data)
    with pytest.raises(TypeError, match="depends on temperature"):
        ff(data, MieGruneisenDebye(reference=STISHOVITE, tr=300.0, theta0=1000.0, gamma0=1.5,
                                   q=1.0, n=3))
    # Within its sigma of zero a pressure gives no F either.
    near = Dataset(pressure=[0.05, 10.0, 20.0], volume=[46.55, 44.9, 43.5],
                   pressure_sigma=[0.1, 0.1, 0.1])
    assert legend(ff(near, STISHOVITE).axes[0])[0] == "data (1 row at P ≈ 0 left out)"


def test_ff_weighted_polynomial_reads_the_moduli_back(plt):
    from barometra.plot._strain_fit import _moduli, _moduli_jacobian, strain_fit

    bm4 = BM4(v0=40.0, k0=160.0, k0_prime=4.5, k0_double_prime=-0.04)
    volume = np.linspace(39.0, 31.0, 8)
    exact = Dataset(pressure=bm4.pressure(volume), volume=volume,
                    pressure_sigma=np.full(8, 0.2), volume_sigma=np.full(8, 0.01))
    text = legend(ff(exact, bm4, fit_order=2).axes[0])[-1]
    assert text == "weighted fit: K0 = 160(4) GPa, K0′ = 4.5(5), K0″ = -0.04(3) 1/GPa"
    point = finite_strain(exact.pressure, volume, 40.0, pressure_sigma=exact.pressure_sigma,
                          volume_sigma=exact.volume_sigma)
    quadratic = strain_fit(point.strain, point.normalized_pressure,
                           point.normalized_pressure_sigma, 2)
    np.testing.assert_allclose(quadratic.moduli, [160.0, 4.5, -0.04], rtol=1e-7)
    c, h = quadratic.coefficients, 1e-6 * np.abs(quadratic.coefficients)
    steps = [(_moduli(c + h[j] * e) - _moduli(c - h[j] * e)) / (2 * h[j])
             for j, e in enumerate(np.eye(3))]
    np.testing.assert_allclose(_moduli_jacobian(c), np.array(steps).T, rtol=1e-6, atol=1e-12)

    # The intercept's esd against the closed form of a weighted straight line.
    sigma = point.normalized_pressure_sigma
    line = strain_fit(point.strain, point.normalized_pressure + sigma * np.cos(volume), sigma, 1)
    w = sigma ** -2.0
    sums = w.sum(), (w * point.strain).sum(), (w * point.strain ** 2).sum()
    assert line.covariance[0, 0] == pytest.approx(sums[2] / (sums[0] * sums[2] - sums[1] ** 2),
                                                  rel=1e-6)
    with pytest.raises(ValueError, match="fit_order must be 1"):
        ff(exact, bm4, fit_order=3)


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
