"""Type stubs of barometra._engine, the private native module of barometra."""

from collections.abc import Callable, Sequence
from typing import Literal, SupportsFloat, SupportsIndex, final

import numpy as np
import numpy.typing as npt

__all__ = [
    "RtEos",
    "HugoniotEos",
    "ThermalEos",
    "LeastSquaresResult",
    "LinearPropagation",
    "MonteCarloSummary",
    "fit_least_squares",
    "fit_rt_eos_native",
    "fit_thermal_eos_native",
    "linear_uncertainty",
    "monte_carlo_summary",
    "holzapfel_derivative_analytical",
]

# Scalars go through Python float conversion: __float__ or __index__.
_Real = SupportsFloat | SupportsIndex
_Float64Array = npt.NDArray[np.float64]
_Loss = Literal["linear", "soft_l1", "huber", "cauchy", "arctan"]

@final
class RtEos:
    """Private native representation of a built-in isothermal EOS."""

    @staticmethod
    def baonza(v0: _Real, k0: _Real, k0_prime: _Real) -> RtEos: ...
    @staticmethod
    def density_polynomial_3(
        v0: _Real, rho0: _Real, c0: _Real, c1: _Real, c2: _Real, c3: _Real
    ) -> RtEos: ...
    @staticmethod
    def bm2(v0: _Real, k0: _Real) -> RtEos: ...
    @staticmethod
    def bm3(v0: _Real, k0: _Real, k0_prime: _Real) -> RtEos: ...
    @staticmethod
    def bm4(v0: _Real, k0: _Real, k0_prime: _Real, k0_double_prime: _Real) -> RtEos: ...
    @staticmethod
    def morse3(v0: _Real, k0: _Real, k0_prime: _Real) -> RtEos: ...
    @staticmethod
    def murnaghan(v0: _Real, k0: _Real, k0_prime: _Real) -> RtEos: ...
    @staticmethod
    def second_order_murnaghan(
        v0: _Real, k0: _Real, k0_prime: _Real, k0_double_prime: _Real, p0: _Real
    ) -> RtEos: ...
    @staticmethod
    def modified_tait(v0: _Real, k0: _Real, k0_prime: _Real, k0_double_prime: _Real) -> RtEos: ...
    @staticmethod
    def natural_strain2(v0: _Real, k0: _Real) -> RtEos: ...
    @staticmethod
    def natural_strain3(v0: _Real, k0: _Real, k0_prime: _Real) -> RtEos: ...
    @staticmethod
    def natural_strain4(
        v0: _Real, k0: _Real, k0_prime: _Real, k0_double_prime: _Real
    ) -> RtEos: ...
    @staticmethod
    def rydberg_stacey(v0: _Real, k0: _Real, k0_prime: _Real, k_infinity_prime: _Real) -> RtEos: ...
    @staticmethod
    def sun_morse3(v0: _Real, k0: _Real, k0_prime: _Real) -> RtEos: ...
    @staticmethod
    def sun_morse4(v0: _Real, k0: _Real, k0_prime: _Real) -> RtEos: ...
    @staticmethod
    def vinet(v0: _Real, k0: _Real, k0_prime: _Real) -> RtEos: ...
    @staticmethod
    def holzapfel(v0: _Real, k0: _Real, k0_prime: _Real, n: _Real, z: _Real) -> RtEos: ...

    def pressure_scalar(self, volume: _Real) -> float: ...
    def bulk_modulus_scalar(self, volume: _Real) -> float: ...
    def bulk_modulus_derivative_scalar(self, volume: _Real, epsilon: _Real) -> float: ...
    def volume_scalar(self, pressure: _Real) -> float: ...
    def pressure_array(self, volumes: _Float64Array) -> _Float64Array: ...
    def bulk_modulus_array(self, volumes: _Float64Array) -> _Float64Array: ...
    def bulk_modulus_derivative_array(
        self, volumes: _Float64Array, epsilon: _Real
    ) -> _Float64Array: ...
    def volume_array(self, pressures: _Float64Array) -> _Float64Array: ...
    def bulk_modulus_pressure_derivative_scalar(self, volume: _Real) -> float: ...
    def bulk_modulus_pressure_derivative_array(self, volumes: _Float64Array) -> _Float64Array: ...
    def bulk_modulus_second_pressure_derivative_scalar(self, volume: _Real) -> float: ...
    def bulk_modulus_second_pressure_derivative_array(
        self, volumes: _Float64Array
    ) -> _Float64Array: ...
    @property
    def model_name(self) -> str: ...
    @property
    def reference_volume(self) -> float: ...
    @property
    def implied_k0_double_prime(self) -> float | None: ...

@final
class HugoniotEos:
    """Private native representation of a built-in shock Hugoniot."""

    @staticmethod
    def linear_us_up(v0: _Real, rho0: _Real, c0: _Real, s: _Real, p0: _Real) -> HugoniotEos: ...
    def evaluate_scalar(self, quantity: str, value: _Real) -> float: ...
    def evaluate_array(self, quantity: str, values: _Float64Array) -> _Float64Array: ...

