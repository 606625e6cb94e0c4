"""Model methods over Dask arrays, chunk by chunk (``pip install 'barometra[dask]'``).

Models pickle, so Dask can send them to its workers as they are, and every
method releases the interpreter lock, so a worker's threads all compute.
:func:`map_blocks` evaluates one method of a model over Dask arrays, one
chunk per task; each chunk's numbers are those the method gives for the same
elements in one process, bit for bit. A P-T table of a thermal model's volume
(4000 × 4000 on a cluster, a small one here on Dask's default scheduler):

>>> import dask.array as da
>>> import numpy as np
>>> from barometra import MieGruneisenEinstein, Vinet
>>> from barometra.dask import map_blocks
>>> mgsio3 = MieGruneisenEinstein(reference=Vinet(v0=2.4445, k0=258.0, k0_prime=4.1),
...                               tr=300.0, theta0=940.0, gamma0=1.5, q=1.1, n=5)
>>> pressure = da.linspace(0.0, 120.0, 400, chunks=100)[:, None]   # a column
>>> temperature = da.linspace(300.0, 3000.0, 300, chunks=100)[None, :]  # a row
>>> volume = map_blocks(mgsio3, "volume", pressure, temperature)  # lazy, 12 chunks
>>> volume.shape, volume.numblocks
((400, 300), (4, 3))
>>> bool((volume.compute() == mgsio3.volume(pressure.compute(), temperature.compute())).all())
True

With a ``distributed.Client`` open, ``compute`` runs on its workers. A chunk
that fails raises the model's own error for its first failing element (in
row-major order within the chunk), with ``index``, that element's position in
the whole array:

>>> from barometra.errors import EosValidationError
>>> broken = da.where(da.arange(12, chunks=5) == 7, -1.0, 30.0)  # an invalid temperature
>>> try:
...     map_blocks(mgsio3, "volume", 30.0, broken).compute()
... except EosValidationError as error:
...     print(error, error.index)
invalid state variable temperature: must be positive and finite (7,)

Many fits need nothing more than ``dask.delayed``: each task refits the data,
here a bootstrap of the bridgmanite fit (rows drawn again with replacement,
each task seeded by its number, so a rerun gives the same draws):

>>> import dask
>>> from barometra.data import load_example
>>> from barometra.fit import fit
>>> data = load_example("bridgmanite_pvt_tange2012").to_molar_volume()
>>> def refit(seed):
...     rows = np.random.default_rng(seed).integers(0, len(data), len(data))
...     return fit(mgsio3, data.select(rows), fix=("v0",), pressure_sigma=1.0).values
>>> draws = dask.compute(*[dask.delayed(refit)(seed) for seed in range(4)])
>>> sorted(draws[0])
['gamma0', 'k0', 'k0_prime', 'q', 'theta0']

Send plain values back from such tasks (``values``, ``standard_errors``, a
prediction's numbers): they are small, and all that a summary of the draws
needs, such as the spread of each parameter over them:

>>> spread = {name: np.std([values[name] for values in draws]) for name in draws[0]}
"""

from __future__ import annotations

from typing import TYPE_CHECKING, Any

import numpy as np
import numpy.typing as npt

from .errors import BarometraError

if TYPE_CHECKING:
    import dask.array

__all__ = ["map_blocks"]


def map_blocks(model: Any, quantity: str, *arguments: npt.ArrayLike,
               **options: Any) -> dask.array.Array:
    """One method of a model over Dask arrays, evaluated chunk by chunk.

    Parameters
    ----------
    model : IsothermalEos, ThermalEos or LinearUsUpHugoniot
        Any barometra model.
    quantity : str
        The name of the method: ``"volume"``, ``"pressure"``,
        ``"bulk_modulus"``, ``"volume_with_dac_confinement"``, ...
    *arguments : dask array, array_like or float
        The method's state variables. They broadcast against each other with
        NumPy's rules; array-likes that are not Dask arrays become one.
    **options
        Keyword arguments of the method (``f_dac=0.3``).

    Returns
    -------
    dask.array.Array
        Lazy ``float64`` values of the broadcast shape, chunked like the
        arguments (Dask unifies their chunks first).

    Raises
    ------
    AttributeError
        At once, when the model has no method ``quantity``.
    ImportError
        When Dask is not installed.

    Notes
    -----
    When a chunk fails, computing the array raises the error the method
    raises for the chunk's first failing element (in row-major order), of
    the same class, code, field and message, with the element's position in
    the whole array as ``index``, a tuple of ints. The failing element is
    found by bisection over the chunk, so a failure costs about two
    evaluations of that chunk. When several chunks fail, the error comes from
    the one Dask reports first, which need not be the first in the array.
    """
    try:
        import dask.array as da
    except ImportError as error:
        raise ImportError("barometra.dask needs Dask: pip install 'barometra[dask]'") from error
    getattr(model, quantity)  # a misspelt quantity fails here, not on a worker
    inputs = [da.asarray(argument) for argument in arguments]
    ndim = max((array.ndim for array in inputs), default=0)
    result: dask.array.Array = da.map_blocks(
        _evaluate_block, *inputs, dtype=np.float64, meta=np.empty((0,) * ndim, dtype=np.float64),
        model=model, quantity=quantity, options=options)
    return result


def _evaluate_block(*blocks: Any, model: Any, quantity: str, options: dict[str, Any],
                    block_info: dict[Any, Any] | None = None) -> Any:
    method = getattr(model, quantity)
    try:
        return np.asarray(method(*blocks, **options), dtype=np.float64)
    except BarometraError:
        position, error = _first_failure(method, blocks, options)
        if error is None or block_info is None:
            raise  # no element fails alone: the chunk's own error, as it came
    shape = np.broadcast_shapes(*(np.shape(block) for block in blocks))
    origin = [start for start, _ in block_info[None]["array-location"]]
    local = np.unravel_index(position, shape) if shape else ()
    index = tuple(int(start + offset) for start, offset in zip(origin, local))
    setattr(error, "index", index)  # the error classes declare none: only a chunk has a place
    if hasattr(error, "add_note"):  # Python 3.11 and later
        error.add_note(f"at index {index} of the Dask array")
    raise error.with_traceback(None) from None


def _first_failure(method: Any, blocks: tuple[Any, ...],
                   options: dict[str, Any]) -> tuple[int, BarometraError | None]:
    """The flat position of the first element of a failed chunk that fails on
    its own, with its error; ``(0, None)`` when none does.

    Bisection keeps the first ``low`` elements known good and the failure
    within ``[low, high)``; each step evaluates the lower half of that range.
    """
    flat = [np.ravel(block) for block in np.broadcast_arrays(*map(np.asarray, blocks))]
    low, high = 0, flat[0].size
    while high - low > 1:
        middle = (low + high) // 2
        try:
            method(*(values[low:middle] for values in flat), **options)
            low = middle
        except BarometraError:
            high = middle
    try:
        method(*(values[low:high] for values in flat), **options)
    except BarometraError as error:
        return low, error
    return 0, None
