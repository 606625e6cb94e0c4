"""Type stubs of barometra._engine, the private native module of barometra."""

from collections.abc import Callable, Mapping, Sequence
from typing import Any, Literal, SupportsFloat, SupportsIndex, final

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
    "fit_joint_eos_native",
    "linear_uncertainty",
    "monte_carlo_summary",
    "holzapfel_derivative_analytical",
    "OpticalGauge",
    "delta_method",
]

# Scalars go through Python float conversion: __float__ or __index__.
_Real = SupportsFloat | SupportsIndex
_Float64Array = npt.NDArray[np.float64]

# The fits' choices: the losses, and each error mode with the variables it
# makes uncertain. Not in __all__.
LOSSES: tuple[str, ...]
ERROR_MODES: tuple[tuple[str, tuple[str, ...]], ...]

@final
class RtEos:
    """Private native representation of a built-in isothermal EOS."""

    # One static constructor per model, bm3(v0, k0, k0_prime) and so on: see model_table.

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

    # One static constructor per model, mie_gruneisen_debye(rt_eos, tr, ...) and so
    # on: see model_table.

    # quantity names one of the model's quantities ("pressure", "volume",
    # "temperature", "bulk_modulus", "bulk_modulus_pressure_derivative", ...,
    # "hugoniot_pressure" of (volume, t0)), as listed by evaluate_scalar.__doc__.
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
    @property
    def eos_fit(self) -> EosFitResult | None: ...

@final
class EosFitResult:
    """Private view of a native EOS fit's statistics."""

    @property
    def standard_errors(self) -> _Float64Array: ...
    @property
    def correlation(self) -> _Float64Array: ...
    @property
    def chi_square(self) -> float: ...
    @property
    def degrees_of_freedom(self) -> int: ...
    @property
    def reduced_chi_square(self) -> float | None: ...
    @property
    def aic(self) -> float: ...
    @property
    def bic(self) -> float: ...
    @property
    def volumes(self) -> _Float64Array: ...
    @property
    def temperatures(self) -> _Float64Array | None: ...
    @property
    def undetermined(self) -> tuple[int, ...]: ...
    @property
    def covariance_without_nuisance(self) -> _Float64Array | None: ...
    @property
    def calibrant_pressure(self) -> _Float64Array | None: ...
    @property
    def dataset_chi_square(self) -> _Float64Array: ...
    @property
    def dataset_residuals(self) -> _Float64Array: ...
    @property
    def residual_count(self) -> int: ...
    @property
    def variable_count(self) -> int: ...

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
    loss: str = "linear",
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
    loss: str = "linear",
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
    loss: str = "linear",
    f_scale: _Real = 1.0,
    max_nfev: SupportsIndex | None = None,
) -> LeastSquaresResult: ...
def fit_joint_eos_native(
    model: RtEos | ThermalEos,
    parameter_names: Sequence[str],
    initial: _Float64Array,
    lower: _Float64Array,
    upper: _Float64Array,
    pressure: _Float64Array,
    volume: _Float64Array,
    pressure_sigma: _Float64Array,
    temperature: _Float64Array | None = None,
    volume_sigma: _Float64Array | None = None,
    temperature_sigma: _Float64Array | None = None,
    dataset: _Float64Array | None = None,
    kind: _Float64Array | None = None,
    dataset_count: SupportsIndex | None = 1,
    pressure_offsets: bool = False,
    scale: RtEos | ThermalEos | None = None,
    scale_names: Sequence[str] = (),
    calibrant_volume: _Float64Array | None = None,
    calibrant_volume_sigma: _Float64Array | None = None,
    prior_values: _Float64Array | None = None,
    prior_factor: _Float64Array | None = None,
    hugoniot_t0: _Real | None = None,
    loss: str = "linear",
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
# Not in __all__: a quantity of a model over draws of its parameters.
def monte_carlo_prediction(
    model: RtEos | ThermalEos,
    names: Sequence[str],
    values: _Float64Array,
    draws: _Float64Array,
    confidence: _Real,
    quantity: str,
    first: _Float64Array,
    second: _Float64Array | None,
    undetermined: Sequence[str] | None = None,
) -> tuple[MonteCarloSummary, int]: ...

# Every model class of the package: names, parameters, quantities, documentation.
model_table: tuple[Mapping[str, Any], ...]

def holzapfel_derivative_analytical(
    v0: _Real, volume: _Real, bulk_modulus: _Real, k0: _Real, c0: _Real, c2: _Real
) -> float: ...

@final
class OpticalGauge:
    """Private native representation of an optical pressure gauge."""

    @staticmethod
    def power_law(a: _Real, b: _Real) -> OpticalGauge: ...
    @staticmethod
    def quadratic(a: _Real, b: _Real) -> OpticalGauge: ...
    @staticmethod
    def rational(a: _Real, b: _Real, c: _Real) -> OpticalGauge: ...
    @staticmethod
    def raman_edge(k0: _Real, k0_prime: _Real) -> OpticalGauge: ...
    @property
    def form(self) -> str: ...
    @property
    def constants(self) -> tuple[float, ...]: ...
    def pressure_scalar(self, position: _Real, reference: _Real) -> float: ...
    def pressure_array(self, position: _Float64Array, reference: _Float64Array) -> _Float64Array: ...
    def position_scalar(self, pressure: _Real, reference: _Real) -> float: ...
    def position_array(self, pressure: _Float64Array, reference: _Float64Array) -> _Float64Array: ...
    def uncertainty(
        self,
        position: _Float64Array,
        reference: _Float64Array,
        position_sigma: _Float64Array,
        reference_sigma: _Float64Array,
        covariance: _Float64Array,
    ) -> tuple[_Float64Array, _Float64Array, _Float64Array]: ...

def delta_method(
    model: RtEos | ThermalEos,
    names: Sequence[str],
    values: _Float64Array,
    covariance: _Float64Array,
    quantity: str,
    first: _Float64Array,
    second: _Float64Array | None,
    undetermined: Sequence[str] | None = None,
) -> _Float64Array: ...
