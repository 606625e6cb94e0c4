"""Pressure scales: every published set against what its source implies, the
bridgmanite pressures from their MgO volumes, the uncertainties against
finite-difference propagation, inverses, conversion and the registry."""

import json
import pathlib
import pickle
import threading

import numpy as np
import pytest

from barometra import BM3, scales
from barometra._cli import main
from barometra.data import load_example
from barometra.errors import EosValidationError, ValidationError

DATA = json.loads((pathlib.Path(scales.__file__).parent / "calibrants.json").read_text("utf-8"))
CALIBRANTS = {entry["key"]: entry for entry in DATA["volume_calibrants"]}
GAUGES = {entry["key"]: entry for entry in DATA["optical_gauges"]}
CM3_PER_MOL_PER_A3 = 0.602214076  # 1e-24 cm³/Å³ × Avogadro's number


def test_the_data_file_is_the_registry():
    assert scales.available()[:len(CALIBRANTS) + len(GAUGES)] == (*CALIBRANTS, *GAUGES)


@pytest.mark.parametrize("key", CALIBRANTS)
def test_calibrant_has_zero_pressure_and_bulk_modulus_k0_at_v0_and_tr(key):
    entry = CALIBRANTS[key]
    scale = scales.get(key.upper())
    reference = entry["reference"]["parameters"]
    v0 = reference["v0"]  # Å³ per cell whatever the paper's unit
    if entry["volume_unit"] == "cm³/mol":
        v0 *= entry["formula_units"] / CM3_PER_MOL_PER_A3
    tr = entry["thermal"]["parameters"]["tr"]
    assert scale.pressure(v0, tr) == pytest.approx(0.0, abs=1e-9)
    h = 1e-5 * v0
    slope = (scale.pressure(v0 + h, tr) - scale.pressure(v0 - h, tr)) / (2 * h)
    assert -v0 * slope == pytest.approx(reference["k0"], rel=1e-6)
    assert scale.checked is entry["checked"] and scale.doi == entry["doi"]


@pytest.mark.parametrize("key", GAUGES)
def test_gauge_reads_zero_at_its_reference_and_its_modulus_as_initial_slope(key):
    entry = GAUGES[key]
    gauge = scales.get(key)
    y0 = entry["reference"]
    assert gauge.pressure(y0) == 0.0
    h = 1e-4
    slope = (gauge.pressure(y0 + h) - gauge.pressure(y0 - h)) / (2 * h)
    # dP/dy at y0 is A/y0 (A/1 nm for the rational form, whose shift is absolute).
    modulus = entry["constants"].get("a", entry["constants"].get("k0"))
    scale = 1.0 if entry["form"] == "rational" else y0
    assert slope * scale == pytest.approx(modulus, rel=1e-6)


def test_bridgmanite_pressures_come_back_from_their_mgo_volumes():
    data = load_example("bridgmanite_pvt_tange2012")
    volumes, temperatures = data.extra["volume_mgo"], data.temperature
    vinet = scales.get("MgO-Tange2009").pressure(volumes, temperatures)
    assert np.all(np.abs(vinet - data.pressure) <= data.pressure_sigma)
    bm3 = scales.get("MgO-Tange2009-BM3").pressure(volumes, temperatures)
    assert np.all(np.abs(bm3 - data.extra["pressure_bm3_scale"])
                  <= data.extra["pressure_bm3_scale_sigma"])


def _rebuilt(scale, name, value):
    """The scale's model with one parameter (a canonical name) changed."""
    model = scale.model
    if name in model.parameters:
        return model.replace(**{name: value})
    return model.replace(reference=model.reference.replace(**{name: value}))


COLD = BM3(v0=67.85, k0=167.0, k0_prime=5.8)  # an isothermal gold scale in Å³ per cell


@pytest.mark.parametrize(("isothermal", "correlated"), [(False, False), (False, True),
                                                        (True, True)])
