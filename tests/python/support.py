"""Models and reference helpers shared by the barometra._engine tests."""

from __future__ import annotations

import numpy as np

from barometra import _engine

RtEos = _engine.RtEos

# Constructor name -> (valid arguments, model name). One entry per variant,
# in tag order; parameters chosen so that 0.8 V0 .. 1.05 V0 is well inside
# every model's domain.
MODELS: dict[str, tuple[tuple[float, ...], str]] = {
    "baonza": ((10.0, 160.0, 4.0), "Baonza"),
    "density_polynomial_3": ((10.0, 1.0, -160.0, 100.0, 50.0, 10.0), "DensityPolynomial3"),
    "bm2": ((10.0, 160.0), "BM2"),
    "bm3": ((10.0, 160.0, 4.0), "BM3"),
    "bm4": ((10.0, 160.0, 4.0, -0.03), "BM4"),
    "morse3": ((10.0, 160.0, 4.0), "Morse3"),
    "murnaghan": ((10.0, 160.0, 4.0), "Murnaghan"),
    "second_order_murnaghan": ((10.0, 160.0, 4.0, -0.02, 0.0), "SecondOrderMurnaghan"),
    "modified_tait": ((10.0, 160.0, 4.0, -0.025), "ModifiedTait"),
    "natural_strain2": ((10.0, 160.0), "NaturalStrain2"),
    "natural_strain3": ((10.0, 160.0, 4.0), "NaturalStrain3"),
    "natural_strain4": ((10.0, 160.0, 4.0, -0.03), "NaturalStrain4"),
    "rydberg_stacey": ((10.0, 160.0, 4.0, 2.5), "RydbergStacey"),
    "sun_morse3": ((10.0, 160.0, 4.0), "SunMorse3"),
    "sun_morse4": ((10.0, 160.0, 4.0), "SunMorse4"),
    "vinet": ((10.0, 160.0, 4.0), "Vinet"),
    "holzapfel": ((10.0, 160.0, 4.0, 1.0, 26.0), "Holzapfel"),
}


def build(name: str) -> _engine.RtEos:
    return getattr(RtEos, name)(*MODELS[name][0])


def bm3_pressure_numpy(volume, v0=10.0, k0=160.0, k0_prime=4.0):
    """Third-order Birch-Murnaghan pressure written out in NumPy."""
    x = np.cbrt(v0 / volume)
    f = (x * x - 1.0) / 2.0
    return 3.0 * k0 * f * x**5 * (1.0 + 1.5 * (k0_prime - 4.0) * f)


def elementwise(scalar_function, array):
    """The reference result: the scalar method over the elements in row-major order."""
    flat = [scalar_function(float(x)) for x in np.asarray(array).ravel(order="C")]
    return np.array(flat, dtype=np.float64).reshape(np.shape(array))
