import numpy as np

from barometra._engine import RtEos

# Constructor -> (arguments, model name, text signature); 0.8 V0 .. 1.05 V0 lies
# inside every model's domain.
MODELS = {
    "baonza": ((10.0, 160.0, 4.0), "Baonza", "(v0, k0, k0_prime)"),
    "density_polynomial_3": ((10.0, 1.0, -160.0, 100.0, 50.0, 10.0), "DensityPolynomial3",
                             "(v0, rho0, c0, c1, c2, c3)"),
    "bm2": ((10.0, 160.0), "BM2", "(v0, k0)"),
    "bm3": ((10.0, 160.0, 4.0), "BM3", "(v0, k0, k0_prime)"),
    "bm4": ((10.0, 160.0, 4.0, -0.03), "BM4", "(v0, k0, k0_prime, k0_double_prime)"),
    "morse3": ((10.0, 160.0, 4.0), "Morse3", "(v0, k0, k0_prime)"),
    "murnaghan": ((10.0, 160.0, 4.0), "Murnaghan", "(v0, k0, k0_prime)"),
    "second_order_murnaghan": ((10.0, 160.0, 4.0, -0.02, 0.0), "SecondOrderMurnaghan",
                               "(v0, k0, k0_prime, k0_double_prime, p0)"),
    "modified_tait": ((10.0, 160.0, 4.0, -0.025), "ModifiedTait",
                      "(v0, k0, k0_prime, k0_double_prime)"),
    "natural_strain2": ((10.0, 160.0), "NaturalStrain2", "(v0, k0)"),
    "natural_strain3": ((10.0, 160.0, 4.0), "NaturalStrain3", "(v0, k0, k0_prime)"),
    "natural_strain4": ((10.0, 160.0, 4.0, -0.03), "NaturalStrain4",
                        "(v0, k0, k0_prime, k0_double_prime)"),
    "rydberg_stacey": ((10.0, 160.0, 4.0, 2.5), "RydbergStacey",
                       "(v0, k0, k0_prime, k_infinity_prime)"),
    "sun_morse3": ((10.0, 160.0, 4.0), "SunMorse3", "(v0, k0, k0_prime)"),
    "sun_morse4": ((10.0, 160.0, 4.0), "SunMorse4", "(v0, k0, k0_prime)"),
    "vinet": ((10.0, 160.0, 4.0), "Vinet", "(v0, k0, k0_prime)"),
    "holzapfel": ((10.0, 160.0, 4.0, 1.0, 26.0), "Holzapfel", "(v0, k0, k0_prime, n, z)"),
}


def build(name):
    return getattr(RtEos, name)(*MODELS[name][0])


def elementwise(scalar_function, array):
    """The scalar method over the elements in row-major order."""
    flat = [scalar_function(float(x)) for x in np.asarray(array).ravel(order="C")]
    return np.array(flat, dtype=np.float64).reshape(np.shape(array))


BM3, HOLZAPFEL = build("bm3"), build("holzapfel")  # immutable, so shared
