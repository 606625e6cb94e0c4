import io
import math

import numpy as np
import pytest

from barometra.data import (
    EXAMPLES,
    Dataset,
    load_example,
    read,
    read_csv,
    read_eosfit,
    write_csv,
    write_eosfit,
)
from barometra.data._files import first_repeat
from barometra.errors import DataFileError


def test_csv_as_people_write_it():
    text = ("# MgO, run 2\n\nP (kbar), SigP, V [cm3/mol], sigV, T (C), SIGT, note\n"
            "10, 0.5, 11.2, 0.01, 26.85, 1, a\n# a comment line\n250, , 10.5, 0.01, 526.85, , b\n")
    data = read_csv(io.StringIO(text), pressure_unit="GPa", formula_units_per_cell=4)
    expected = Dataset(pressure=[10.0, 250.0], pressure_sigma=[0.5, math.nan],
                       volume=[11.2, 10.5], volume_sigma=[0.01, 0.01],
                       temperature=[300.0, 800.0], temperature_sigma=[1.0, math.nan],
                       pressure_unit="kbar", volume_unit="cm3/mol", extra={"note": ["a", "b"]},
                       name="<stream>", formula_units_per_cell=4).to_units(pressure="GPa")
    assert data == expected
    assert data.notes == ("pressures converted from kbar to GPa",
                          "temperatures converted from °C to K")
    # Asked for per-cell volumes, the molar ones go through Z.
    cells = read_csv(io.StringIO(text), volume_unit="A^3/cell", formula_units_per_cell=4)
    np.testing.assert_allclose(cells.volume, expected.to_units(volume="A^3").volume, rtol=1e-15)


@pytest.mark.parametrize(
    ("header", "column", "problem"),
    [
        ("P,V,pressure", "pressure", "the column is named twice (as 'P' and 'pressure')"),
        ("P (kPa),V", "P (kPa)", "unknown pressure unit 'kPa'; known pressure units: GPa"),
        ("P,V [cm3/mol]", "V [cm3/mol]",
         "converting volumes from cm³/mol to Å³/cell needs Z, the number of formula units"),
        ("Press,Vol", "pressure", "the header has no such column; it must name pressure (or P) "
         "and volume (or V); found Press, Vol"),
    ],
)
def test_csv_header_faults(header, column, problem):
    with pytest.raises(DataFileError, match="^<stream>, line 2, column") as info:
        read_csv(io.StringIO(f"# units below\n{header}\n1,2,3\n"), volume_unit=(
            "Å³/cell" if "cm3" in header else None))
    assert info.value.field == column and problem in str(info.value)


def test_header_duplicates_cost_one_lookup_per_column():
    class Name(str):
        comparisons = 0

        def __eq__(self, other):
            Name.comparisons += 1
            return str.__eq__(self, other)

        __hash__ = str.__hash__

    names = [Name(f"column {i}") for i in range(20_000)]
    assert first_repeat(names) is None and Name.comparisons < 100  # a list scan makes 2e8
    assert first_repeat(["P", "V", "T", "V", "P"]) == (1, 3)


CELL_FILE = """Title {system}
Pscale GPa
System {system}
Format 1 P SIGP {columns}
Data
0.0001 0.0001 {row}
"""

# System, its cell (Format names -> values), and its volume by the crystallographer's
# formula for that system.
CELLS = [
    ("cubic", {"A": 4.2112}, 4.2112**3),
    ("tetragonal", {"A": 4.1773, "C": 2.6655}, 4.1773**2 * 2.6655),
    ("hexagonal", {"A": 4.9137, "C": 5.4047}, math.sqrt(3) / 2 * 4.9137**2 * 5.4047),
    ("trigonal", {"A": 5.4, "ALPHA": 55.3},
     5.4**3 * math.sqrt(1 - 3 * math.cos(math.radians(55.3))**2
                        + 2 * math.cos(math.radians(55.3))**3)),
    ("orthorhombic", {"A": 4.78, "B": 4.93, "C": 6.90}, 4.78 * 4.93 * 6.90),
    ("monoclinic", {"A": 9.7, "B": 8.9, "C": 5.3, "BETA": 105.2},
     9.7 * 8.9 * 5.3 * math.sin(math.radians(105.2))),
    ("triclinic", {"A": 8.16, "B": 12.87, "C": 14.17, "ALPHA": 93.2, "BETA": 116.1,
                   "GAMMA": 90.6}, None),
]


def _volume(system, cell):
    values = dict(cell)
    values.setdefault("B", values["A"])
    values.setdefault("C", values["A"])
    if system == "trigonal":
        values["BETA"] = values["GAMMA"] = values["ALPHA"]
    values.setdefault("GAMMA", 120.0 if system == "hexagonal" else 90.0)
    cosines = [math.cos(math.radians(values.get(angle, 90.0)))
               for angle in ("ALPHA", "BETA", "GAMMA")]
    return values["A"] * values["B"] * values["C"] * math.sqrt(
        1 - sum(c * c for c in cosines) + 2 * math.prod(cosines))


@pytest.mark.parametrize(("system", "cell", "volume"), CELLS, ids=[c[0] for c in CELLS])
def test_cell_volumes_and_their_esds(system, cell, volume):
    sigmas = {name: 1e-4 * value for name, value in cell.items()}
    columns = " ".join(f"{name} SIG{name}" for name in cell)
    row = " ".join(f"{value!r} {sigmas[name]!r}" for name, value in cell.items())
    data = read_eosfit(io.StringIO(CELL_FILE.format(system=system, columns=columns, row=row)))
    assert data.volume[0] == pytest.approx(volume or _volume(system, cell), rel=1e-12)
    # First-order propagation against central differences of the volume.
    variance = 0.0
    for name, sigma in sigmas.items():
        step = dict(cell, **{name: cell[name] + 1e-6})
        back = dict(cell, **{name: cell[name] - 1e-6})
        derivative = (_volume(system, step) - _volume(system, back)) / 2e-6
        variance += (derivative * sigma) ** 2
    assert data.volume_sigma[0] == pytest.approx(math.sqrt(variance), rel=1e-6)
    assert data.metadata["system"] == system and data.extra["a"][0] == cell["A"]


