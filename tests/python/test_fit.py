import json
import math

import numpy as np
import pytest

from barometra import BM3, Holzapfel, MieGruneisenDebye
from barometra._cli import main
from barometra._engine import RtEos, ThermalEos, fit_rt_eos_native, fit_thermal_eos_native
from barometra.data import load_example, write_csv
from barometra.errors import (BarometraError, FitConvergenceWarning, FitEosValidationError,
                              FitError, FitQualityWarning)
from barometra.fit import compare, fit
from barometra.fit._fit import ERROR_MODES

ROOM = load_example("stishovite_300K_nishihara2005")
PVT = load_example("stishovite_pvt_nishihara2005").to_molar_volume()
START = BM3(v0=46.5, k0=300.0, k0_prime=4.0)
V0_MOLAR = 1.40195


def thermal_start(reference=None):
    reference = reference or BM3(v0=V0_MOLAR, k0=296.0, k0_prime=4.2)
    return MieGruneisenDebye(reference=reference, tr=300.0, theta0=1100.0, gamma0=1.3, q=5.0,
                             n=3)


def native_thermal():
    rt = RtEos.bm3(V0_MOLAR, 296.0, 4.2)
    return ThermalEos.mie_gruneisen_debye(rt, 300.0, 1100.0, 1.3, 5.0, 3.0)


@pytest.mark.parametrize("errors", ["pressure", "pressure+volume"])
def test_isothermal_fit_is_the_native_fit(errors):
    sigma = np.full(len(ROOM), 1.0)
    volume_sigma = ROOM.volume_sigma if errors != "pressure" else None
    raw = fit_rt_eos_native(RtEos.bm3(46.5, 300.0, 4.0), ["V0", "K0", "K0_prime"],
                            np.array([46.5, 300.0, 4.0]), np.full(3, -np.inf),
                            np.full(3, np.inf), ROOM.pressure, ROOM.volume, sigma,
                            volume_sigma)
    result = fit(START, ROOM, errors=errors, pressure_sigma=1.0)
    assert list(result.values.values()) == raw.x[:3].tolist()
    np.testing.assert_array_equal(result.covariance.values, raw.parameter_covariance)
    # Fitted in the data's units, which the fitted model carries.
    assert result.model == BM3(**dict(zip(["v0", "k0", "k0_prime"], raw.x[:3].tolist())),
                               pressure_unit="GPa", volume_unit="Å³/cell")
    # The statistics are the engine's, and chi-square is that of the fitted model's own
    # pressures at the fitted volumes.
    statistics = raw.eos_fit
    assert (result.chi_square, result.degrees_of_freedom, result.aic, result.bic) == (
        statistics.chi_square, statistics.degrees_of_freedom, statistics.aic, statistics.bic)
    assert list(result.standard_errors.values()) == statistics.standard_errors.tolist()
    misfit = (result.model.pressure(result.fitted_volume) - ROOM.pressure) / sigma
    latent = [] if volume_sigma is None else (result.fitted_volume - ROOM.volume) / volume_sigma
    chi2 = float(np.sum(misfit ** 2) + np.sum(np.square(latent)))
    assert result.chi_square == pytest.approx(chi2, rel=1e-9)
    m, n = len(ROOM) * (1 if volume_sigma is None else 2), 3 + len(latent)
    assert (result.residual_count, result.variable_count) == (m, n)
    np.testing.assert_allclose(result.residuals, ROOM.pressure - result.predicted_pressure)


def test_thermal_fit_is_the_native_fit_with_reference_parameters():
    result = fit(thermal_start(), PVT, vary=("v0", "reference.k0", "k0_prime", "theta0",
                                             "gamma0", "q"), pressure_sigma=1.0)
    names = ["rt_eos.V0", "rt_eos.K0", "rt_eos.K0_prime", "theta0", "gamma0", "q"]
    initial = np.array([V0_MOLAR, 296.0, 4.2, 1100.0, 1.3, 5.0])
    raw = fit_thermal_eos_native(native_thermal(), names, initial, np.full(6, -np.inf),
                                 np.full(6, np.inf), PVT.pressure, PVT.volume, PVT.temperature,
                                 np.ones(len(PVT)))
    assert result.names == ("v0", "k0", "k0_prime", "theta0", "gamma0", "q")
    assert list(result.values.values()) == raw.x.tolist()
    assert result.model.reference.parameters["k0"] == raw.x[1]
    assert result.fixed == {"tr": 300.0, "n": 3.0}
    np.testing.assert_array_equal(result.predicted_pressure, raw.predicted_pressure)


