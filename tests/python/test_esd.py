import math

import pytest

from barometra._esd import format_value_esd


@pytest.mark.parametrize(
    ("value", "esd", "text"),
    [
        (296.116, 4.674, "296(5)"),  # one digit, value rounded to it
        (4.1, 0.07, "4.10(7)"),  # trailing zero kept
        (258.43, 1.72, "258.4(17)"),  # two digits from 10 to 19
        (296.3, 1.0, "296.3(10)"),  # an esd of exactly 1
        (5.0, 19.0, "5(19)"),
        (14.0, 20.0, "10(20)"),  # 20 has one significant digit: the value goes to tens
        (931.0, 145.6, "930(150)"),  # esd above 10: in the value's units
        (5.0, 0.0049, "5.000(5)"),
        (1.23456, 0.0045, "1.235(5)"),  # half up on the decimal repr, not on the binary value
        (1.0, 0.00445, "1.000(4)"),  # no double rounding through 0.0045
        (2.0, 0.0195, "2.00(2)"),  # 19.5 rounds to 20, so one digit
        (9.96, 0.096, "9.96(10)"),  # 0.096 rounds up a decade
        (1.0, 0.0996, "1.00(10)"),
        (0.99996, 0.0002, "1.0000(2)"),  # values that round up
        (99.96, 0.3, "100.0(3)"),
        (-0.00001, 0.01, "0.000(10)"),  # no negative zero
        (-46.5566, 0.0113, "-46.557(11)"),
        (0.0, 0.5, "0.0(5)"),
        (1.2e-8, 3e-10, "1.20(3)e-08"),  # far from 1: a common power of ten
        (1.5e20, 2.5e18, "1.50(3)e+20"),
        (0.0, 3e-9, "0(3)e-09"),
        (22.67958, 6e-7, "22.6795800(6)"),  # an ordinary value with a tiny esd stays plain
        (0.000123, 4e-6, "0.000123(4)"),
        (2.5e-5, 3e-7, "2.50(3)e-05"),
        (1234567.0, 3.0, "1234567(3)"),
        (162.373, 0.0, "162.373"),  # fixed parameter
        (3.0, math.nan, "3.0 (not determined)"),
        (3.0, math.inf, "3.0(inf)"),
        (math.nan, 1.0, "nan"),
    ],
)
def test_format_value_esd(value, esd, text):
    assert format_value_esd(value, esd) == text


def test_negative_esd_is_refused():
    with pytest.raises(ValueError, match="esd must not be negative"):
        format_value_esd(1.0, -0.1)