@pytest.mark.parametrize("name", EXAMPLES)
def test_eosfit_round_trip(name, tmp_path):
    data = load_example(name)
    data = data.replace(extra=dict(data.extra, sample=["x"] * len(data)),
                        metadata={"system": "tetragonal", "beamline": "BL04B1"})
    write_eosfit(data, tmp_path / "copy.dat")
    again = read(tmp_path / "copy.dat")
    assert again == data and again.metadata == {"beamline": "BL04B1", "system": "tetragonal",
                                                 "format": "1"}
    sigmas = [data.pressure_sigma, data.volume_sigma, data.temperature_sigma]
    unreported = np.isnan([s for s in sigmas if s is not None]).any(axis=0).sum()
    assert again.notes[-1].startswith(f"{unreported} rows had a zero sigma, read as not reported")


def test_eosfit_units_and_skipped_rows():
    text = ("TITLE  run 7 # not a comment in a title\npscale KBAR\nVSCALE cm^3/mol\n"
            "Tscale F\nFORMAT P V T SIGT\nDATA\n10 11.2 80.33 9  # first\n20 nan 80.33 0\n"
            "30 11.1 440.33 9\n")
    data = read_eosfit(io.StringIO(text), skip_incomplete=True, pressure_unit="GPa",
                       volume_unit="J/bar")
    assert data.name == "run 7 # not a comment in a title"
    np.testing.assert_allclose(data.temperature, [300.0, 500.0], rtol=1e-14)
    np.testing.assert_allclose(data.temperature_sigma, [5.0, 5.0], rtol=1e-14)
    np.testing.assert_allclose([data.pressure, data.volume], [[1.0, 3.0], [1.12, 1.11]],
                               rtol=1e-15)
    assert data.notes[-1] == "skipped 1 incomplete row (line 8)" and "format" not in data.metadata


GOOD = "Pscale GPa\nFormat 1 P SIGP V SIGV\n1.0 0.1 40.0 0.01\n"


@pytest.mark.parametrize(
    ("text", "line", "column", "problem"),
    [
        ("Pressure GPa\n" + GOOD, 1, None, "unknown keyword 'Pressure': expected one of Title, "
         "Pscale, Vscale, Tscale, System, Format"),
        ("Data\n" + GOOD, 1, None, "Data before the Format line: expected Format followed by"),
        ("pscale kbar\n" + GOOD, 2, None, "Pscale given twice (first on line 1)"),
        ("Vscale nm^3\n" + GOOD, 1, None, "Vscale: unknown volume unit 'nm^3'"),
        ("Pscale GPa\n", None, None, "no Format line: expected Format followed by the column"),
        (GOOD + "2.0 0.1 39.0\n", 4, "SIGV", "3 values, but the Format line names 4 columns"),
        (GOOD + "2.0 0.1 39,0 0.01\n", 4, "V", "'39,0' is not a number"),
        (GOOD + "2.0 -0.1 39.0 0.01\n", 4, "SIGP", "'-0.1' must not be negative"),
        (GOOD + "Tscale K\n", 4, None, "Tscale after the Format line: expected a data row"),
        (GOOD.replace("SIGV", "SIGT"), 2, "SIGT", "given without a T column"),
        (GOOD.replace(" V SIGV", " A SIGA"), 2, None, "cell parameters without V need a System"),
        ("System tetragonal\nFormat P A C B\n1 4 3 4.1\n", 3, "B",
         "4.1 in a tetragonal cell must equal A (4)"),
        ("System cubic\nFormat P A ALPHA\n1 4 0\n", 3, "ALPHA",
         "'0' must lie between 0 and 180 degrees"),
        ("Format P V\n", 1, None, "no data rows"),
    ],
)
def test_malformed_eosfit_files(tmp_path, text, line, column, problem):
    path = tmp_path / "bad.dat"
    path.write_text(text, encoding="utf-8")
    with pytest.raises(DataFileError) as info:
        read(path)
    where = str(path) + ("" if line is None else f", line {line}")
    where += "" if column is None else f", column {column!r}"
    assert str(info.value).startswith(f"{where}: {problem}")
    assert (info.value.line, info.value.field) == (line, column)


def test_read_and_write_refuse_what_they_cannot_hold(tmp_path):
    with pytest.raises(DataFileError, match="cannot tell the format from the extension"):
        read(tmp_path / "data.txt")
    data = Dataset(pressure=[1.0], volume=[40.0])
    for bad, match in [(dict(extra={"T": [300.0]}), "extra column 'T' cannot be written"),
                       (dict(extra={"note": ["two words"]}), "values must be single words"),
                       (dict(pressure_unit="psi"), "unknown pressure unit 'psi'"),
                       (dict(citation="line\nbreak"), "citation has a line break")]:
        with pytest.raises(ValueError, match=match):
            write_eosfit(data.replace(**bad), tmp_path / "out.dat")
    assert not (tmp_path / "out.dat").exists()
    write_csv(data, tmp_path / "same.CSV")
    assert read(tmp_path / "same.CSV") == data.replace(name="same")
