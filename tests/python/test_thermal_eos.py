import gc
import inspect
import math

import numpy as np
import pytest
from support import elementwise

from barometra._engine import RtEos, ThermalEos
from barometra.errors import (ConfigurationError, EosValidationError,
                              UnsupportedOperationError, ValidationError)

V0, TR = 11.25, 300.0
BM3 = RtEos.bm3(V0, 160.0, 4.15)
HOLZAPFEL = RtEos.holzapfel(V0, 160.0, 4.5, 2.0, 10.0)
TAIT = RtEos.modified_tait(V0, 160.0, 4.15, -4.15 / 160.0)
MG_OPTIONS = ('debye_temperature_law="integrated_gruneisen", '
              'thermal_pressure_reference="reference_temperature", cvmax=None')
MULTI = ("(rt_eos, tr, qe1o, me1, qe2o, me2, delta, t, a_0, m, g, e_0, beta=0.0, qbo=1.0, d=1.0, "
         "mb=0.0, qb1o=1.0, d1=1.0, mb1=0.0, n=None)")
MULTI_ARGS = (450.0, 3.0, 800.0, 3.0, -0.1, 1.0, 10.0, 3.0, 1.5, 30.0, 0.2, 600.0, 2.0, 1.0,
              1000.0, 4.0, 0.5, 2.0)
# Constructor -> (rt_eos, arguments after rt_eos, model name, text signature, first check).
CONSTRUCTORS = {
    "mie_gruneisen_debye": (BM3, (TR, 760.0, 1.5, 1.2, 2.0), "MieGruneisenDebye",
                            f"(rt_eos, tr, theta0, gamma0, q, n, {MG_OPTIONS})", "Tr"),
    "mie_gruneisen_einstein": (BM3, (TR, 560.0, 1.5, 1.2, 2.0), "MieGruneisenEinstein",
                               "(rt_eos, tr, theta0, gamma0, q, n)", "Tr"),
    "asymptotic_power_law_mie_gruneisen_debye": (
        BM3, (TR, 760.0, 1.5, 0.4, 2.0, 2.0), "AsymptoticPowerLawMieGruneisenDebye",
        "(rt_eos, tr, theta0, gamma0, a, b, n)", "a"),
    "variable_q_mie_gruneisen_debye": (BM3, (TR, 760.0, 1.5, 1.2, 0.8, 2.0),
                                       "VariableQMieGruneisenDebye",
                                       "(rt_eos, tr, theta0, gamma0, q0, q1, n)", "Tr"),
    "dewaele_2006": (
        BM3, (TR, 800.0, 1.5, 0.5, 2.0, 1e-5, 3.0, 3e-5, 1.5, 2.0), "Dewaele2006",
        "(rt_eos, tr, theta0, gamma0, gamma_inf, beta, anharmonic_a, anharmonic_m, electronic_e, "
        'electronic_g, n, thermal_pressure_reference="reference_temperature", '
        'zero_point_pressure="omitted")', "gamma0"),
    "dorogokupets_oganov_2007": (
        BM3, (TR, 760.0, 1.5, 3.0, 500.0, 5.0, 1.5, 300.0, 1.0, 900.0, 0.5, 1.5, 0.5, 2.5, 15.0,
              4.0, 20.0, 1.5, 3e4, 5.0, 2.0), "DorogokupetsOganov2007",
        "(rt_eos, tr, theta_b1, d_b1, m_b1, theta_b2, d_b2, m_b2, theta_e1, m_e1, theta_e2, m_e2, "
        "gamma0, gamma_inf, beta, anharmonic_a, anharmonic_m, electronic_e, electronic_g, "
        "defect_h, defect_s, n)", "Tr"),
    "multi_oscillator_gruneisen": (BM3, (TR, *MULTI_ARGS), "MultiOscillatorGruneisenThermalEOS",
                                   MULTI, "Tr"),
    "sokolova2016": (BM3, (TR, *MULTI_ARGS), "MultiOscillatorGruneisenThermalEOS", MULTI, "Tr"),
    "debye_anharmonic_helmholtz": (BM3, (TR, 760.0, 1.5, 1.2, 5e-3, 0.1, 2.0),
                                   "DebyeAnharmonicHelmholtz",
                                   "(rt_eos, tr, theta0, gamma0, q, b1, b2, b3)", "b2"),
    "linear_thermal_pressure": (BM3, (TR, 0.006), "LinearThermalPressure",
                                "(rt_eos, tr, alpha_kt)", "Tr"),
    "log_volume_thermal_pressure": (BM3, (TR, 0.005, 0.004), "LogVolumeThermalPressure",
                                    "(rt_eos, tr, alpha_kt_ref, dk_dt_v)", "Tr"),
    "debye_quadratic_thermal_pressure": (BM3, (TR, 773.0, 1.5, 1.5, 2.0, 2e-8, 1.5),
                                         "DebyeQuadraticThermalPressure",
                                         "(rt_eos, tr, theta0, gamma0, q, n, a, m)", "Tr"),
    "second_order_taylor_thermal_pressure": (
        BM3, (TR, 0.05, 0.1, 2.0, 0.006, 1.0, 1e-6, 0.01), "SecondOrderTaylorThermalPressure",
        "(rt_eos, tr, eta0, c0, c1, c2, c3, c4, c5)", "Tr"),
    "holland_powell_thermal_pressure": (BM3, (TR, 500.0, 3e-5, 2.0),
                                        "HollandPowellThermalPressure",
                                        "(rt_eos, tr, theta, alpha0, n)", "Tr"),
    "thermal_modified_tait": (TAIT, (TR, 500.0, 3e-5, 2.0), "ThermalModifiedTait",
                              "(rt_eos, tr, theta, alpha0, n)", "Tr"),
    "thermal_reference_state": (
        BM3, (TR, 3e-5, -0.02), "ThermalReferenceStateEOS",
        '(rt_eos, tr, alpha0, dk_dt, alpha1=0.0, thermal_expansion_law="constant", '
        'reference_volume_law="integrated_expansivity", bulk_modulus_law="linear_temperature", '
        "beta1=0.0, beta2=0.0, beta3=0.0, kprime_log_coefficient=0.0, dkprime_dt=0.0)", "Tr"),
}
MODELS = {name: getattr(ThermalEos, name)(rt, *args)
          for name, (rt, args, *_) in CONSTRUCTORS.items()}
