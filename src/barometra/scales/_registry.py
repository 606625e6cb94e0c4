"""The scales by key: those of the package's data file, then those registered
in this process; and conversion between two scales of one calibrant."""

from __future__ import annotations

import difflib
import json
import threading
from collections.abc import Mapping
from importlib import resources
from typing import Any

import numpy.typing as npt

from .. import eos, units
from ..errors import ValidationError
from ._base import PressureScale
from ._gauge import OpticalGauge, WavelengthGauge, WavenumberGauge
from ._volume import VolumeScale

_DATA_FILE = "calibrants.json"

# Keys case-folded -> scales, in the data file's order, then in the order of
# registration. Replaced whole, never changed in place, so that readers need
# no lock; the lock orders the writers.
_scales: dict[str, PressureScale] | None = None
_lock = threading.Lock()


def _table() -> dict[str, PressureScale]:
    global _scales
    table = _scales
    if table is None:
        with _lock:
            if _scales is None:
                _scales = _published()
            table = _scales
    return table


def _published() -> dict[str, PressureScale]:
    text = resources.files(__package__).joinpath(_DATA_FILE).read_text(encoding="utf-8")
    data = json.loads(text)
    scales = [*map(_volume_scale, data["volume_calibrants"]),
              *map(_optical_gauge, data["optical_gauges"])]
    return {scale.key.casefold(): scale for scale in scales}


def _source(entry: Mapping[str, Any]) -> dict[str, Any]:
    return {"citation": entry["citation"], "doi": entry["doi"], "checked": entry["checked"],
            "notes": entry["notes"]}


def _volume_scale(entry: Mapping[str, Any]) -> VolumeScale:
    """A calibrant of the data file, its volumes made molar (J/bar), as the
    thermal models compute."""
    z = entry["formula_units"]
    factor = units.volume_factor(entry["volume_unit"], "J/bar", z)
    isotherm = entry["reference"]
    reference = getattr(eos, isotherm["model"])(
        **{**isotherm["parameters"], "v0": isotherm["parameters"]["v0"] * factor})
    thermal = entry["thermal"]
    model = getattr(eos, thermal["model"])(reference=reference, **thermal["parameters"])
    errors = {name: sigma * factor if name == "v0" else sigma
              for name, sigma in entry["standard_errors"].items()}
    return VolumeScale(entry["key"], model, material=entry["material"], formula_units=z,
                       standard_errors=errors, cubic=entry["cubic"], **_source(entry))


def _optical_gauge(entry: Mapping[str, Any]) -> OpticalGauge:
    cls = WavenumberGauge if entry["position"] == "wavenumber" else WavelengthGauge
    return cls(entry["key"], entry["form"], entry["constants"], reference=entry["reference"],
               gauge=entry["gauge"], standard_errors=entry["standard_errors"],
               **_source(entry))


def available() -> tuple[str, ...]:
    """The keys of every scale: the published ones, then those registered here.

    Examples
    --------
    >>> from barometra import scales
    >>> scales.available()[:3]
    ('Au-Fei2007', 'Au-Fei2007-BM3', 'Pt-Fei2007')
    """
    return tuple(scale.key for scale in _table().values())


def get(key: str, *, volume_unit: str | None = None) -> Any:
    """The scale named ``key``, matched case-insensitively.

    Parameters
    ----------
    key : str
        A key of :func:`available`, for example ``"Au-Fei2007"`` or
        ``"ruby-Shen2020"``.
    volume_unit : str, optional
        For a volume calibrant: the unit of the volumes it takes and gives,
        Å³ per unit cell by default.

    Returns
    -------
    VolumeScale, WavelengthGauge or WavenumberGauge

    Raises
    ------
    barometra.errors.ValidationError
        For an unknown key; the message lists the close matches.

    Examples
    --------
    >>> from barometra import scales
    >>> scales.get("mgo-tange2009").key
    'MgO-Tange2009'
    >>> scales.get("MgO-Tange2009", volume_unit="cm3/mol").volume_unit
    'cm³/mol'
    >>> scales.get("Au-Fei")
    Traceback (most recent call last):
        ...
    barometra.errors.ValidationError: unknown pressure scale 'Au-Fei'; close matches: Au-Fei2007, Au-Fei2007-BM3 (barometra.scales.available() lists them all)
    """
    if not isinstance(key, str):
        raise TypeError(f"a scale's key must be a string, not {type(key).__name__}")
    table = _table()
    scale = table.get(key.casefold())
    if scale is None:
        matches = _close_matches(key, [s.key for s in table.values()])
        close = f"close matches: {', '.join(matches)}" if matches else "no close match"
        raise ValidationError(f"unknown pressure scale {key!r}; {close} "
                              "(barometra.scales.available() lists them all)", field="key")
    if volume_unit is None:
        return scale
    if not isinstance(scale, VolumeScale):
        raise ValueError(f"{scale.key} is an optical gauge: it takes no volume_unit")
    return scale.with_volume_unit(volume_unit)


