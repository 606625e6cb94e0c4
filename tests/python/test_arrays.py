import numpy as np
import pytest
from support import BM3, HOLZAPFEL, MODELS, build, elementwise

from barometra.errors import EosNumericalError, EosValidationError

KINDS = ["pressure", "bulk_modulus", "bulk_modulus_derivative", "volume",
         "bulk_modulus_second_pressure_derivative"]
NAN = "invalid state variable pressure: must be finite"
RANGE = "pressure is outside the invertible expansion range"
VOLUME = "invalid state variable volume: must be positive and finite"


def methods(kind):
    """(array method, scalar twin, size from which the parallel path is taken)"""
    if kind == "bulk_modulus_derivative":
        return (lambda v: HOLZAPFEL.bulk_modulus_derivative_array(v, 1e-4),
                lambda v: HOLZAPFEL.bulk_modulus_derivative_scalar(v, 1e-4), 65536)
    return (getattr(HOLZAPFEL, f"{kind}_array"), getattr(HOLZAPFEL, f"{kind}_scalar"),
            512 if kind == "volume" else 65536)


def inputs(kind, volumes):
    return HOLZAPFEL.pressure_array(volumes) if kind == "volume" else volumes


@pytest.mark.parametrize("kind", KINDS)
def test_both_sides_of_the_threshold_equal_the_scalar_method(kind):
    array_method, scalar_method, threshold = methods(kind)
    volumes = np.random.default_rng(7).uniform(8.0, 10.5, 3 * threshold - 3)
    x = inputs(kind, volumes)
    original, expected = x.copy(), elementwise(scalar_method, x)
    for size in (threshold - 1, threshold, 3 * threshold - 3):
        np.testing.assert_array_equal(array_method(x[:size]), expected[:size])
    # Parallel and non-contiguous: logical order differs from memory order.
    np.testing.assert_array_equal(array_method(x.reshape(3, -1).T[::-1]),
                                  expected.reshape(3, -1).T[::-1])
    np.testing.assert_array_equal(x, original)


class Tagged(np.ndarray):
    pass


def layouts(base):
    return {
        "0-d": np.array(base[5]),
        "empty": np.empty((0, 3)),
        "empty middle": np.empty((3, 0, 2)),
        "transposed": base.reshape(4, 6).T,
        "reversed": base[::-1],
        "strided": base[::5],
        "3-d non-contiguous middle": base.reshape(2, 3, 4)[:, ::2, :],
        "negative 2-d": base.reshape(4, 6)[::-1, ::-2],
        "zero stride": np.broadcast_to(base[:6], (3, 6)),
        "read-only": np.frombuffer(base.tobytes(), dtype=np.float64),
        "unaligned": np.frombuffer(b"\0" + base.tobytes(), dtype=np.float64, offset=1),
        "subclass": base.reshape(4, 6).view(Tagged),
    }


@pytest.mark.parametrize("layout", list(layouts(np.zeros(24))))
@pytest.mark.parametrize("kind", KINDS)
def test_any_layout_is_read_in_logical_order(kind, layout):
    array_method, scalar_method, _ = methods(kind)
    x = layouts(inputs(kind, np.linspace(8.0, 10.5, 24)))[layout]
    result = array_method(x)
    assert type(result) is np.ndarray and result.dtype == np.float64
    assert result.shape == x.shape
    assert result.flags.c_contiguous and result.flags.owndata and result.flags.writeable
    assert not np.shares_memory(result, x)
    np.testing.assert_array_equal(result, elementwise(scalar_method, x))


@pytest.mark.parametrize(
    ("method", "fill", "first", "later", "error", "message"),
    [
        ("volume_array", 5.0, np.nan, -1e3, EosValidationError, NAN),
        ("volume_array", 5.0, -1e3, np.nan, EosValidationError, RANGE),
        ("pressure_array", 9.0, -1.0, 1e-300, EosValidationError, VOLUME),
        ("pressure_array", 9.0, 1e-300, -1.0, EosNumericalError,
         "model returned a non-finite result"),
    ],
)
@pytest.mark.parametrize("size", [510, 1000, 70_000])
@pytest.mark.parametrize("fortran", [False, True])
def test_first_failing_element_in_row_major_order_is_reported(size, fortran, method, fill,
                                                              first, later, error, message):
    x = np.full(size, fill)
    x[3], x[size - 300] = first, later
    if fortran:  # memory order visits element size - 300 first
        x = np.asfortranarray(x.reshape(-1, 2))
    with pytest.raises(error) as info:
        getattr(BM3, method)(x)
    assert type(info.value) is error and str(info.value) == message


