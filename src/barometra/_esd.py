"""Values with their estimated standard deviations, as crystallographic papers print them.

``296(5)`` is 296 ± 5, ``4.10(7)`` is 4.10 ± 0.07 and ``258.4(17)`` is
258.4 ± 1.7: the esd in units of the value's last printed digit. The esd
keeps two significant digits when they read 10 to 19 and one otherwise (the
"rule of 19"), and the value is rounded to the esd's last digit. Decimal
arithmetic on the shortest repr of each float rounds as a reader expects
(0.0045 goes to 0.005, not to the 0.004 its binary value would give).
"""

from __future__ import annotations

import math
from decimal import ROUND_HALF_UP, Decimal

# Values whose magnitude (or esd's, when larger) has its leading digit at
# these powers of ten print plainly, 22.6795800(6); beyond them the power of
# ten is factored out: 1.20(3)e-08 rather than 0.0000000120(3).
_PLAIN_EXPONENTS = range(-4, 7)

#: What a NaN standard error prints as.
NOT_DETERMINED = "not determined"


def format_value_esd(value: float, esd: float) -> str:
    """``value`` with ``esd`` in parentheses, in units of the last digit.

    An esd of 0 prints the value alone (a fixed parameter), a NaN esd the
    value's shortest form followed by ``(not determined)``, an infinite one
    followed by ``(inf)``, a non-finite value alone.

    Examples
    --------
    >>> format_value_esd(296.116, 4.674)
    '296(5)'
    >>> format_value_esd(258.43, 1.72)
    '258.4(17)'
    >>> format_value_esd(4.1, 0.07)
    '4.10(7)'
    >>> format_value_esd(931.0, 145.6)
    '930(150)'
    >>> format_value_esd(22.67958, 6e-7)
    '22.6795800(6)'
    """
    if not math.isfinite(value):
        return repr(float(value))
    if math.isnan(esd):
        return f"{float(value)!r} ({NOT_DETERMINED})"
    if math.isinf(esd):
        return f"{float(value)!r}({esd})"
    if esd < 0:
        raise ValueError(f"esd must not be negative, not {esd!r}")
    if esd == 0:
        return repr(float(value))
    mantissa, esd_text, scale = _parts(value, esd)
    text = f"{mantissa}({esd_text})"
    return text if scale == 0 else f"{text}e{scale:+03d}"


def format_at_esd(value: float, esd: float) -> str:
    """``value`` rounded as :func:`format_value_esd` rounds it, without the esd
    (for the bounds of an interval beside a value(esd)); the shortest form
    when the esd is 0 or not finite.

    Examples
    --------
    >>> format_at_esd(42.7517, 0.02)
    '42.75'
    """
    if not math.isfinite(value) or not math.isfinite(esd) or esd <= 0:
        return repr(float(value))
    mantissa, _, scale = _parts(value, esd)
    return mantissa if scale == 0 else f"{mantissa}e{scale:+03d}"


def _parts(value: float, esd: float) -> tuple[str, str, int]:
    """The rounded value's digits, the esd's and the power of ten factored out."""
    digits, exponent = _esd_digits(Decimal(repr(float(esd))))
    # exponent: the power of ten of the esd's last printed digit.
    number = Decimal(repr(float(value)))
    magnitude = max(number.copy_abs(), Decimal(repr(float(esd))))
    scale = 0 if magnitude.adjusted() in _PLAIN_EXPONENTS else magnitude.adjusted()
    mantissa = _round(number.scaleb(-scale), exponent - scale)
    shift = exponent - scale  # negative: decimals of the mantissa
    esd_text = str(digits * 10 ** shift) if shift > 0 else str(digits)
    return f"{mantissa:.{max(-shift, 0)}f}", esd_text, scale


def _esd_digits(esd: Decimal) -> tuple[int, int]:
    """The esd's printed digits and the power of ten of the last one."""
    lead = esd.adjusted()  # power of ten of the first significant digit
    two = int(esd.scaleb(1 - lead).quantize(Decimal(1), ROUND_HALF_UP))  # 10..100
    if two == 100:  # 0.0996 rounds up to 0.10
        two, lead = 10, lead + 1
    if two <= 19:
        return two, lead - 1
    one = int(esd.scaleb(-lead).quantize(Decimal(1), ROUND_HALF_UP))  # 2..10
    if one == 10:  # 0.0096 rounds up to 0.010: print "10" in the next place
        return 10, lead
    return one, lead


def _round(value: Decimal, exponent: int) -> Decimal:
    rounded = value.quantize(Decimal(1).scaleb(exponent), ROUND_HALF_UP)
    return rounded.copy_abs() if rounded.is_zero() else rounded