def _close_matches(key: str, keys: list[str]) -> list[str]:
    """Keys that contain the given one or that it contains, then the similar ones."""
    folded = key.casefold()
    by_fold = {k.casefold(): k for k in keys}
    found = [k for f, k in by_fold.items() if folded in f or f in folded]
    found += [by_fold[f] for f in difflib.get_close_matches(folded, list(by_fold), n=5,
                                                            cutoff=0.6)]
    return list(dict.fromkeys(found))[:8]


def register(scale: PressureScale, *, replace: bool = False) -> None:
    """Make ``scale`` available to :func:`get` under its key, for this process.

    A key that differs from a known one only by case is the same key: it is
    refused unless ``replace=True``, which replaces the scale of that key.

    Examples
    --------
    >>> from barometra import BM3, scales
    >>> mine = scales.VolumeScale("Au-mine", BM3(v0=67.85, k0=167.0, k0_prime=5.8),
    ...                           material="Au", formula_units=4,
    ...                           model_volume_unit="A^3/cell", cubic=True)
    >>> scales.register(mine, replace=True)
    >>> round(scales.get("au-mine").pressure(60.1), 2)  # at its 300 K only
    28.76
    """
    if not isinstance(scale, PressureScale) or type(scale) is PressureScale:
        raise TypeError("register takes a VolumeScale or an optical gauge, not "
                        f"{type(scale).__name__}")
    global _scales
    folded = scale.key.casefold()
    with _lock:
        table = _published() if _scales is None else _scales
        known = table.get(folded)
        if known is not None and not replace:
            raise ValueError(f"a scale named {known.key!r} exists; pass replace=True to "
                             "replace it")
        _scales = {**table, folded: scale}


def convert(pressure: npt.ArrayLike, temperature: npt.ArrayLike | None, from_key: str,
            to_key: str) -> Any:
    """The pressure that the scale ``to_key`` gives to what ``from_key`` reads at
    ``pressure``.

    For two volume calibrants of one material (Au, MgO, ...): the pressure
    the second assigns to the calibrant volume that the first gives at that
    pressure and temperature (K). For two optical gauges of one line: the
    pressure the second reads at the line position the first gives, both
    against the first's ambient position; ``temperature`` must then be None,
    since no gauge here carries a temperature correction. Pressures and
    temperatures broadcast against each other.

    Examples
    --------
    >>> from barometra import scales
    >>> round(scales.convert(100.0, 2000.0, "MgO-Speziale2001", "MgO-Tange2009"), 2)
    102.62
    >>> round(scales.convert(100.0, None, "ruby-Mao1986", "ruby-Shen2020"), 2)
    105.82
    """
    source, target = get(from_key), get(to_key)
    if isinstance(source, VolumeScale) and isinstance(target, VolumeScale):
        if (source.material.casefold(), source.formula_units) != \
                (target.material.casefold(), target.formula_units):
            raise ValueError(f"{source.key} and {target.key} are scales of different "
                             f"calibrants ({source.material}, {target.material}): no volume "
                             "is common to both")
        if temperature is None:
            raise ValueError("converting between volume calibrants needs the temperature")
        if target.volume_unit != source.volume_unit:
            target = target.with_volume_unit(source.volume_unit)
        return target.pressure(source.volume(pressure, temperature), temperature)
    if isinstance(source, OpticalGauge) and isinstance(target, OpticalGauge):
        if (source.gauge, source.position_name) != (target.gauge, target.position_name):
            raise ValueError(f"{source.key} and {target.key} read different lines "
                             f"({source.gauge}, {target.gauge})")
        if temperature is not None:
            raise ValueError("optical gauges here carry no temperature correction: pass "
                             "temperature=None")
        return target._pressure(source._position(pressure, None), source.reference)
    raise ValueError(f"{source.key} and {target.key} read different things ({source.kind}, "
                     f"{target.kind}): no measurement is common to both")