@pytest.mark.parametrize(
    ("method", "fill", "bad", "field"),
    [("pressure_array", 9.0, bad, "volume") for bad in (np.nan, np.inf, -np.inf, 0.0, -1.0)]
    + [("volume_array", 5.0, bad, "pressure") for bad in (np.nan, np.inf, -np.inf)],
)
@pytest.mark.parametrize("size", [10, 70_000])
def test_a_single_bad_element_anywhere_is_found(size, method, fill, bad, field):
    for position in (0, min(65_535, size // 2), size - 1):
        x = np.full(size, fill)
        x[position] = bad
        with pytest.raises(EosValidationError) as info:
            getattr(BM3, method)(x)
        assert (str(info.value), info.value.code, info.value.field) == (
            VOLUME if field == "volume" else NAN, "eos.invalid_state", field)


@pytest.mark.parametrize(
    ("value", "description"),
    [([9.0, 9.5], "list"), (9.0, "float"), (np.float64(9.0), "numpy.float64"),
     (np.array([9, 10]), "numpy.ndarray of dtype int64"),
     (np.array([9.0], dtype=np.float32), "numpy.ndarray of dtype float32"),
     (np.array([9.0], dtype=">f8"), "numpy.ndarray of dtype >f8"),
     (np.array([9.0], dtype=object), "numpy.ndarray of dtype object")],
)
@pytest.mark.parametrize(
    ("method", "argument"),
    [("pressure_array", "volumes"), ("bulk_modulus_array", "volumes"),
     ("volume_array", "pressures"), ("bulk_modulus_derivative_array", "volumes")],
)
def test_type_error_names_the_argument(method, argument, value, description):
    extra = (1e-4,) if method == "bulk_modulus_derivative_array" else ()
    with pytest.raises(TypeError) as info:
        getattr(HOLZAPFEL, method)(value, *extra)
    assert str(info.value) == (f"{method}() argument '{argument}' must be a numpy.ndarray "
                               f"of dtype float64, not {description}")


@pytest.mark.parametrize("method", ["pressure_array", "volume_array"])
@pytest.mark.parametrize("size", [2**40, 2**58])
def test_huge_zero_stride_arrays_fail_cleanly(method, size):
    with pytest.raises(MemoryError):
        getattr(BM3, method)(np.broadcast_to(np.float64(9.0), (size,)))


def scalar_loop(method, x):
    """Values of the scalar method in row-major order, or its first exception."""
    try:
        return elementwise(method, x), None
    except Exception as error:  # noqa: BLE001 - compared with the array method's
        return None, error


@pytest.mark.parametrize("name", list(MODELS))
@pytest.mark.parametrize(("kind", "size"), [("pressure", 777), ("pressure", 70_001),
                                            ("bulk_modulus", 1001), ("volume", 777),
                                            ("bulk_modulus_pressure_derivative", 70_001),
                                            ("bulk_modulus_second_pressure_derivative", 1001)])
def test_arrays_equal_the_scalar_loop_with_bad_values_anywhere(name, kind, size):
    # Odd sizes leave tails that fill no vector register; 777 volumes and
    # 70_001 pressures take the parallel path.
    model = build(name)
    rng = np.random.default_rng(size)
    volumes = model.reference_volume * rng.uniform(0.8, 1.05, size)
    x = model.pressure_array(volumes) if kind == "volume" else volumes
    array_method, scalar_method = getattr(model, f"{kind}_array"), getattr(model, f"{kind}_scalar")
    bad = np.array([np.nan, np.inf, -np.inf, 0.0, -1.0, 5e-324, 1e300, -1e300])
    for count in (0, 1, 3):
        y = x.copy()
        y[rng.choice(size, count, replace=False)] = rng.choice(bad, count)
        expected, error = scalar_loop(scalar_method, y)
        if error is None:
            np.testing.assert_array_equal(array_method(y), expected)
        else:
            with pytest.raises(type(error)) as info:
                array_method(y)
            assert (str(info.value), info.value.code, info.value.field) == (
                str(error), error.code, error.field)
