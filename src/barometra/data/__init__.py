"""Measured data: the :class:`Dataset` value, CSV files, and bundled published datasets.

=========================  ===================================================
:class:`Dataset`           pressures, volumes, temperatures and their sigmas
:func:`read_csv`           a dataset from a CSV file (malformed files name the
                           line and the column)
:func:`write_csv`          a dataset to a CSV file in the same convention
:func:`load_example`       one of the three bundled published datasets
:func:`example_info`       citation, provenance and published fit of one
:func:`cell_volume_to_molar`  Å³ per unit cell to J/bar per formula unit
=========================  ===================================================
"""

from ._csv import read_csv, write_csv
from ._dataset import AVOGADRO, Dataset, cell_volume_to_molar
from ._examples import EXAMPLES, example_info, load_example

__all__ = [
    "AVOGADRO",
    "EXAMPLES",
    "Dataset",
    "cell_volume_to_molar",
    "example_info",
    "load_example",
    "read_csv",
    "write_csv",
]

for _name in ("Dataset", "cell_volume_to_molar", "example_info", "load_example", "read_csv",
              "write_csv"):
    globals()[_name].__module__ = __name__
del _name