def test_parameter_share_is_a_finite_difference_propagation(isothermal, correlated):
    if isothermal:
        scale = scales.VolumeScale("cold", COLD, material="Au", formula_units=4,
                                   model_volume_unit="Å³/cell",
                                   standard_errors={"k0": 2.0, "k0_prime": 0.1},
                                   correlations={("k0", "k0_prime"): -0.9})
        volumes, temperatures = np.array([[66.0], [58.0]]), np.array([300.0])

        def pressure(model):
            return np.broadcast_to(model.pressure(scale.model_volume(volumes)), (2, 1))
    else:
        published = scales.get("MgO-Tange2009")
        correlations = {("k0", "k0_prime"): -0.8, ("gamma0", "b"): 0.5} if correlated else None
        scale = scales.VolumeScale("MgO-test", published.model, material="MgO",
                                   formula_units=4, standard_errors=published.standard_errors,
                                   correlations=correlations)
        volumes, temperatures = np.array([[74.0], [65.0]]), np.array([300.0, 1500.0, 2500.0])

        def pressure(model):
            return model.pressure(scale.model_volume(volumes), temperatures)
    columns = []
    for p in scale.uncertain_parameters:
        h = 1e-4 * p.standard_error
        up, down = (pressure(_rebuilt(scale, p.name, p.value + s * h)) for s in (1, -1))
        columns.append((up - down) / (2 * h))
    jacobian = np.stack(columns, axis=-1)
    expected = np.sqrt(np.einsum("...i,ij,...j", jacobian, scale.parameter_covariance, jacobian))
    found = scale.pressure_uncertainty(volumes, temperatures)
    np.testing.assert_allclose(found.parameters, expected, rtol=1e-5)
    assert found.parameters.shape == expected.shape and not np.any(found.measurement)


def test_measurement_share_is_a_finite_difference_propagation():
    scale = scales.get("Pt-Fei2007")
    v, t, v_sigma, t_sigma = 55.0, 1800.0, 0.03, 80.0
    dp_dv = (scale.pressure(v + 1e-4, t) - scale.pressure(v - 1e-4, t)) / 2e-4
    dp_dt = (scale.pressure(v, t + 0.1) - scale.pressure(v, t - 0.1)) / 0.2
    found = scale.pressure_uncertainty(v, t, v_sigma, t_sigma)
    assert found.measurement == pytest.approx(np.hypot(dp_dv * v_sigma, dp_dt * t_sigma),
                                              rel=1e-5)
    assert found.total == pytest.approx(np.hypot(found.measurement, found.parameters))


@pytest.mark.parametrize("key", ["ruby-Chijioke2005", "ruby-Shen2020", "diamond-Akahama2006"])
def test_gauge_uncertainty_is_a_finite_difference_propagation(key):
    gauge = scales.get(key)
    y0 = gauge.reference
    y, y_sigma, y0_sigma = 1.06 * y0, 0.05, 0.02
    found = gauge.pressure_uncertainty(y, None, y_sigma, y0_sigma)
    h = 1e-4
    dp_dy = (gauge.pressure(y + h) - gauge.pressure(y - h)) / (2 * h)
    dp_dy0 = (gauge.pressure(y, y0 + h) - gauge.pressure(y, y0 - h)) / (2 * h)
    assert found.measurement == pytest.approx(np.hypot(dp_dy * y_sigma, dp_dy0 * y0_sigma),
                                              rel=1e-6)
    shares = []
    for name, sigma in gauge.standard_errors.items():
        moved = [gauge.replace(constants={**gauge.constants, name: gauge.constants[name] + s * h})
                 .pressure(y) for s in (1, -1)]
        shares.append((moved[0] - moved[1]) / (2 * h) * sigma)
    assert found.parameters == pytest.approx(np.hypot(*shares), rel=1e-6)


def test_inverses_and_conversion():
    gold = scales.get("Au-Fei2007")
    volumes = np.array([67.0, 62.0, 58.0])
    pressures = gold.pressure(volumes, [[300.0], [2000.0]])
    np.testing.assert_allclose(gold.volume(pressures, [[300.0], [2000.0]]),
                               np.broadcast_to(volumes, (2, 3)), rtol=1e-10)
    ruby = scales.get("ruby-Mao1986")
    assert ruby.pressure(ruby.wavelength(80.0, 694.0), 694.0) == pytest.approx(80.0, rel=1e-13)
    assert scales.convert(50.0, 1500.0, "Au-Fei2007", "au-fei2007") == pytest.approx(50.0)
    there = scales.convert(np.array([20.0, 60.0]), 1000.0, "MgO-Speziale2001", "MgO-Tange2009")
    np.testing.assert_allclose(scales.convert(there, 1000.0, "MgO-Tange2009",
                                              "MgO-Speziale2001"), [20.0, 60.0])
    molar = scales.get("Au-Fei2007", volume_unit="cm3/mol")
    assert molar.pressure_from_lattice_parameter(3.95, 900.0) == \
        pytest.approx(gold.pressure(3.95 ** 3, 900.0), rel=1e-14)


