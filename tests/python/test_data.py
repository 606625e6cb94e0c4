import io
import math
import pickle

import numpy as np
import pytest

from barometra.data import (
    EXAMPLES,
    Dataset,
    cell_volume_to_molar,
    example_info,
    load_example,
    read_csv,
    write_csv,
)
from barometra.errors import DataFileError, ValidationError


@pytest.mark.parametrize("name", EXAMPLES)
def test_examples_round_trip_through_csv(name, tmp_path):
    data = load_example(name)
    info = example_info(name)
    assert (len(data), data.citation, data.doi, data.formula_units_per_cell) == (
        info["n_points"], info["citation"], info["doi"], info["Z_formula_units_per_cell"])
    write_csv(data, tmp_path / "copy.csv")
    again = read_csv(tmp_path / "copy.csv", name=name, citation=data.citation, doi=data.doi,
                     formula_units_per_cell=data.formula_units_per_cell,
                     atoms_per_formula_unit=data.atoms_per_formula_unit)
    assert again == data and pickle.loads(pickle.dumps(data)) == data
    assert data != data.replace(citation="")


def test_example_contents():
    room = load_example("stishovite_300K_nishihara2005")
    pvt = load_example("stishovite_pvt_nishihara2005")
    bridgmanite = load_example("bridgmanite_pvt_tange2012")
    assert room.temperature is None and room.temperature_sigma is None
    assert np.isnan(room.pressure_sigma).all() and np.isnan(pvt.temperature_sigma).all()
    assert sorted(room.extra) == ["a", "a_sigma", "c", "c_sigma"]
    # The 300 K file is the 300 K rows of the P-V-T file.
    at_300 = pvt.select(pvt.temperature == 300.0)
    assert at_300.replace(temperature=None, name=room.name) == room
    assert np.isnan(bridgmanite.temperature_sigma).sum() == 33
    assert bridgmanite.extra["run"][0] == 101.0 and bridgmanite.extra["run"].dtype == np.float64
    # The conversions the data's documentation gives.
    assert cell_volume_to_molar(46.56, 2) == pytest.approx(1.40195, abs=5e-6)
    assert cell_volume_to_molar(162.373, 4) == pytest.approx(2.44458, abs=5e-6)
    molar = bridgmanite.to_molar_volume()
    np.testing.assert_allclose(molar.volume_sigma, bridgmanite.volume_sigma * 0.0150553519,
                               rtol=1e-9)
    assert molar.volume_unit == "J/bar" and molar.replace(volume=bridgmanite.volume,
                                                         volume_sigma=bridgmanite.volume_sigma,
                                                         volume_unit="Å³/cell") == bridgmanite
    with pytest.raises(ValueError, match="volumes are in 'J/bar'"):
        molar.to_molar_volume()
    with pytest.raises(ValueError, match="no example dataset 'quartz'; available: stishovite_300K"):
        load_example("quartz")


HEADER = "pressure,pressure_sigma,volume,volume_sigma,temperature"


@pytest.mark.parametrize(
    ("text", "line", "column", "problem"),
    [
        ("", 1, None, "no header line: the first line must name the columns"),
        ("pressure,vol\n1,2\n", 1, "volume", "the header has no such column; it must name "
         "pressure (or P) and volume (or V); found pressure, vol"),
        ("pressure,volume,pressure\n", 1, "pressure", "the column is named twice"),
        ("pressure,,volume\n", 1, None, "column 2 of the header has no name"),
        ("pressure,volume,temperature_sigma\n", 1, "temperature_sigma",
         "given without a temperature column"),
        (f"{HEADER}\n1,,40,,300\n2,,4O.1,,300\n", 3, "volume", "'4O.1' is not a number"),
        (f"{HEADER}\n1,,40,,300\n\n2,,40\n", 4, "volume_sigma",
         "3 cells, but the header names 5 columns"),
        (f"{HEADER}\n1\n", 2, "pressure_sigma", "1 cell, but the header names 5 columns"),
        (f"{HEADER}\n1,,40,,300,7\n", 2, None, "6 cells, but the header names 5 columns"),
        (f"{HEADER}\n1,,40,,\n", 2, "temperature", "no value; pass skip_incomplete=True to skip "
         "rows without one"),
        (f"{HEADER}\n1,-0.1,40,,300\n", 2, "pressure_sigma", "'-0.1' must not be negative"),
        (f"{HEADER}\ninf,,40,,300\n", 2, "pressure", "'inf' must be finite"),
        (f"{HEADER}\n1,,0,,300\n", 2, "volume", "'0' must be positive"),
        (f"{HEADER}\n\n", 2, None, "no data rows"),
        (b"pressure,volume\n1,\xff\n", None, None, "not UTF-8 text (invalid start byte)"),
    ],
)
def test_malformed_files_name_the_file_line_and_column(tmp_path, text, line, column, problem):
    path = tmp_path / "bad.csv"
    if isinstance(text, bytes):
        path.write_bytes(text)
    else:
        path.write_text(text, encoding="utf-8")
    with pytest.raises(DataFileError) as info:
        read_csv(path)
    where = str(path) + ("" if line is None else f", line {line}")
    where += "" if column is None else f", column {column!r}"
    assert str(info.value) == f"{where}: {problem}"
    assert (info.value.path, info.value.line, info.value.field, info.value.code) == (
        str(path), line, column, "data.invalid_file")
    assert isinstance(info.value, ValueError)


