"""Array reading and writing, the two evaluation paths and their thresholds."""

from __future__ import annotations

import numpy as np
import pytest
from support import elementwise

from barometra.errors import EosNumericalError, EosValidationError

def methods(model):
    """Each one-input array method of a Holzapfel model with its scalar twin and threshold."""
    return {
        "pressure": (model.pressure_array, model.pressure_scalar, 65536),
        "bulk_modulus": (model.bulk_modulus_array, model.bulk_modulus_scalar, 65536),
        "bulk_modulus_derivative": (
            lambda v: model.bulk_modulus_derivative_array(v, 1e-4),
            lambda v: model.bulk_modulus_derivative_scalar(v, 1e-4),
            65536,
        ),
        "volume": (model.volume_array, model.volume_scalar, 512),
    }


def inputs_for(kind, model, volumes):
    return model.pressure_array(volumes) if kind == "volume" else volumes


KINDS = ["pressure", "bulk_modulus", "bulk_modulus_derivative", "volume"]


@pytest.mark.parametrize("kind", KINDS)
def test_both_sides_of_the_threshold_agree_with_the_scalar_path(holzapfel, kind):
    array_method, scalar_method, threshold = methods(holzapfel)[kind]
    rng = np.random.default_rng(7)
    x = inputs_for(kind, holzapfel, rng.uniform(8.0, 10.5, threshold))
    below, at = array_method(x[: threshold - 1]), array_method(x)
    assert below.shape == (threshold - 1,) and at.shape == (threshold,)
    np.testing.assert_array_equal(at[: threshold - 1], below)
    np.testing.assert_array_equal(at, elementwise(scalar_method, x))


@pytest.mark.parametrize("size", [65536 + 7, 100_003, 3 * 65536 - 1])
def test_parallel_chunks_cover_every_element_in_order(bm3, size):
    # Distinct values everywhere, so a misplaced or skipped chunk shows.
    volumes = np.linspace(8.0, 10.5, size)
    expected = np.concatenate(
        [bm3.pressure_array(volumes[i : i + 60_000]) for i in range(0, size, 60_000)])
    np.testing.assert_array_equal(bm3.pressure_array(volumes), expected)


def layouts(base=np.linspace(8.0, 10.5, 24)):
    unaligned = np.frombuffer(b"\0" + base.tobytes(), dtype=np.float64, offset=1)
    return {
        "0-d": np.array(base[5]),
        "1-d": base,
        "transposed": base.reshape(4, 6).T,
        "fortran": np.asfortranarray(base.reshape(4, 6)),
        "reversed": base[::-1],
        "strided": base[::5],
        "3-d non-contiguous middle": base.reshape(2, 3, 4)[:, ::2, :],
        "negative 2-d": base.reshape(4, 6)[::-1, ::-2],
        "broadcast zero stride": np.broadcast_to(base[:6], (3, 6)),
        "read-only": np.frombuffer(base.tobytes(), dtype=np.float64),
        "unaligned": unaligned,
        "empty": np.empty((0, 3)),
        "empty middle": np.empty((3, 0, 2)),
    }


@pytest.mark.parametrize("layout", list(layouts()))
@pytest.mark.parametrize("kind", KINDS)
def test_any_layout_is_read_in_logical_order(holzapfel, kind, layout):
    array_method, scalar_method, _ = methods(holzapfel)[kind]
    x = layouts(inputs_for(kind, holzapfel, np.linspace(8.0, 10.5, 24)))[layout]
    result = array_method(x)
    assert result.shape == x.shape
    assert result.dtype == np.float64
    assert result.flags.c_contiguous and result.flags.owndata and result.flags.writeable
    assert not np.shares_memory(result, x)
    np.testing.assert_array_equal(result, elementwise(scalar_method, x))


@pytest.mark.parametrize("kind", ["pressure", "volume"])
def test_large_non_contiguous_input_on_the_parallel_path(bm3, kind):
    volumes = np.linspace(8.0, 10.5, 300 * 400).reshape(300, 400)
    x = bm3.pressure_array(volumes) if kind == "volume" else volumes
    x = x.T[::-1]  # logical order differs from memory order
    f = bm3.volume_array if kind == "volume" else bm3.pressure_array
    contiguous = np.ascontiguousarray(x)
    np.testing.assert_array_equal(f(x), f(contiguous))
    assert f(x).shape == (400, 300)


def test_zero_dimensional_result(bm3):
    result = bm3.pressure_array(np.array(9.0))
    assert result.shape == () and isinstance(result, np.ndarray)
    assert result[()] == bm3.pressure_scalar(9.0)


def test_empty_input_evaluates_nothing(bm3):
    # NaN would fail if it were evaluated; an empty array holds none.
    assert bm3.volume_array(np.full((0, 3), np.nan)).shape == (0, 3)


def test_input_is_never_written(bm3):
    volumes = np.linspace(8.0, 10.5, 70_000)
    before = volumes.copy()
    bm3.pressure_array(volumes)
    bm3.volume_array(volumes)
    np.testing.assert_array_equal(volumes, before)


def test_ndarray_subclass_is_accepted_and_result_is_a_base_array(bm3):
    class Tagged(np.ndarray):
        pass

    volumes = np.linspace(8.0, 10.0, 5).view(Tagged)
    result = bm3.pressure_array(volumes)
    assert type(result) is np.ndarray
    np.testing.assert_array_equal(result, bm3.pressure_array(np.asarray(volumes)))


