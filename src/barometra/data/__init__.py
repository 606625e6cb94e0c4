"""Measured data: the :class:`Dataset` value, data files, and bundled published datasets.

============================  =================================================
:class:`Dataset`              pressures, volumes, temperatures and their sigmas
:func:`read`                  a dataset from a .csv or .dat file, by extension
:func:`read_csv`              a dataset from a CSV file (malformed files name the
                              line and the column)
:func:`write_csv`             a dataset to a CSV file in the same convention
:func:`read_eosfit`           a dataset from the field's keyword .dat file
                              (volumes from cell parameters and System)
:func:`write_eosfit`          a dataset to a .dat file that reads back equal
:func:`load_example`          one of the three bundled published datasets
:func:`example_info`          citation, provenance and published fit of one
:func:`cell_volume_to_molar`  Å³ per unit cell to J/bar per formula unit
============================  =================================================
"""

from ..units import AVOGADRO
from ._csv import read_csv, write_csv
from ._dataset import Dataset, cell_volume_to_molar
from ._eosfit import read_eosfit, write_eosfit
from ._examples import EXAMPLES, example_info, load_example
from ._formats import read

__all__ = [
    "AVOGADRO",
    "EXAMPLES",
    "Dataset",
    "cell_volume_to_molar",
    "example_info",
    "load_example",
    "read",
    "read_csv",
    "read_eosfit",
    "write_csv",
    "write_eosfit",
]

for _name in ("Dataset", "cell_volume_to_molar", "example_info", "load_example", "read",
              "read_csv", "read_eosfit", "write_csv", "write_eosfit"):
    globals()[_name].__module__ = __name__
del _name
