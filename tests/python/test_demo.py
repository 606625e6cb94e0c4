"""The demonstration: the published fits come back, and it says what it did."""

import subprocess
import sys

import numpy as np
import pytest

from barometra import _demo
from barometra.data import load_example

STISHOVITE_PVT = ["rt_eos.V0", "rt_eos.K0", "rt_eos.K0_prime", "theta0", "gamma0", "q"]
BRIDGMANITE = ["rt_eos.K0", "rt_eos.K0_prime", "theta0", "gamma0", "q"]


BRIDGMANITE_START = [258.0, 4.1, 940.0, 1.5, 1.1]
# name -> (fit, reference values, largest |difference| in reference SEs, SE tolerance)
FITS = {
    "stishovite_300K": (
        lambda: _demo.fit_isothermal(load_example("stishovite_300K_nishihara2005"),
                                     ["V0", "K0", "K0_prime"], [46.5, 300.0, 4.0]),
        lambda: _demo._published("stishovite_300K_nishihara2005", "bm3_300K"), 0.35, 0.15),
    "stishovite_pvt": (
        lambda: _demo.fit_thermal(load_example("stishovite_pvt_nishihara2005"), "bm3", 46.56,
                                  STISHOVITE_PVT, [46.56, 296.0, 4.2, 1100.0, 1.3, 5.0], 3),
        lambda: _demo._published("stishovite_pvt_nishihara2005", "bm3_mgd"), 0.1, 0.1),
    "bridgmanite": (
        lambda: _demo.fit_thermal(load_example("bridgmanite_pvt_tange2012"), "vinet", 162.373,
                                  BRIDGMANITE, BRIDGMANITE_START, 5),
        lambda: _demo._published("bridgmanite_pvt_tange2012", "vinet_mgd"), 0.15, 0.15),
    # The errors-in-variables fit against the independent SciPy refit.
    "bridgmanite_latent_volumes": (
        lambda: _demo.fit_thermal(load_example("bridgmanite_pvt_tange2012"), "vinet", 162.373,
                                  BRIDGMANITE, BRIDGMANITE_START, 5, latent_volumes=True),
        lambda: _demo.SCIPY_LATENT_VOLUME_REFIT, 0.1, 0.02),
}


@pytest.mark.parametrize("case", FITS)
def test_published_values_and_standard_errors_come_back(case):
    fit, published, tolerance, se_tolerance = FITS[case]
    outcome, reference = fit(), published()
    assert outcome.result.success
    for name, value, error in zip(outcome.names, outcome.values, outcome.errors):
        if name in reference:
            expected, expected_error = reference[name]
            assert abs(value - expected) <= tolerance * expected_error, name
            assert error == pytest.approx(expected_error, rel=se_tolerance), name


def test_the_demo_runs_as_a_module_and_says_what_it_did():
    completed = subprocess.run([sys.executable, "-m", "barometra._demo"], capture_output=True,
                               text=True, check=True)
    out = completed.stdout
    assert completed.stderr == ""
    assert out.count("converged (") == 4 and "DID NOT CONVERGE" not in out
    for text in ("doi:10.1007/s00269-004-0426-7", "doi:10.1029/2011JB008988",
                 "standard errors scaled by sqrt(chi²/(N - k))", "standard errors unscaled",
                 "J/bar per MgSiO3", "V0 = 162.373 Å³/cell", "latent parameter"):
        assert text in out
    differences = [float(line.split()[-2]) for line in out.splitlines() if line.endswith(" SE")]
    assert len(differences) == 3 + 3 + 5 + 5
    assert np.max(np.abs(differences)) < 0.5


def test_help_and_failures_are_one_line_exits(capsys, monkeypatch):
    with pytest.raises(SystemExit) as info:
        _demo.main(["--help"])
    assert info.value.code == 0
    monkeypatch.setattr(_demo, "run", lambda: 1 / 0)
    assert _demo.main([]) == 1
    assert capsys.readouterr().err == "barometra demo failed: ZeroDivisionError: division by zero\n"