MGD = MODELS["mie_gruneisen_debye"]

BASE = {"pressure", "volume", "temperature", "bulk_modulus", "isothermal_compressibility",
        "thermal_expansivity", "thermal_pressure", "thermal_pressure_increment",
        "bulk_modulus_pressure_derivative"}
CALORIC = {"adiabatic_bulk_modulus", "gruneisen_parameter", "molar_heat_capacity_v",
           "heat_capacity_v", "molar_heat_capacity_p", "heat_capacity_p"}
ENERGIES = {"thermal_energy", "thermal_internal_energy", "thermal_entropy", "thermal_enthalpy",
            "thermal_helmholtz_free_energy", "thermal_gibbs_free_energy"}
HUGONIOT = {"hugoniot_pressure", "hugoniot_temperature"}
MIE_GRUNEISEN = BASE | CALORIC | ENERGIES | HUGONIOT | {"characteristic_temperature",
                                                       "vibrational_pressure"}
ACCEPTED = {
    "MieGruneisenDebye": MIE_GRUNEISEN, "MieGruneisenEinstein": MIE_GRUNEISEN,
    "AsymptoticPowerLawMieGruneisenDebye": MIE_GRUNEISEN,
    "VariableQMieGruneisenDebye": MIE_GRUNEISEN,
    "Dewaele2006": BASE | {"gruneisen_parameter", "characteristic_temperature",
                           "vibrational_pressure_increment", "anharmonic_pressure_increment",
                           "electronic_pressure_increment"},
    "DorogokupetsOganov2007": BASE | CALORIC | ENERGIES | HUGONIOT | {"absolute_thermal_pressure"},
    "DebyeAnharmonicHelmholtz": BASE | CALORIC | HUGONIOT | {"internal_energy", "entropy",
                                                  "helmholtz_free_energy",
                                                  "thermal_helmholtz_free_energy"},
    "HollandPowellThermalPressure": BASE | CALORIC, "ThermalModifiedTait": BASE | CALORIC,
}
ALL_QUANTITIES = set().union(*ACCEPTED.values())