def test_parameter_names_and_their_errors():
    holzapfel = Holzapfel(v0=V0_MOLAR, k0=296.0, k0_prime=4.2, n=3, z=10)
    model = thermal_start(holzapfel)
    # "n" is the thermal model's own; the reference's needs its prefix. Unbounded, a
    # trial step takes it below zero, and the error says what to do.
    with pytest.raises(FitEosValidationError, match=r"invalid parameter n: must be positive "
                       r"and finite \(a trial step .* bounds=\{'reference.n': \(lower"):
        fit(model, PVT, vary=("theta0", "reference.n"), pressure_sigma=1.0)
    with pytest.warns(FitQualityWarning, match="reference.n = 4 sits at its upper bound"):
        result = fit(model, PVT, vary=("reference.n", "theta0"), pressure_sigma=1.0,
                     bounds={"reference.n": (2.0, 4.0)})
    assert result.names == ("reference.n", "theta0")
    assert 2.0 <= result.model.reference.parameters["n"] <= 4.0
    with pytest.raises(ValueError, match="no parameter 'k00'; its parameters: v0, k0, "):
        fit(model, PVT, vary=("k00",), pressure_sigma=1.0)
    with pytest.raises(ValueError, match="'k0' cannot be both varied and fixed"):
        fit(START, ROOM, vary=("k0",), fix=("k0",), pressure_sigma=1.0)
    with pytest.raises(TypeError, match="not one string"):
        fit(START, ROOM, vary="k0", pressure_sigma=1.0)
    fixed = fit(START, ROOM, fix={"v0": 46.56}, pressure_sigma=1.0)
    assert fixed.names == ("k0", "k0_prime") and fixed.fixed == {"v0": 46.56}
    assert "Fixed: v0 = 46.56 Å³/cell" in fixed.summary()
    with pytest.raises(ValueError, match="'v0' is not varied"):
        fit(START, ROOM, fix=("v0",), bounds={"v0": (40, 50)}, pressure_sigma=1.0)
    bounded = fit(START, ROOM, bounds={"k0_prime": (3.0, 4.3)}, pressure_sigma=1.0)
    assert 3.0 <= bounded.values["k0_prime"] <= 4.3


@pytest.mark.parametrize(("call", "message"), [
    (lambda: fit(START, ROOM), "reports no pressure_sigma for any row"),
    (lambda: fit(START, ROOM, errors="all", pressure_sigma=1.0), "needs a thermal model"),
    (lambda: fit(START, PVT.replace(volume_unit="Å³/cell"), pressure_sigma=1.0),
     "isothermal but the dataset spans 300-1073 K"),
    (lambda: fit(thermal_start(), PVT, errors="all", pressure_sigma=1.0),
     "no temperature_sigma for any row"),
    (lambda: fit(START, ROOM, pressure_sigma=[1.0, 2.0]), "one number or one per row"),
    (lambda: fit(START, ROOM, volume_sigma=0.1, pressure_sigma=1.0), "leave that variable exact"),
    (lambda: fit(START, ROOM, errors="volume", pressure_sigma=1.0), "errors must be one of"),
])
def test_requests_that_cannot_be_fitted_are_refused(call, message):
    with pytest.raises(ValueError, match=message):
        call()


SUBNORMAL = ROOM.replace(volume=np.r_[ROOM.volume[:4], 1e-310, ROOM.volume[5:]])
ZERO_SIGMA = ROOM.replace(pressure_sigma=np.r_[np.ones(3), 0.0, np.ones(6)])
HUGE = ROOM.replace(pressure=np.r_[ROOM.pressure[:6], 1e300, ROOM.pressure[7:]])


# The engine checks the input; its refusal names what the caller wrote.
@pytest.mark.parametrize(("call", "error", "message"), [
    (lambda: fit(START, ROOM, pressure_sigma=1.0, bounds={"k0": (310.0, 400.0)}),
     ValueError, r"^the start of 'k0', 300.0, lies outside its bounds \(310.0, 400.0\)"),
    (lambda: fit(START, ROOM, pressure_sigma=1.0, bounds={"k0": (400.0, 310.0)}),
     ValueError, r"^bounds: 'k0' needs lower < upper, not \(400.0, 310.0\)$"),
    (lambda: fit(START, SUBNORMAL, pressure_sigma=1.0, volume_sigma=0.01,
                 errors="pressure+volume"),
     ValueError, r"^the volume of row 4, 1e-310, is too small to be fitted"),
    (lambda: fit(START, ROOM, pressure_sigma=[1.0] * 9 + [-2.0]),
     ValueError, r"^pressure_sigma must be positive and finite: -2.0 is not$"),
    (lambda: fit(START, ZERO_SIGMA), ValueError,
     r"^the dataset's pressure_sigma must be positive to weigh the fit: row 3 is 0; give "),
    (lambda: fit(START, ROOM, pressure_sigma=1.0, loss="l2"), ValueError,
     r"^loss must be one of 'linear', 'soft_l1', 'huber', 'cauchy', 'arctan', not 'l2'$"),
    (lambda: fit(START, ROOM, pressure_sigma=1.0, max_evaluations=-5), ValueError,
     r"^max_evaluations must be positive$"),
    (lambda: fit(START, ROOM, pressure_sigma=1.0, max_evaluations=True), TypeError,
     r"^max_evaluations must be an integer or None, not bool$"),
    (lambda: fit(START, HUGE, pressure_sigma=0.1), FitError,
     r"\(row 6: its pressure misfit in sigmas, -1e\+301, overflows when squared"),
])
def test_refusals_name_the_parameter_row_or_keyword(call, error, message):
    with pytest.raises(error, match=message):
        call()