@final
class ThermalEos:
    """Private native representation of a built-in thermal EOS."""

    @staticmethod
    def mie_gruneisen_debye(
        rt_eos: RtEos,
        tr: _Real,
        theta0: _Real,
        gamma0: _Real,
        q: _Real,
        n: _Real,
        debye_temperature_law: str = "integrated_gruneisen",
        thermal_pressure_reference: str = "reference_temperature",
        cvmax: _Real | None = None,
    ) -> ThermalEos: ...
    @staticmethod
    def mie_gruneisen_einstein(
        rt_eos: RtEos, tr: _Real, theta0: _Real, gamma0: _Real, q: _Real, n: _Real
    ) -> ThermalEos: ...
    @staticmethod
    def asymptotic_power_law_mie_gruneisen_debye(
        rt_eos: RtEos, tr: _Real, theta0: _Real, gamma0: _Real, a: _Real, b: _Real, n: _Real
    ) -> ThermalEos: ...
    @staticmethod
    def variable_q_mie_gruneisen_debye(
        rt_eos: RtEos, tr: _Real, theta0: _Real, gamma0: _Real, q0: _Real, q1: _Real, n: _Real
    ) -> ThermalEos: ...
    @staticmethod
    def dewaele_2006(
        rt_eos: RtEos,
        tr: _Real,
        theta0: _Real,
        gamma0: _Real,
        gamma_inf: _Real,
        beta: _Real,
        anharmonic_a: _Real,
        anharmonic_m: _Real,
        electronic_e: _Real,
        electronic_g: _Real,
        n: _Real,
        thermal_pressure_reference: str = "reference_temperature",
        zero_point_pressure: str = "omitted",
    ) -> ThermalEos: ...
    @staticmethod
    def dorogokupets_oganov_2007(
        rt_eos: RtEos,
        tr: _Real,
        theta_b1: _Real,
        d_b1: _Real,
        m_b1: _Real,
        theta_b2: _Real,
        d_b2: _Real,
        m_b2: _Real,
        theta_e1: _Real,
        m_e1: _Real,
        theta_e2: _Real,
        m_e2: _Real,
        gamma0: _Real,
        gamma_inf: _Real,
        beta: _Real,
        anharmonic_a: _Real,
        anharmonic_m: _Real,
        electronic_e: _Real,
        electronic_g: _Real,
        defect_h: _Real,
        defect_s: _Real,
        n: _Real,
    ) -> ThermalEos: ...
    @staticmethod
    def multi_oscillator_gruneisen(
        rt_eos: RtEos,
        tr: _Real,
        qe1o: _Real,
        me1: _Real,
        qe2o: _Real,
        me2: _Real,
        delta: _Real,
        t: _Real,
        a_0: _Real,
        m: _Real,
        g: _Real,
        e_0: _Real,
        beta: _Real = 0.0,
        qbo: _Real = 1.0,
        d: _Real = 1.0,
        mb: _Real = 0.0,
        qb1o: _Real = 1.0,
        d1: _Real = 1.0,
        mb1: _Real = 0.0,
        n: _Real | None = None,
    ) -> ThermalEos: ...
    sokolova2016 = multi_oscillator_gruneisen
    @staticmethod
    def debye_anharmonic_helmholtz(
        rt_eos: RtEos,
        tr: _Real,
        theta0: _Real,
        gamma0: _Real,
        q: _Real,
        b1: _Real,
        b2: _Real,
        b3: _Real,
    ) -> ThermalEos: ...
    @staticmethod
    def linear_thermal_pressure(rt_eos: RtEos, tr: _Real, alpha_kt: _Real) -> ThermalEos: ...
    @staticmethod
    def log_volume_thermal_pressure(
        rt_eos: RtEos, tr: _Real, alpha_kt_ref: _Real, dk_dt_v: _Real
    ) -> ThermalEos: ...
    @staticmethod
    def debye_quadratic_thermal_pressure(
        rt_eos: RtEos,
        tr: _Real,
        theta0: _Real,
        gamma0: _Real,
        q: _Real,
        n: _Real,
        a: _Real,
        m: _Real,
    ) -> ThermalEos: ...
    @staticmethod
    def second_order_taylor_thermal_pressure(
        rt_eos: RtEos,
        tr: _Real,
        eta0: _Real,
        c0: _Real,
        c1: _Real,
        c2: _Real,
        c3: _Real,
        c4: _Real,
        c5: _Real,
    ) -> ThermalEos: ...
    @staticmethod
    def holland_powell_thermal_pressure(
        rt_eos: RtEos, tr: _Real, theta: _Real, alpha0: _Real, n: _Real
    ) -> ThermalEos: ...
    @staticmethod
    def thermal_modified_tait(
        rt_eos: RtEos, tr: _Real, theta: _Real, alpha0: _Real, n: _Real
    ) -> ThermalEos: ...
    @staticmethod
    def thermal_reference_state(
        rt_eos: RtEos,
        tr: _Real,
        alpha0: _Real,
        dk_dt: _Real,
        alpha1: _Real = 0.0,
        thermal_expansion_law: str = "constant",
        reference_volume_law: str = "integrated_expansivity",
        bulk_modulus_law: str = "linear_temperature",
        beta1: _Real = 0.0,
        beta2: _Real = 0.0,
        beta3: _Real = 0.0,
        kprime_log_coefficient: _Real = 0.0,
        dkprime_dt: _Real = 0.0,
    ) -> ThermalEos: ...
    def evaluate_scalar(self, quantity: str, first: _Real, second: _Real) -> float: ...
    def evaluate_array(
        self, quantity: str, first: _Float64Array, second: _Float64Array
    ) -> _Float64Array: ...
    def volume_with_dac_confinement_scalar(
        self, cold_pressure: _Real, temperature: _Real, f_dac: _Real
    ) -> float: ...
    def volume_with_dac_confinement_array(
        self, cold_pressures: _Float64Array, temperatures: _Float64Array, f_dac: _Real
    ) -> _Float64Array: ...
    @property
    def model_name(self) -> str: ...