def state(quantity, model, volume=0.95 * V0, temperature=1200.0):
    """(first, second) for a quantity: (P, T) for volume, (P, V) for temperature, else (V, T)."""
    pressure = model.evaluate_scalar("pressure", volume, temperature)
    return {"volume": (pressure, temperature),
            "temperature": (pressure, volume)}.get(quantity, (volume, temperature))


@pytest.mark.parametrize("name", CONSTRUCTORS)
def test_constructor_signature_and_identity(name):
    rt, args, model_name, text, _ = CONSTRUCTORS[name]
    function = getattr(ThermalEos, name)
    assert function.__text_signature__ == text and function.__doc__
    assert str(inspect.signature(function)) == text.replace('"', "'")
    assert isinstance(inspect.getattr_static(ThermalEos, name), staticmethod)
    model = MODELS[name]
    assert model.model_name == model_name
    assert repr(model) == f"ThermalEos(model_name='{model_name}')"
    keywords = dict(zip(list(inspect.signature(function).parameters)[1:], args))
    assert function(rt_eos=rt, **keywords).evaluate_scalar("pressure", 11.0, 900.0) == (
        model.evaluate_scalar("pressure", 11.0, 900.0))


@pytest.mark.parametrize("name", CONSTRUCTORS)
def test_first_parameter_error_reaches_python(name):
    rt, args, _, _, field = CONSTRUCTORS[name]
    with pytest.raises(EosValidationError) as info:
        getattr(ThermalEos, name)(rt, *[math.nan] * len(args))
    error = info.value
    assert (error.code, error.operation, error.field) == ("eos.invalid_parameter", "eos", field)
    assert str(error).startswith(f"invalid parameter {field}: must be")


def mgd(**options):
    return ThermalEos.mie_gruneisen_debye(BM3, -1.0, 760.0, 1.5, 1.2, 2.0, **options)


def dewaele(**options):
    return ThermalEos.dewaele_2006(BM3, *CONSTRUCTORS["dewaele_2006"][1], **options)


def reference_state(**options):
    return ThermalEos.thermal_reference_state(BM3, -1.0, 3e-5, 0.0, **options)


# Options are examined before any number: a bad tr never hides them.
@pytest.mark.parametrize(("call", "error", "message"), [
    (lambda: mgd(debye_temperature_law="Integrated_gruneisen"), ValidationError,
     "debye_temperature_law must be 'integrated_gruneisen' or 'variable_exponent'"),
    (lambda: mgd(thermal_pressure_reference="isentrope"), ValidationError,
     "thermal_pressure_reference must be 'reference_temperature', 'reference_isentrope', or "
     "'absolute_zero'"),
    (lambda: mgd(debye_temperature_law="\udc80"), ValidationError,
     "debye_temperature_law must be 'integrated_gruneisen' or 'variable_exponent'"),
    (lambda: dewaele(thermal_pressure_reference="reference_isentrope"), ValueError,
     "invalid Dewaele2006 thermal_pressure_reference"),
    (lambda: dewaele(zero_point_pressure="Included"), ValueError, "invalid zero_point_pressure"),
    (lambda: dewaele(zero_point_pressure="included"), EosValidationError,
     "invalid parameter zero_point_pressure: inclusion requires absolute_zero"),
    (lambda: reference_state(bulk_modulus_law="linear_temperature", beta1=0.1), ValidationError,
     "invalid bulk_modulus_law or unused beta coefficients"),
    (lambda: reference_state(bulk_modulus_law="cubic"), ValidationError,
     "invalid bulk_modulus_law or unused beta coefficients"),
    (lambda: reference_state(thermal_expansion_law="Constant"), ValidationError,
     "thermal_expansion_law must be 'constant', 'linear_temperature', or "
     "'linear_reference_temperature'"),
    (lambda: reference_state(reference_volume_law="linear"), ValidationError,
     "reference_volume_law must be 'integrated_expansivity', 'linear_temperature', or 'berman'"),
    (lambda: ThermalEos.thermal_modified_tait(BM3, -1.0, 500.0, 3e-5, 2.0), ConfigurationError,
     "ThermalModifiedTait requires a ModifiedTait EOS"),
    (lambda: ThermalEos.sokolova2016(BM3, -1.0, *MULTI_ARGS[:-1]), ValidationError,
     "n is required for the generic multi-oscillator model"),
])
def test_option_errors(call, error, message):
    with pytest.raises(error) as info:
        call()
    assert type(info.value) is error and str(info.value) == message
    codes = {ValidationError: "validation.invalid_input", ConfigurationError: "configuration.invalid",
             EosValidationError: "eos.invalid_parameter"}
    if error is not ValueError:
        assert (info.value.code, info.value.operation) == (
            codes[error], "eos" if error is EosValidationError else None)