# Distinct failures: NaN is an invalid state, -1e3 GPa lies below the BM3
# expansion minimum, 1e-300 overflows the pressure.
NAN_MESSAGE = "invalid state variable pressure: must be finite"
RANGE_MESSAGE = "pressure is outside the invertible expansion range"


@pytest.mark.parametrize(
    ("first", "later", "message"),
    [(np.nan, -1e3, NAN_MESSAGE), (-1e3, np.nan, RANGE_MESSAGE)],
)
@pytest.mark.parametrize("size", [511, 1000])  # sequential, parallel
def test_first_failing_pressure_is_reported(bm3, size, first, later, message):
    pressures = np.full(size, 5.0)
    pressures[3], pressures[size - 300] = first, later
    with pytest.raises(EosValidationError) as info:
        bm3.volume_array(pressures)
    assert str(info.value) == message


@pytest.mark.parametrize("size", [1000, 70_000])  # sequential, parallel
@pytest.mark.parametrize(
    ("first", "later", "error_class", "message"),
    [
        (-1.0, 1e-300, EosValidationError,
         "invalid state variable volume: must be positive and finite"),
        (1e-300, -1.0, EosNumericalError, "model returned a non-finite result"),
    ],
)
def test_first_failing_volume_is_reported(bm3, size, first, later, error_class, message):
    volumes = np.full(size, 9.0)
    volumes[3], volumes[size - 300] = first, later
    with pytest.raises(error_class) as info:
        bm3.pressure_array(volumes)
    assert str(info.value) == message


@pytest.mark.parametrize("position", [0, 65_535, 69_999])
def test_a_single_failure_anywhere_is_found_on_the_parallel_path(bm3, position):
    volumes = np.full(70_000, 9.0)
    volumes[position] = np.inf
    with pytest.raises(EosValidationError, match="volume: must be positive and finite"):
        bm3.pressure_array(volumes)


@pytest.mark.parametrize("rows", [2, 600])  # 1200 elements: parallel; 2*2 sequential
def test_first_failure_follows_row_major_not_memory_order(bm3, rows):
    pressures = np.asfortranarray(np.full((rows, 2), 5.0))
    # Memory order visits [1, 0] before [0, 1]; row-major order the reverse.
    pressures[1, 0] = -1e3
    pressures[0, 1] = np.nan
    with pytest.raises(EosValidationError) as info:
        bm3.volume_array(pressures)
    assert str(info.value) == NAN_MESSAGE


def test_no_partial_result_after_a_failure(bm3):
    volumes = np.full(70_000, 9.0)
    volumes[-1] = -1.0
    with pytest.raises(EosValidationError):
        result = bm3.pressure_array(volumes)
        pytest.fail(f"returned {result!r}")


class TestBadArrays:
    @pytest.mark.parametrize(
        ("value", "description"),
        [
            ([9.0, 9.5], "list"),
            ((9.0,), "tuple"),
            (9.0, "float"),
            (None, "NoneType"),
            (np.float64(9.0), "numpy.float64"),
            (memoryview(np.array([9.0])), "memoryview"),
            (np.array([9, 10]), "numpy.ndarray of dtype int64"),
            (np.array([9.0], dtype=np.float32), "numpy.ndarray of dtype float32"),
            (np.array([9.0], dtype=np.longdouble), "numpy.ndarray of dtype float128"),
            (np.array([9.0], dtype=">f8"), "numpy.ndarray of dtype >f8"),
            (np.array([9.0 + 0j]), "numpy.ndarray of dtype complex128"),
            (np.array([9.0], dtype=object), "numpy.ndarray of dtype object"),
        ],
    )
    @pytest.mark.parametrize(
        ("method", "argument"),
        [
            ("pressure_array", "volumes"),
            ("bulk_modulus_array", "volumes"),
            ("volume_array", "pressures"),
            ("bulk_modulus_derivative_array", "volumes"),
        ],
    )
    def test_type_error_names_the_argument(self, holzapfel, method, argument, value,
                                           description):
        extra = (1e-4,) if method == "bulk_modulus_derivative_array" else ()
        with pytest.raises(TypeError) as info:
            getattr(holzapfel, method)(value, *extra)
        assert str(info.value) == (
            f"{method}() argument '{argument}' must be a numpy.ndarray of dtype float64, "
            f"not {description}")

    @pytest.mark.parametrize("method", ["pressure_array", "volume_array"])
    @pytest.mark.parametrize("size", [2**40, 2**58])
    def test_huge_arrays_fail_cleanly(self, bm3, method, size):
        # A zero-stride view of 8 TiB or 2 EiB: the output cannot be
        # allocated, and that must be an exception, not a crash.
        huge = np.broadcast_to(np.float64(9.0), (size,))
        with pytest.raises((MemoryError, ValueError)):
            getattr(bm3, method)(huge)

    @pytest.mark.parametrize("bad", [np.nan, np.inf, -np.inf, 0.0, -1.0])
    def test_non_finite_and_non_positive_volumes(self, bm3, bad):
        for size in (10, 70_000):
            volumes = np.full(size, 9.0)
            volumes[size // 2] = bad
            with pytest.raises(EosValidationError) as info:
                bm3.pressure_array(volumes)
            assert (info.value.code, info.value.field) == ("eos.invalid_state", "volume")

    @pytest.mark.parametrize("bad", [np.nan, np.inf, -np.inf])
    def test_non_finite_pressures(self, bm3, bad):
        for size in (10, 1000):
            pressures = np.full(size, 5.0)
            pressures[size // 2] = bad
            with pytest.raises(EosValidationError) as info:
                bm3.volume_array(pressures)
            assert (str(info.value), info.value.field) == (NAN_MESSAGE, "pressure")