@final
class LeastSquaresResult:
    """Private SciPy-compatible view of a native least-squares result."""

    @property
    def x(self) -> _Float64Array: ...
    @property
    def fun(self) -> _Float64Array: ...
    @property
    def jac(self) -> _Float64Array: ...
    @property
    def cost(self) -> float: ...
    @property
    def nfev(self) -> int: ...
    @property
    def njev(self) -> int: ...
    @property
    def status(self) -> int: ...
    @property
    def message(self) -> str: ...
    @property
    def success(self) -> bool: ...
    @property
    def optimality(self) -> float: ...
    @property
    def predicted_pressure(self) -> _Float64Array | None: ...
    @property
    def parameter_covariance(self) -> _Float64Array: ...

@final
class LinearPropagation:
    """Private result of native delta-method covariance propagation."""

    @property
    def variance(self) -> _Float64Array: ...
    @property
    def covariance(self) -> _Float64Array | None: ...

@final
class MonteCarloSummary:
    """Private result of native Monte Carlo summary statistics."""

    @property
    def lower(self) -> _Float64Array: ...
    @property
    def upper(self) -> _Float64Array: ...
    @property
    def standard_error(self) -> _Float64Array: ...
    @property
    def covariance(self) -> _Float64Array | None: ...

def fit_least_squares(
    residual_function: Callable[[_Float64Array], _Float64Array],
    initial: _Float64Array,
    lower: _Float64Array,
    upper: _Float64Array,
    loss: _Loss | str = "linear",
    f_scale: _Real = 1.0,
    max_nfev: SupportsIndex | None = None,
    global_parameter_count: SupportsIndex | None = None,
    point_count: SupportsIndex | None = None,
    latent_coordinate_count: SupportsIndex | None = None,
) -> LeastSquaresResult: ...
def fit_rt_eos_native(
    model: RtEos,
    parameter_names: Sequence[str],
    initial: _Float64Array,
    lower: _Float64Array,
    upper: _Float64Array,
    pressure: _Float64Array,
    volume: _Float64Array,
    pressure_sigma: _Float64Array,
    volume_sigma: _Float64Array | None = None,
    observation_cholesky: _Float64Array | None = None,
    loss: _Loss | str = "linear",
    f_scale: _Real = 1.0,
    max_nfev: SupportsIndex | None = None,
) -> LeastSquaresResult: ...
def fit_thermal_eos_native(
    model: ThermalEos,
    parameter_names: Sequence[str],
    initial: _Float64Array,
    lower: _Float64Array,
    upper: _Float64Array,
    pressure: _Float64Array,
    volume: _Float64Array,
    temperature: _Float64Array,
    pressure_sigma: _Float64Array,
    volume_sigma: _Float64Array | None = None,
    temperature_sigma: _Float64Array | None = None,
    observation_cholesky: _Float64Array | None = None,
    loss: _Loss | str = "linear",
    f_scale: _Real = 1.0,
    max_nfev: SupportsIndex | None = None,
) -> LeastSquaresResult: ...
def linear_uncertainty(
    jacobian: _Float64Array,
    covariance: _Float64Array,
    state_variance: _Float64Array,
    full_covariance: bool = False,
) -> LinearPropagation: ...
def monte_carlo_summary(
    samples: _Float64Array, confidence: _Real, full_covariance: bool = False
) -> MonteCarloSummary: ...
def holzapfel_derivative_analytical(
    v0: _Real, volume: _Real, bulk_modulus: _Real, k0: _Real, c0: _Real, c2: _Real
) -> float: ...