def test_defaults_and_private_reference():
    holzapfel = ThermalEos.multi_oscillator_gruneisen(HOLZAPFEL, TR, *MULTI_ARGS[:-1])
    explicit = ThermalEos.multi_oscillator_gruneisen(HOLZAPFEL, TR, *MULTI_ARGS[:-1], n=2.0)
    assert holzapfel.evaluate_scalar("pressure", 11.0, 900.0) == (
        explicit.evaluate_scalar("pressure", 11.0, 900.0))
    dewaele(thermal_pressure_reference="absolute_zero", zero_point_pressure="included")
    rt = RtEos.bm3(V0, 160.0, 4.15)
    model = ThermalEos.linear_thermal_pressure(rt, TR, 0.006)
    del rt
    gc.collect()
    assert model.evaluate_scalar("pressure", V0, TR) == 0.0


@pytest.mark.parametrize("name", CONSTRUCTORS)
def test_accepted_quantities_and_synonyms(name):
    model = MODELS[name]
    accepted = ACCEPTED.get(model.model_name, BASE)
    for quantity in sorted(ALL_QUANTITIES | {"Pressure", "pressure "}):
        if quantity in accepted:
            assert math.isfinite(model.evaluate_scalar(quantity, *state(quantity, model)))
        else:
            with pytest.raises(UnsupportedOperationError) as info:
                model.evaluate_scalar(quantity, V0, TR)
            assert str(info.value) == (
                f"quantity '{quantity}' is unavailable for this thermal model")
            assert info.value.code == "operation.unsupported"
    for a, b in [("heat_capacity_v", "molar_heat_capacity_v"),
                 ("heat_capacity_p", "molar_heat_capacity_p"),
                 ("thermal_energy", "thermal_internal_energy")]:
        if a in accepted:
            assert model.evaluate_scalar(a, V0, 900.0) == model.evaluate_scalar(b, V0, 900.0)


@pytest.mark.parametrize("name", CONSTRUCTORS)
def test_pressure_volume_temperature_round_trips(name):
    model = MODELS[name]
    for volume, temperature in [(0.95 * V0, 1200.0), (1.01 * V0, 600.0)]:
        pressure = model.evaluate_scalar("pressure", volume, temperature)
        assert model.evaluate_scalar("volume", pressure, temperature) == pytest.approx(
            volume, rel=1e-9)
        assert model.evaluate_scalar("temperature", pressure, volume) == pytest.approx(
            temperature, rel=1e-6)
        assert model.volume_with_dac_confinement_scalar(pressure, temperature, 0.0) == (
            pytest.approx(volume, rel=1e-9))


