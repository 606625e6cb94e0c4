"""barometra: equations of state of solids at high pressure and temperature.

The models live in :mod:`barometra.eos` and are re-exported here
(``barometra.BM3``, ``barometra.Vinet``, ...); datasets, their CSV files and
the bundled published measurements in :mod:`barometra.data`; exceptions in
:mod:`barometra.errors`. The numbers all come from the native core, the
private module ``barometra._engine``.
"""

from . import data, eos, errors
from .eos import (
    AP2,
    BM2,
    BM3,
    BM4,
    Baonza,
    BirchMurnaghan2,
    BirchMurnaghan3,
    BirchMurnaghan4,
    DensityPolynomial3,
    Holzapfel,
    IsothermalEos,
    ModifiedTait,
    Morse3,
    Murnaghan,
    NaturalStrain2,
    NaturalStrain3,
    NaturalStrain4,
    RydbergStacey,
    SecondOrderMurnaghan,
    SunMorse3,
    SunMorse4,
    Vinet,
)

__version__ = "0.1.0"

__all__ = [
    "__version__",
    "data",
    "eos",
    "errors",
    "IsothermalEos",
    "BirchMurnaghan2",
    "BirchMurnaghan3",
    "BirchMurnaghan4",
    "NaturalStrain2",
    "NaturalStrain3",
    "NaturalStrain4",
    "Vinet",
    "Morse3",
    "SunMorse3",
    "SunMorse4",
    "RydbergStacey",
    "Holzapfel",
    "Baonza",
    "Murnaghan",
    "SecondOrderMurnaghan",
    "ModifiedTait",
    "DensityPolynomial3",
    "BM2",
    "BM3",
    "BM4",
    "AP2",
]
