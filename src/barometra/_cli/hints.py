"""The library's hints, which name Python keywords, told as the command line's flags."""

from __future__ import annotations

import re

# Keyword of the library -> the flag that sets it here.
FLAGS = {
    "pressure_sigma": "--pressure-sigma", "volume_sigma": "--volume-sigma",
    "temperature_sigma": "--temperature-sigma", "skip_incomplete": "--skip-incomplete",
    "scale_errors": "--scale-errors", "formula_units_per_cell": "--formula-units",
    "formula_units": "--formula-units", "pressure_unit": "--pressure-unit",
    "volume_unit": "--volume-unit", "max_evaluations": "--max-evaluations",
    "f_scale": "--f-scale", "errors": "--errors", "loss": "--loss", "vary": "--vary",
    "fix": "--fix", "bounds": "--bounds",
}
_KEYWORD = "|".join(sorted(FLAGS, key=len, reverse=True))
_BOUND = re.compile(r"""['"]([\w.]+)['"]\s*:\s*\(\s*lower\s*,\s*upper\s*\)""")


def _bounds(match: re.Match[str]) -> str:
    names = _BOUND.findall(match.group(1))
    return "--bounds " + " ".join(f"{name}=LOWER:UPPER" for name in names or ["NAME"])


def _flag(match: re.Match[str]) -> str:
    return FLAGS[match.group("keyword")]


_RULES: tuple[tuple[re.Pattern[str], object], ...] = (
    # "give pressure_sigma (--pressure-sigma on the command line)"
    (re.compile(r"\b\w+ \((--[\w-]+) on the command line\)"), r"\1"),
    # "bounds={'k0': (lower, upper)}"
    (re.compile(r"\bbounds=\{([^{}]*)\}"), _bounds),
    # "bounds: 'k0' needs lower < upper"
    (re.compile(r"\bbounds: '([\w.]+)'"), r"--bounds \1"),
    # "skip_incomplete=True", "scale_errors=True"
    (re.compile(rf"\b(?P<keyword>{_KEYWORD})=True\b"), _flag),
    # "errors='all'" -> "--errors all"
    (re.compile(rf"""\b(?P<keyword>{_KEYWORD})=(?P<quote>['"]?)(?P<value>[^'"\s,;(){{}}]+)"""
                r"(?P=quote)"),
     lambda match: f"{FLAGS[match.group('keyword')]} {match.group('value')}"),
    # "give pressure_sigma", "pass formula_units_per_cell", and a message that opens on one
    (re.compile(rf"(?:(?<=\bgive )|(?<=\bpass )|(?<=\bset )|^)(?P<keyword>{_KEYWORD})\b"),
     _flag),
    (re.compile(r"needs Z, the number of formula units per unit cell(?!:)"),
     r"\g<0>: give --formula-units Z"),
)


def as_flags(message: str) -> str:
    """``message`` with each hint that names a keyword of the library naming the
    command line's flag instead.

    Examples
    --------
    >>> as_flags("row 3: no value; pass skip_incomplete=True to skip rows without one")
    'row 3: no value; pass --skip-incomplete to skip rows without one'
    >>> as_flags("bound the parameter with bounds={'k0': (lower, upper)}")
    'bound the parameter with --bounds k0=LOWER:UPPER'
    """
    for pattern, replacement in _RULES:
        message = pattern.sub(replacement, message)  # type: ignore[call-overload]
    return message