def debye_function_3(u, points=20001):
    """D3(u) = 3/u^3 int_0^u t^3/(e^t - 1) dt by Simpson's rule."""
    t = np.linspace(0.0, u, points)
    f = np.divide(t**3, np.expm1(t), out=np.zeros_like(t), where=t > 0)
    weights = np.ones(points)
    weights[1:-1:2], weights[2:-1:2] = 4.0, 2.0
    return 3.0 / u**3 * (u / (points - 1) / 3.0) * np.dot(weights, f)


def debye_function_3_reference(x, mp):
    """D3 at mpmath's precision: its Bernoulli series 3 sum B_n x^n / (n! (n + 3))
    below 2, and 3/x^3 (pi^4/15 - sum_k e^-kx (x^3/k + 3x^2/k^2 + 6x/k^3 + 6/k^4))
    above, each summed until the terms fall below 1e-55."""
    x = mp.mpf(x)
    if x < 2:
        total, n = mp.mpf(0), 0
        while True:
            term = mp.bernoulli(n) * x**n / (mp.factorial(n) * (n + 3))
            total += term
            if n % 2 == 0 and n > 2 and abs(term) < mp.mpf(10) ** -55:
                return 3 * total
            n += 1
    tail, k = mp.mpf(0), 1
    while True:
        term = mp.exp(-k * x) * (x**3 / k + 3 * x**2 / k**2 + 6 * x / k**3 + 6 / mp.mpf(k) ** 4)
        tail += term
        if term < mp.mpf(10) ** -55:
            return 3 * (mp.pi**4 / 15 - tail) / x**3
        k += 1


def test_debye_function_to_a_few_ulp():
    mp = pytest.importorskip("mpmath")
    with mp.workdps(50):
        # The reference itself, against the integral.
        for x in (0.3, 2.0, 9.0):
            by_quadrature = 3 * mp.quad(lambda t: t**3 / mp.expm1(t), [0, x]) / mp.mpf(x) ** 3
            assert abs(by_quadrature / debye_function_3_reference(x, mp) - 1) < 1e-40
        worst = max(d3_error_in_ulps(x, mp) for x in debye_grid())
    assert worst[0] <= 3.0, worst


def debye_grid():
    """Every boundary of the routine (the series, the unit pieces, the number
    of exponential terms, floor(57/x)) with its neighbours, on a dense grid."""
    boundaries = [0.001, 150.0, *range(1, 9), *(57.0 / k for k in range(1, 8))]
    grid = set(np.geomspace(1e-8, 1e3, 1200).tolist())
    for b in boundaries:
        grid |= {b, np.nextafter(b, 0.0), np.nextafter(b, math.inf)}
    return sorted(grid)


def d3_error_in_ulps(x, mp):
    """(|D3(x) - reference| in ulps, x). E = Cvmax T D3(theta0 / T) at V0 is
    D3(x) itself for Cvmax = T = 1, theta0 = x."""
    model = ThermalEos.mie_gruneisen_debye(BM3, TR, x, 1.5, 1.2, 2.0, cvmax=1.0)
    d3 = model.evaluate_scalar("thermal_energy", V0, 1.0)
    reference = debye_function_3_reference(x, mp)
    return float(abs(mp.mpf(d3) - reference)) / np.spacing(float(reference)), x


def test_thermal_pressures_against_their_formulas():
    r = 8.31446261815324
    volume, temperature = 0.93 * V0, 1700.0
    x = volume / V0
    gamma = 1.5 * x**1.2
    theta = 760.0 * np.exp(1.5 * (1.0 - x**1.2) / 1.2)

    def energy(t):
        return 3 * 2.0 * r * t * debye_function_3(theta / t)

    expected = gamma * (energy(temperature) - energy(TR)) / volume / 1e4
    assert MGD.evaluate_scalar("thermal_pressure", volume, temperature) == pytest.approx(
        expected, rel=1e-11)
    assert MGD.evaluate_scalar("characteristic_temperature", volume, math.nan) == (
        pytest.approx(theta, rel=1e-14))

    def einstein(t):
        return 3 * 2.0 * r * 500.0 / np.expm1(500.0 / t)

    u = 500.0 / TR
    k = 3e-5 * 160.0 / (3 * 2.0 * r * u**2 * np.exp(u) / np.expm1(u) ** 2)
    assert MODELS["holland_powell_thermal_pressure"].evaluate_scalar(
        "thermal_pressure", volume, temperature) == pytest.approx(
            k * (einstein(temperature) - einstein(TR)), rel=1e-12)
    assert MODELS["linear_thermal_pressure"].evaluate_scalar("pressure", volume, temperature) == (
        pytest.approx(BM3.pressure_scalar(volume) + 0.006 * (temperature - TR), rel=1e-14))


