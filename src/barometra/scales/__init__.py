"""Pressure scales: the calibrants and optical gauges a pressure is read from.

A diamond-anvil-cell experiment measures the volume of a calibrant beside
the sample (Au, Pt, MgO, NaCl, Ne) or the position of a spectral line (ruby,
Sm:SrB4O7, the diamond Raman edge), and a published scale turns it into a
pressure. The published scales are in one data file of this package, with
their sources, their parameters' standard errors and whether each set was
checked against its paper's own table (``checked``).

============================  ================================================
:func:`available`             the keys of every scale
:func:`get`                   a scale by key, case-insensitive
:func:`register`              a scale of your own, for this process
:func:`convert`               a pressure on one scale read on another
:class:`VolumeScale`          a calibrant's volume (and temperature) to P
:class:`WavelengthGauge`      a luminescence line's wavelength (nm) to P
:class:`WavenumberGauge`      a Raman line's wavenumber (cm⁻¹) to P
:class:`PressureUncertainty`  a pressure's standard error and its two parts
============================  ================================================

Volume calibrants take volumes in Å³ per unit cell unless asked otherwise
(``get(key, volume_unit="cm3/mol")``), temperatures in K, and give GPa.
Their ``model`` is the thermal model of :mod:`barometra.eos` they are, in
J/bar per formula unit; ``uncertain_parameters`` and
``parameter_covariance`` say which of its parameters have published
standard errors.

Examples
--------
>>> from barometra import scales
>>> gold = scales.get("Au-Fei2007")
>>> round(gold.pressure(60.1, temperature=1500.0), 2)
38.05
>>> total, measurement, parameters = gold.pressure_uncertainty(
...     60.1, temperature=1500.0, volume_sigma=0.02, temperature_sigma=50.0)
>>> round(total, 2), round(measurement, 2), round(parameters, 2)
(0.52, 0.4, 0.34)
>>> round(scales.get("Au-Fei2007").pressure_from_lattice_parameter(3.9), 2)
33.34
>>> round(scales.get("ruby-Shen2020").pressure(700.0, reference_wavelength=694.25), 2)
16.21
"""

from ._base import PressureScale, PressureUncertainty, ScaleParameter
from ._gauge import OpticalGauge, WavelengthGauge, WavenumberGauge
from ._registry import available, convert, get, register
from ._volume import VolumeScale

__all__ = ["available", "get", "register", "convert", "PressureScale", "VolumeScale",
           "OpticalGauge", "WavelengthGauge", "WavenumberGauge", "PressureUncertainty",
           "ScaleParameter"]

for _name in __all__:
    _item = globals()[_name]
    if isinstance(_item, type) or callable(_item):
        _item.__module__ = __name__
del _name, _item