@pytest.mark.parametrize(("errors", "text"), [
    ("pressure", "pressure"), ("pressure+volume", "pressure and volume"),
    ("all", "pressure, volume and temperature")])
def test_each_error_mode_fits_its_variables_as_latent_coordinates(errors, text):
    sigmas = {"pressure_sigma": 1.0, "volume_sigma": 0.001, "temperature_sigma": 10.0}
    result = fit(thermal_start(), PVT.select(PVT.temperature < 900.0), vary=("theta0",),
                 errors=errors, **{f"{variable}_sigma": sigmas[f"{variable}_sigma"]
                                   for variable in ERROR_MODES[errors]})
    assert result.variable_count == 1 + (len(ERROR_MODES[errors]) - 1) * result.points
    assert f"Errors in {text}; " in result.summary()


def test_a_fit_that_does_not_converge_warns_and_says_so():
    with pytest.warns(FitConvergenceWarning, match="did not converge"):
        result = fit(START, ROOM, pressure_sigma=1.0, max_evaluations=1)
    assert not result.converged and "NOT CONVERGED" in result.summary()
    assert json.loads(json.dumps(result.to_dict()))["converged"] is False


@pytest.mark.filterwarnings("error")  # converged fits warn of nothing
def test_error_scaling_and_json():
    result = fit(START, ROOM, pressure_sigma=1.0, scale_errors=True)
    plain = fit(START, ROOM, pressure_sigma=1.0)
    scale = math.sqrt(plain.chi_square / 7)
    assert result.error_scale == pytest.approx(scale)
    assert result.standard_errors["k0"] == pytest.approx(plain.standard_errors["k0"] * scale)
    assert result.correlation["k0", "k0_prime"] == pytest.approx(
        plain.correlation["k0", "k0_prime"])
    # The README prints this fit's summary and its formatted k0.
    document = json.loads(json.dumps(result.to_dict()))
    assert document["statistics"]["degrees_of_freedom"] == 7
    assert document["covariance"]["names"] == ["v0", "k0", "k0_prime"]


def test_delta_method_agrees_with_monte_carlo_over_the_covariance():
    result = fit(thermal_start(), PVT, pressure_sigma=1.0, scale_errors=True)
    pressures, temperatures = np.array([25.0, 10.0]), np.array([1500.0, 800.0])
    delta = result.predict("volume", pressures, temperatures)
    carlo = result.predict("volume", pressures, temperatures, monte_carlo=4000, seed=7)
    np.testing.assert_array_equal(delta.value, result.model.volume(pressures, temperatures))
    np.testing.assert_allclose(carlo.standard_error, delta.standard_error, rtol=0.08)
    assert (carlo.lower < delta.value).all() and (delta.value < carlo.upper).all()
    assert carlo.draws + carlo.rejected == 4000
    assert type(result.predict("bulk_modulus", 1.3, 1000.0).standard_error) is float
    with pytest.raises(ValueError, match="has no quantity 'entropy'"):
        result.predict("entropy", 1.3, 1000.0)


def test_delta_method_of_a_quantity_proportional_to_the_parameter():
    # BM3 pressure is proportional to K0: with K0 alone varied, its standard error is
    # P / K0 times that of K0, scaled or not.
    result = fit(START, ROOM, vary=("k0",), pressure_sigma=1.0, scale_errors=True)
    predicted = result.predict("pressure", np.array([44.0, 42.0]))
    np.testing.assert_allclose(predicted.standard_error, predicted.value / result.values["k0"]
                               * result.standard_errors["k0"], rtol=1e-8)