def states(model, count, seed=11):
    """Random states with V/V0 in [0.85, 1.02] and T in [250, 2500] K, as
    {quantity: (first, second)} for every quantity the model accepts."""
    rng = np.random.default_rng(seed)
    volumes = rng.uniform(0.85 * V0, 1.02 * V0, count)
    temperatures = rng.uniform(250.0, 2500.0, count)
    pressures = model.evaluate_array("pressure", volumes, temperatures)
    accepted = ACCEPTED.get(model.model_name, BASE)
    # Hugoniot volumes below V0 at every T0 drawn.
    return {quantity: {"volume": (pressures, temperatures), "temperature": (pressures, volumes),
                       **dict.fromkeys(HUGONIOT, (0.9 * volumes, temperatures))
                       }.get(quantity, (volumes, temperatures))
            for quantity in sorted(accepted)}


@pytest.mark.parametrize("name", [n for n in CONSTRUCTORS if n != "sokolova2016"])  # a twin
def test_array_path_equals_scalar_path(name):
    model = MODELS[name]
    # Every quantity on the calling thread, the inversions also on the pool
    # (compared on every 16th element there); the multi-oscillator volume
    # costs a quadrature per trial, seconds for 2048 elements.
    inversions = ("pressure", "temperature") + (() if "oscillator" in name else ("volume",))
    for size, quantities, stride in [(40, None, 1), (2048, inversions, 16)]:
        for quantity, (first, second) in states(model, size).items():
            if quantities is not None and quantity not in quantities:
                continue
            got = model.evaluate_array(quantity, first, second)
            expected = [model.evaluate_scalar(quantity, a, b)
                        for a, b in zip(first[::stride], second[::stride])]
            np.testing.assert_array_equal(got[::stride], expected, err_msg=quantity)
            if size < 2048:  # in logical order from strided views too
                np.testing.assert_array_equal(
                    model.evaluate_array(quantity, first[::-2], second[::-2]), expected[::-2])
    # The first failing element's exact error, whichever path ran.
    for size in (40, 2048):
        first, second = states(model, size)["pressure"]
        first[size // 2], second[size // 3] = math.inf, math.nan
        with pytest.raises(EosValidationError) as info:
            model.evaluate_array("pressure", first, second)
        with pytest.raises(EosValidationError) as scalar:
            model.evaluate_scalar("pressure", first[size // 3], second[size // 3])
        assert (str(info.value), info.value.field) == (str(scalar.value), scalar.value.field)


def test_confined_volume_arrays_equal_scalars():
    first, second = states(MGD, 2048)["volume"]
    confined = MGD.volume_with_dac_confinement_array(first, second, 0.3)
    for i in range(0, 2048, 128):
        assert confined[i] == MGD.volume_with_dac_confinement_scalar(first[i], second[i], 0.3)


# Thermal pressure zero at Tr at every volume: the isotherm at Tr is the
# reference isotherm.
VANISHING_AT_TR = set(CONSTRUCTORS) - {"debye_anharmonic_helmholtz",
                                       "second_order_taylor_thermal_pressure"}


@pytest.mark.parametrize("name", CONSTRUCTORS)
def test_bulk_modulus_pressure_derivative(name):
    model, reference = MODELS[name], CONSTRUCTORS[name][0]

    def k_prime_by_difference(k, p, volume, step):
        h = step * volume
        return (k(volume + h) - k(volume - h)) / (p(volume + h) - p(volume - h))

    for volume, temperature in [(0.8 * V0, 2500.0), (0.9 * V0, 1500.0), (1.02 * V0, 600.0)]:
        k_prime = model.evaluate_scalar("bulk_modulus_pressure_derivative", volume, temperature)
        # dK/dP of the model's own (numerical) bulk modulus, whose noise a
        # 0.1% step keeps below 3e-5; the multi-oscillator pressure carries
        # its quadrature's.
        assert k_prime == pytest.approx(k_prime_by_difference(
            lambda v: model.evaluate_scalar("bulk_modulus", v, temperature),
            lambda v: model.evaluate_scalar("pressure", v, temperature), volume, 1e-3), rel=5e-5)
        if name in VANISHING_AT_TR:
            expected = k_prime_by_difference(reference.bulk_modulus_scalar,
                                             reference.pressure_scalar, volume, 1e-5)
            assert model.evaluate_scalar("bulk_modulus_pressure_derivative", volume, TR) == (
                pytest.approx(expected, rel=1e-8))
    with pytest.raises(EosValidationError, match="variable volume"):
        model.evaluate_scalar("bulk_modulus_pressure_derivative", -1.0, math.nan)


def test_array_shapes_layouts_and_first_failure():
    grid = np.linspace(10.0, 11.0, 6).reshape(2, 3)
    result = MGD.evaluate_array("thermal_pressure", grid.T.copy().T, np.full((2, 3), 1500.0))
    assert result.shape == (2, 3) and result.flags.c_contiguous
    assert result[1, 2] == MGD.evaluate_scalar("thermal_pressure", grid[1, 2], 1500.0)
    assert MGD.evaluate_array("pressure", np.array(V0), np.array(TR)).shape == ()
    for a, b in [((3,), (1, 3)), ((2, 3), (3, 2))]:
        with pytest.raises(ValidationError) as info:
            MGD.evaluate_array("Pressure", np.ones(a), np.ones(b))
        assert str(info.value) == "native array inputs must have matching broadcasted shapes"
        assert info.value.code == "validation.invalid_input"
    assert MGD.evaluate_array("entropy", np.ones((0, 3)), np.ones((0, 3))).shape == (0, 3)
    with pytest.raises(UnsupportedOperationError, match="quantity 'entropy' is unavailable"):
        MGD.evaluate_array("entropy", np.ones(5000), np.ones(5000))
    volumes, temperatures = np.full(5000, V0), np.full(5000, TR)
    volumes[3], temperatures[2500] = -1.0, math.inf
    with pytest.raises(EosValidationError) as info:
        MGD.evaluate_array("pressure", volumes, temperatures)
    assert (info.value.field, str(info.value)) == (
        "volume", "invalid state variable volume: must be positive and finite")


@pytest.mark.parametrize(("call", "field", "message"), [
    (lambda: MGD.evaluate_scalar("pressure", math.nan, TR), "volume",
     "invalid state variable volume: must be positive and finite"),
    (lambda: MGD.evaluate_scalar("bulk_modulus", V0, math.inf), "temperature",
     "invalid state variable temperature: must be positive and finite"),
    (lambda: MGD.evaluate_scalar("temperature", math.nan, math.nan), "pressure",
     "invalid state variable pressure: must be finite"),
    (lambda: MGD.volume_with_dac_confinement_scalar(10.0, TR, 1.0), "f_dac",
     "invalid state variable f_dac: must lie in [0, 1)"),
    (lambda: MGD.volume_with_dac_confinement_scalar(10.0, -1.0, math.nan), "temperature",
     "invalid state variable temperature: must be positive and finite"),
    (lambda: MGD.volume_with_dac_confinement_array(np.ones(3), np.full(3, TR), math.nan),
     "f_dac", "invalid state variable f_dac: must be finite"),
    (lambda: MODELS["linear_thermal_pressure"].evaluate_scalar("volume", -100.0, TR), None,
     "pressure is outside the invertible expansion range"),
])
def test_state_errors(call, field, message):
    with pytest.raises(EosValidationError) as info:
        call()
    assert (info.value.field, str(info.value)) == (field, message)
