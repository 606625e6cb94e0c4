"""The reader of a data file picked by its extension."""

from __future__ import annotations

import os
from typing import Any

from ..errors import DataFileError
from ._csv import read_csv
from ._dataset import Dataset
from ._eosfit import read_eosfit

_READERS = {".csv": read_csv, ".dat": read_eosfit}


def read(path: str | os.PathLike[str], **options: Any) -> Dataset:
    """A dataset from a ``.csv`` file (:func:`read_csv`) or a keyword ``.dat`` file
    (:func:`read_eosfit`), picked by the extension in any letter case.

    ``options`` go to the reader (units, ``skip_incomplete``, citation ...).

    Raises
    ------
    barometra.errors.DataFileError
        For another extension, and for whatever the reader refuses.
    """
    path = os.fspath(path)
    reader = _READERS.get(os.path.splitext(path)[1].lower())
    if reader is None:
        raise DataFileError(f"{path}: cannot tell the format from the extension: expected "
                            ".csv or .dat (or call read_csv or read_eosfit)", path=path)
    return reader(path, **options)