def test_bad_input_is_refused_with_the_model_s_own_error():
    with pytest.raises(ValidationError, match="close matches: MgO-Tange2009, MgO-Tange2009-BM3"):
        scales.get("MgO-Tange")
    gold = scales.get("Au-Fei2007")
    with pytest.raises(EosValidationError) as found:
        gold.pressure([60.0, -1.0], 300.0)
    with pytest.raises(EosValidationError) as expected:
        gold.model.pressure(-1.0, 300.0)
    assert (str(found.value), found.value.field) == (str(expected.value), expected.value.field)
    with pytest.raises(ValueError, match="different calibrants"):
        scales.convert(30.0, 300.0, "Au-Fei2007", "Pt-Fei2007")
    with pytest.raises(ValueError, match="no temperature correction"):
        scales.convert(30.0, 300.0, "ruby-Mao1986", "ruby-Shen2020")
    with pytest.raises(ValidationError, match="volume_sigma"):
        gold.pressure_uncertainty(60.0, volume_sigma=-0.1)
    cold = scales.VolumeScale("cold", COLD, material="Au", formula_units=4,
                              model_volume_unit="Å³/cell")
    with pytest.raises(ValueError, match="isothermal"):
        cold.pressure(60.0, 1000.0)
    with pytest.raises(ValueError, match="J/bar"):
        scales.VolumeScale("bad", gold.model, material="Au", formula_units=4,
                           model_volume_unit="Å³/cell")


def test_scales_are_values_and_registration_is_safe_across_threads():
    gold = scales.get("Au-Fei2007")
    assert pickle.loads(pickle.dumps(gold)) == gold
    assert gold.with_volume_unit("J/bar").pressure(gold.model_volume(60.0)) == gold.pressure(60.0)
    keys = [f"threaded-{i}" for i in range(8)]
    barrier = threading.Barrier(len(keys))

    def register(key):
        barrier.wait()
        scales.register(gold.replace(key=key))

    threads = [threading.Thread(target=register, args=(key,)) for key in keys]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert set(keys) <= set(scales.available())
    with pytest.raises(ValueError, match="exists"):
        scales.register(gold.replace(key="THREADED-0"))
    scales.register(gold.replace(key="THREADED-0"), replace=True)
    assert scales.get("threaded-0").key == "THREADED-0"


@pytest.mark.parametrize(("argv", "status", "message"), [
    (["--scale", "au-fei2007", "--lattice-parameter", "3.9", "4.0", "--temperature", "1500",
      "--lattice-parameter-sigma", "0.001", "--temperature-sigma", "40"], 0, ""),
    (["--scale", "ruby-Shen2020", "--wavelength", "700", "--wavelength-sigma", "0.03",
      "--reference", "694.3"], 0, ""),
    (["--scale", "Au-Fei", "--volume", "60"], 2, "close matches: Au-Fei2007"),
    (["--scale", "Au-Fei2007", "--volume", "60", "-1"], 1, "at volume -1.0: invalid state"),
    (["--scale", "ruby-Mao1986", "--wavelength", "700", "--temperature", "300"], 2,
     "--temperature does not apply"),
])
def test_pressure_command(capsys, argv, status, message):
    assert main(["pressure", *argv, "--json"]) == status
    out, err = capsys.readouterr()
    assert message in err
    if status:
        return
    columns = json.loads(out)["columns"]
    scale = scales.get(argv[1])
    if "lattice_parameter" in columns:
        a = np.array(columns["lattice_parameter"])
        expected = scale.pressure_uncertainty(a ** 3, 1500.0, 3 * a ** 2 * 0.001, 40.0)
        assert columns["pressure"] == scale.pressure_from_lattice_parameter(a, 1500.0).tolist()
    else:
        expected = scale.pressure_uncertainty(700.0, 694.3, 0.03)
        assert columns["pressure"] == [scale.pressure(700.0, 694.3)]
    np.testing.assert_allclose(columns["sigma_measurement"], expected.measurement, rtol=1e-12)
    np.testing.assert_allclose(columns["sigma"], expected.total, rtol=1e-12)


def test_scales_command_lists_every_key_with_its_source(capsys):
    assert main(["scales", "--json"]) == 0
    listed = json.loads(capsys.readouterr().out)["scales"]
    assert [entry["key"] for entry in listed] == list(scales.available())
    assert listed[0]["citation"] == CALIBRANTS["Au-Fei2007"]["citation"]
