"""The demonstration: the published fits come back, and it says what it did."""

import subprocess
import sys

import numpy as np
import pytest

from barometra._cli import demonstration as _demo
from barometra._esd import format_value_esd
from barometra._cli import main as cli

# dataset -> (largest |fit A - published| in published SEs, relative SE tolerance)
TOLERANCES = {"stishovite_300K_nishihara2005": (0.35, 0.15),
              "stishovite_pvt_nishihara2005": (0.1, 0.1),
              "bridgmanite_pvt_tange2012": (0.15, 0.15)}

# The bridgmanite fit with latent volumes done independently with SciPy (dense
# least_squares over the five parameters and the 42 latent volumes, covariance
# unscaled), by the maintainers of the bundled data; not a published result.
SCIPY_LATENT_VOLUMES = {"k0": (257.3, 1.31), "k0_prime": (4.143, 0.054),
                        "theta0": (1056.9, 134.7), "gamma0": (1.641, 0.086),
                        "q": (1.206, 0.242)}


@pytest.fixture(scope="module")
def refits():
    return {case.dataset: _demo.refit(case) for case in _demo.CASES}


@pytest.mark.parametrize("case", _demo.CASES, ids=lambda case: case.dataset)
def test_fit_a_brings_the_published_values_back(case, refits):
    refit = refits[case.dataset]
    tolerance, se_tolerance = TOLERANCES[case.dataset]
    assert refit.published.converged and refit.latent.converged
    for name, (value, error) in _demo.published_values(case).items():
        fitted, fitted_error = _demo.printed_value(refit.published, name, refit.volume_factor)
        assert abs(fitted - value) <= tolerance * error, name
        assert fitted_error == pytest.approx(error, rel=se_tolerance), name
    # Fit B's pressure sigmas: the table's, or the scatter of fit A where it has none.
    sigmas = refit.latent.settings.sigmas["pressure_sigma"]
    expected = refit.data.pressure_sigma if case.dataset.startswith("bridgmanite") \
        else refit.published.error_scale
    assert np.array_equal(sigmas, np.broadcast_to(expected, sigmas.shape))


def test_latent_volume_fit_matches_an_independent_refit(refits):
    latent = refits["bridgmanite_pvt_tange2012"].latent
    for name, (value, error) in SCIPY_LATENT_VOLUMES.items():
        assert abs(latent.values[name] - value) <= 0.1 * error, name
        assert latent.standard_errors[name] == pytest.approx(error, rel=0.02), name


def test_the_demo_prints_each_fit_beside_the_published_values():
    completed = subprocess.run([sys.executable, "-m", "barometra"], capture_output=True,
                               text=True, check=True)
    out = completed.stdout
    assert completed.stderr == ""
    assert out.count(" converged in ") == 6 and "DID NOT CONVERGE" not in out
    for text in ("doi:10.1007/s00269-004-0426-7", "doi:10.1029/2011JB008988",
                 "s = sqrt(chi²/(N - k))", "standard errors unscaled",
                 "V0 = 162.373 Å³/cell as published", "the paper gives none",
                 "delta method", "volume_with_dac_confinement", "Done: 6 fits"):
        assert text in out
    rows = [line.split() for line in out.splitlines() if line.endswith(" SE")]
    published = [format_value_esd(*value) for case in _demo.CASES
                 for value in _demo.published_values(case).values()]
    assert [row[-3] for row in rows] == published
    assert np.max(np.abs([float(row[-2]) for row in rows])) < 0.5


@pytest.mark.parametrize("argv", [["demo", "--bogus"], ["--bogus"]])
def test_a_bad_option_is_one_line_and_a_usage_status(argv, capsys):
    assert cli(argv) == 2
    captured = capsys.readouterr()
    assert captured.out == ""
    assert captured.err == ("barometra demo: error: unrecognized arguments: --bogus "
                            "(see barometra demo --help)\n")


def test_help_and_failures_are_one_line_exits(capsys, monkeypatch):
    with pytest.raises(SystemExit) as info:
        _demo.main(["--help"])
    assert info.value.code == 0
    monkeypatch.setattr(_demo, "run", lambda: 1 / 0)
    assert _demo.main([]) == 1
    assert capsys.readouterr().err == "barometra demo failed: ZeroDivisionError: division by zero\n"