def test_incomplete_rows_are_skipped_only_on_request():
    text = ("\ufeffvolume, pressure ,temperature,note\n40,1,300,a\n41,,300,b\n"
            "42,3,nan,c\n43,4,310,\n")
    stream = io.StringIO(text)
    with pytest.raises(DataFileError, match="line 3, column 'pressure': no value"):
        read_csv(stream)
    data = read_csv(io.StringIO(text), skip_incomplete=True)
    assert data.volume.tolist() == [40.0, 43.0] and data.name == "<stream>"
    assert data.extra["note"].tolist() == ["a", ""]


@pytest.mark.parametrize(
    ("arguments", "field", "message"),
    [
        ({"pressure": [1.0, math.nan], "volume": [40.0, 41.0]}, "pressure",
         "pressure[1] = nan is missing"),
        ({"pressure": [1.0], "volume": [-40.0]}, "volume", "volume[0] = -40.0 must be positive"),
        ({"pressure": [1.0], "volume": [40.0], "temperature": [math.inf]}, "temperature",
         "temperature[0] = inf must be finite"),
        ({"pressure": [1.0], "volume": [40.0], "volume_sigma": [-1.0]}, "volume_sigma",
         "volume_sigma[0] = -1.0 must not be negative"),
        ({"pressure": [[1.0]], "volume": [40.0]}, "pressure",
         "pressure must be one-dimensional, not of shape (1, 1)"),
        ({"pressure": [1.0, 2.0], "volume": [40.0]}, "volume", "volume has 1 row, pressure has 2"),
        ({"pressure": [1.0], "volume": [40.0], "temperature_sigma": [1.0]}, "temperature_sigma",
         "temperature_sigma needs temperature"),
        ({"pressure": [1.0], "volume": [40.0], "extra": {"volume": [1.0]}}, "volume",
         "extra column 'volume' is a standard column"),
    ],
)
def test_dataset_checks_its_columns(arguments, field, message):
    with pytest.raises(ValidationError) as info:
        Dataset(**arguments)
    assert (str(info.value), info.value.field, info.value.code) == (
        message, field, "data.invalid_input")


def test_dataset_is_immutable():
    source = np.array([1.0, 2.0])
    data = Dataset(pressure=source, volume=[40.0, 39.0], extra={"run": [1, 2]})
    source[0] = 99.0
    assert data.pressure[0] == 1.0  # copied
    with pytest.raises(ValueError, match="read-only"):
        data.volume[0] = 1.0
    with pytest.raises(ValueError, match="read-only"):
        data.extra["run"][0] = 5.0
    with pytest.raises(AttributeError):
        data.pressure = source
    with pytest.raises(TypeError):
        data.extra["new"] = source
    with pytest.raises(TypeError, match="unknown field 'pressures'"):
        data.replace(pressures=source)
    assert data.select([1, 0]).extra["run"].tolist() == [2.0, 1.0]


def test_to_units_converts_values_and_sigmas_and_says_so():
    bridgmanite = load_example("bridgmanite_pvt_tange2012")
    converted = bridgmanite.to_units(pressure="kbar", volume="cm3/mol")
    np.testing.assert_array_equal(converted.pressure_sigma, bridgmanite.pressure_sigma * 10)
    np.testing.assert_allclose(converted.volume, bridgmanite.to_molar_volume().volume * 10,
                               rtol=1e-15)
    assert converted.notes == ("pressures converted from GPa to kbar",
                               "volumes converted from Å³/cell to cm³/mol (Z = 4)")
    back = converted.to_units(pressure="GPa", volume="A^3")
    np.testing.assert_allclose(back.volume_sigma, bridgmanite.volume_sigma, rtol=1e-15)
    assert back.volume_unit == "Å³/cell" and back.to_units(volume="Å3") is back
    with pytest.raises(ValueError, match="from Å³/cell to J/bar needs Z"):
        bridgmanite.replace(formula_units_per_cell=None).to_units(volume="J/bar")
    with pytest.raises(ValueError, match="unknown pressure unit 'arb'"):
        bridgmanite.replace(pressure_unit="arb").to_units(pressure="GPa")


def test_units_notes_and_metadata():
    data = Dataset(pressure=[1.0], volume=[40.0], volume_unit="A^3", notes=["read by hand"],
                   metadata={"system": "cubic"})
    assert data.volume_unit == "Å³/cell"  # the canonical label of a known spelling
    assert data.replace(volume_unit="Å³/atom").volume_unit == "Å³/atom"  # others kept
    # Notes and metadata travel with the data but do not make it different data.
    plain = data.replace(notes=(), metadata={})
    assert plain == data and plain.notes == () and not plain.metadata
    assert pickle.loads(pickle.dumps(data)).notes == ("read by hand",)
    assert data.select([0]).metadata == {"system": "cubic"}


def test_description_and_notebook_table_count_rows():
    text = "pressure,volume,temperature\n1,40,300\n2,39,\n" + "3,38,310\n" * 11
    data = read_csv(io.StringIO(text), skip_incomplete=True, name="<MgO>")
    assert data.describe().splitlines()[0] == "<MgO>: 12 rows"
    assert "note: skipped 1 incomplete row (line 3)" in data.describe()
    table = data._repr_html_()
    assert "&lt;MgO&gt;: 12 rows, the first 10 shown" in table
    assert "volume<br>(Å³/cell)" in table and table.count("<tr>") == 11
    assert "skipped 1 incomplete row" in table
    assert Dataset(pressure=[1.0], volume=[40.0]).describe().startswith("Dataset: 1 row\n")
