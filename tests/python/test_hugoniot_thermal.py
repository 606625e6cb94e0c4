"""The principal Hugoniot of the thermal models: an independent SciPy solve of
the energy condition, the public methods' arrays and errors, and gold
against its measured shock line."""

import numpy as np
import pytest
from scipy.integrate import quad
from scipy.optimize import brentq

from barometra import (BM3, AsymptoticPowerLawMieGruneisenDebye, LinearThermalPressure,
                       LinearUsUpHugoniot, MieGruneisenDebye, MieGruneisenEinstein,
                       VariableQMieGruneisenDebye, Vinet, scales)
from barometra.errors import EosValidationError

V0, TR = 1.1248, 300.0
REFERENCES = {"BM3": BM3(v0=V0, k0=160.2, k0_prime=4.03), "Vinet": Vinet(v0=V0, k0=160.2,
                                                                        k0_prime=4.03)}
MODELS = {
    "debye": lambda r: MieGruneisenDebye(reference=r, tr=TR, theta0=773.0, gamma0=1.5, q=1.5,
                                         n=2),
    "einstein": lambda r: MieGruneisenEinstein(reference=r, tr=TR, theta0=560.0, gamma0=1.5,
                                               q=1.5, n=2),
    "variable_q": lambda r: VariableQMieGruneisenDebye(reference=r, tr=TR, theta0=773.0,
                                                       gamma0=1.5, q0=1.6, q1=2.0, n=2),
    "power_law": lambda r: AsymptoticPowerLawMieGruneisenDebye(reference=r, tr=TR, theta0=761.0,
                                                              gamma0=1.44, a=0.14, b=5.4, n=2),
}


def energy(model, volume, temperature):
    """E(V, T) in J/mol up to a constant: the quadrature of the reference
    pressure plus Tr S(V, Tr) + E(V, T) - E(V, Tr)."""
    reference = model.reference
    static = quad(reference.pressure, volume, reference.parameters["v0"], epsabs=0.0,
                  epsrel=1e-13)[0]
    return (1e4 * static + TR * model.thermal_entropy(volume, TR)
            + model.thermal_energy(volume, temperature) - model.thermal_energy(volume, TR))


@pytest.mark.parametrize("t0", [None, 700.0])
@pytest.mark.parametrize("reference", REFERENCES)
@pytest.mark.parametrize("kind", MODELS)
def test_the_energy_condition_solved_by_brentq(kind, reference, t0):
    model = MODELS[kind](REFERENCES[reference])
    start = TR if t0 is None else t0
    v0 = model.volume(0.0, start)
    p0, e0 = model.pressure(v0, start), energy(model, v0, start)
    for x in (0.97, 0.85, 0.75):
        v = x * v0

        def condition(t, v=v):
            p = model.pressure(v, t)
            return energy(model, v, t) - e0 - 0.5e4 * (p + p0) * (v0 - v)

        t_h = brentq(condition, start, 1e5, xtol=1e-9, rtol=1e-14)
        assert model.hugoniot_temperature(v, t0) == pytest.approx(t_h, rel=1e-9)
        assert model.hugoniot_pressure(v, t0) == pytest.approx(model.pressure(v, t_h), rel=1e-9)


def test_arrays_broadcast_and_report_the_first_error():
    model = MODELS["debye"](REFERENCES["BM3"])
    volumes = np.array([[0.95], [0.85], [0.75]]) * V0
    t0 = np.array([300.0, 900.0])
    pressures = model.hugoniot_pressure(volumes, t0)
    assert pressures.shape == (3, 2)
    assert pressures[1, 1] == model.hugoniot_pressure(0.85 * V0, 900.0)
    assert model.hugoniot_temperature(volumes[:, 0]).tolist() == \
        model.hugoniot_temperature(volumes[:, 0], TR).tolist()
    assert model.hugoniot_pressure(V0) == 0.0 and model.hugoniot_temperature(V0) == TR
    with pytest.raises(EosValidationError, match="must not exceed V0"):
        model.hugoniot_pressure([0.9 * V0, 1.1 * V0, np.nan])
    # Past the limiting compression no temperature meets the condition.
    with pytest.raises(EosValidationError, match="has no Hugoniot temperature"):
        model.replace(gamma0=3.0, q=0.0).hugoniot_pressure(0.55 * V0)
    assert not hasattr(LinearThermalPressure(reference=REFERENCES["BM3"], tr=TR, alpha_kt=0.006),
                       "hugoniot_pressure")


def test_gold_beside_its_measured_shock_line():
    """Fei et al. (2007) against Jamieson et al. (1982): within a few per cent
    up to V/V0 = 0.85, then ever stiffer beyond 100 GPa."""
    gold = scales.get("Au-Fei2007-BM3").model
    v0 = gold.reference.parameters["v0"]
    measured = LinearUsUpHugoniot(v0=v0, rho0=19.2827, c0=3.071, s=1.536)
    x = np.array([0.95, 0.9, 0.85, 0.8, 0.75, 0.7])
    ratio = gold.hugoniot_pressure(x * v0) / measured.pressure(x * v0)
    assert np.all(abs(ratio[:3] - 1.0) < 0.04)
    assert measured.pressure(0.75 * v0) > 100.0 and ratio[4] > 1.1
    assert np.all(np.diff(ratio[2:]) > 0.0)