def test_monte_carlo_leaves_out_the_draws_the_model_refuses():
    # Enough draws and pressures that the engine shares the draws out among threads.
    loose = fit(START, ROOM.select(np.arange(4)), pressure_sigma=30.0)
    pressures = np.array([20.0, 30.0])
    carlo = loose.predict("volume", pressures, monte_carlo=300, seed=3)
    # The same draws through the public models, as a user would write it.
    draws = np.random.default_rng(3).multivariate_normal(
        list(loose.values.values()), loose.covariance.values, size=300, method="eigh")
    volumes = []
    for draw in draws:
        try:
            volumes.append(loose.model.replace(**dict(zip(loose.names, draw))).volume(pressures))
        except BarometraError:
            pass
    assert 0 < carlo.rejected == 300 - len(volumes) and carlo.draws == len(volumes)
    np.testing.assert_array_equal(carlo.standard_error, np.std(volumes, axis=0, ddof=1))
    tail = 50 * (1 - 0.683)
    np.testing.assert_allclose([carlo.lower, carlo.upper],
                               np.percentile(volumes, [tail, 100 - tail], axis=0), rtol=1e-14)


def test_compare_ranks_by_information_criteria():
    bm3 = fit(START, ROOM, pressure_sigma=0.1)
    bm4 = fit(START.replace(), ROOM, pressure_sigma=0.1, vary=("v0", "k0"))
    ranking = compare({"bm3": bm3, "bm3 k0'=4": bm4})
    assert [row["label"] for row in ranking.rows] == sorted(
        ["bm3", "bm3 k0'=4"], key=lambda label: {"bm3": bm3.aic, "bm3 k0'=4": bm4.aic}[label])
    assert ranking.rows[0]["delta_aic"] == 0.0 and "ΔAIC" in ranking.summary()
    with pytest.raises(ValueError, match="other data"):
        compare([bm3, fit(START, ROOM.select(np.arange(8)), pressure_sigma=0.1)])


def test_plots_of_a_result():
    matplotlib = pytest.importorskip("matplotlib")
    matplotlib.use("Agg")
    result = fit(START, ROOM, pressure_sigma=1.0)
    assert len(result.plot().axes) == 2
    assert result.plot_ellipse("k0", "k0_prime").axes[0].get_xlabel() == "k0"


def test_command_line_fit(tmp_path, capsys):
    path = tmp_path / "room.csv"
    write_csv(ROOM, path)
    assert main(["fit", str(path), "--eos", "bm3", "--pressure-sigma", "1", "--json"]) == 0
    document = json.loads(capsys.readouterr().out)
    assert document["parameters"]["k0"]["value"] == pytest.approx(
        fit(START, ROOM, pressure_sigma=1.0).values["k0"], rel=1e-6)
    bad = tmp_path / "bad.csv"
    bad.write_text("pressure,volume\n0.0,46.56\n4.76,45.8.2\n")
    assert main(["fit", str(bad), "--eos", "bm3", "--pressure-sigma", "1"]) == 1
    assert capsys.readouterr().err.startswith("barometra fit: error: ")
    assert main(["fit", str(path), "--eos", "bm3", "--errors", "volume"]) == 2
    err = capsys.readouterr().err
    assert "invalid choice: 'volume'" in err and err.count("\n") == 1
    assert main(["fit", str(path), "--eos", "bm3", "--pressure-sigma", "1",
                 "--max-evaluations", "1"]) == 3
    out, err = capsys.readouterr()
    assert "NOT CONVERGED" in out and "did not converge" in err and "Traceback" not in err
    assert main(["fit", "stishovite_pvt_nishihara2005", "--eos", "bm3", "--thermal",
                 "mie-gruneisen-debye", "--pressure-sigma", "1", "--vary", "theta0",
                 "gamma0", "q"]) == 0
    assert "Fit of MieGruneisenDebye" in capsys.readouterr().out


def test_predicted_implied_k0_double_prime_is_its_closed_form_through_the_covariance():
    result = fit(START, ROOM, pressure_sigma=1.0, scale_errors=True)
    k0, kp = result.values["k0"], result.values["k0_prime"]
    implied = result.predict("implied_k0_double_prime")
    assert implied.value == pytest.approx(-((3 - kp) * (4 - kp) + 35 / 9) / k0, rel=1e-14)
    # d/dk0 and d/dk0': K0'' = -[(3 - K')(4 - K') + 35/9] / K0
    gradient = np.array([0.0, -implied.value / k0, (7 - 2 * kp) / k0])
    expected = math.sqrt(gradient @ result.covariance.values @ gradient)
    assert implied.standard_error == pytest.approx(expected, rel=1e-6)
    assert implied.unit == "1/GPa"
    k_prime = result.predict("bulk_modulus_derivative", [46.0, 43.0], monte_carlo=3000, seed=5)
    np.testing.assert_allclose(k_prime.standard_error, result.predict(
        "bulk_modulus_derivative", [46.0, 43.0]).standard_error, rtol=0.1)
