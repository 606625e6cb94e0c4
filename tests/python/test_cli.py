import contextlib
import io
import json
import pathlib
import re
import shlex
import subprocess
import sys
import threading

import pytest

from barometra import BM3, LinearUsUpHugoniot
from barometra._cli import demonstration, main
from barometra._cli.progress import Progress

README = pathlib.Path(__file__).resolve().parents[2] / "README.md"
BM3_ARGS = ["eval", "--eos", "bm3", "--param", "v0=46.56", "k0=296", "k0_prime=4.2"]


def run(capsys, *argv):
    status = main(list(argv))
    out, err = capsys.readouterr()
    return status, out, err


def test_eval_prints_the_model_values_as_table_and_json(capsys):
    model = BM3(v0=46.56, k0=296.0, k0_prime=4.2)
    status, out, err = run(capsys, *BM3_ARGS, "--volume", "40", "44")
    assert (status, err) == (0, "")
    title, header, *rows = out.splitlines()
    assert title == f"# {model!r}" and header.split() == ["volume", "pressure", "bulk_modulus"]
    assert [float(x) for x in rows[1].split()] == [44.0, model.pressure(44.0),
                                                  model.bulk_modulus(44.0)]
    status, out, _ = run(capsys, *BM3_ARGS, "--pressure", "0", "20", "--json")
    document = json.loads(out)
    assert status == 0 and document["parameters"] == model.parameters
    assert document["columns"]["volume"] == model.volume([0.0, 20.0]).tolist()


def test_eval_of_a_hugoniot_from_particle_velocities(capsys):
    model = LinearUsUpHugoniot(v0=7.113, rho0=8.93, c0=3.94, s=1.49)
    status, out, _ = run(capsys, "eval", "--hugoniot", "linear_us_up", "--param", "v0=7.113",
                         "rho0=8.93", "c0=3.94", "s=1.49", "--particle-velocity", "1", "--json")
    columns = json.loads(out)["columns"]
    assert status == 0 and columns["pressure"] == [model.pressure_from_particle_velocity(1.0)]
    assert columns["density"] == [model.density(model.volume_from_particle_velocity(1.0))]


@pytest.mark.parametrize(("argv", "status", "message"), [
    (["eval", "--eos", "bm3", "--volume", "40", "--bogus"], 2,
     "barometra: error: unrecognized arguments: --bogus (see barometra --help)"),
    ([*BM3_ARGS, "--volume", "4x0"], 2, "argument --volume: invalid float value: '4x0'"),
    (["fit", "room.csv", "--eos", "bm3", "--loss", "l2"], 2,
     "barometra fit: error: argument --loss: invalid choice: 'l2'"),
    ([*BM3_ARGS, "k0=1", "--volume", "40"], 2, "--param k0 is given twice"),
    ([*BM3_ARGS, "K0p=4", "--volume", "40"], 2,
     "BirchMurnaghan3() got unknown parameter 'K0p'; accepted parameters: v0, k0, k0_prime"),
    (["eval", "--eos", "bm3", "--param", "k0", "--volume", "40"], 2,
     "--param 'k0' is not NAME=VALUE"),
    (["eval", "--eos", "bm5", "--volume", "40"], 2, "unknown EOS 'bm5'; known: baonza, bm2,"),
    (["eval", "--eos", "vinet", "--param", "v0=46.56", "k0=-296", "k0_prime=4.2",
      "--volume", "40"], 1,
     "barometra eval: error: invalid parameter K0: must be positive and finite"),
    ([*BM3_ARGS, "--volume", "40", "-1", "30"], 1,
     "barometra eval: error: at volume -1.0: invalid state variable volume: must be "
     "positive and finite"),
    ([*BM3_ARGS, "--particle-velocity", "1"], 2, "--particle-velocity needs --hugoniot"),
])
def test_errors_are_one_line_and_a_status(capsys, argv, status, message):
    code, out, err = run(capsys, *argv)
    assert (code, out) == (status, "")
    assert err.count("\n") == 1 and message in err and "Traceback" not in err


def test_module_and_console_script_run_the_command_line():
    command = [*BM3_ARGS, "--volume", "40", "--json"]
    script = pathlib.Path(sys.executable).with_name("barometra")
    runs = [[sys.executable, "-m", "barometra", *command]]
    runs += [[str(script), *command]] if script.exists() else []
    for argv in runs:
        result = subprocess.run(argv, capture_output=True, text=True, check=True)
        assert json.loads(result.stdout)["columns"]["volume"] == [40.0]
    bad = subprocess.run([sys.executable, "-m", "barometra", "eval", "--eos", "bm3"],
                         capture_output=True, text=True)
    assert bad.returncode == 2 and bad.stderr.count("\n") == 1


def test_readme_commands_print_what_the_readme_shows(capsys):
    blocks = re.findall(r"```console\n(.*?)```", README.read_text(encoding="utf-8"), re.S)
    assert blocks
    for block in blocks:
        command, *shown = block.splitlines()
        assert command.startswith("$ barometra ")
        status, out, _ = run(capsys, *shlex.split(command)[2:])
        assert status == 0 and out.splitlines() == shown


def test_progress_speaks_only_for_slow_operations_and_when_asked():
    quiet = io.StringIO()
    with Progress("nothing", stream=quiet):  # not a terminal, not asked
        pass
    assert quiet.getvalue() == ""
    stream, spoke = io.StringIO(), threading.Event()
    stream.write = lambda text, write=stream.write: (write(text), spoke.set())[0]
    with Progress("fitting", stream=stream, enabled=True, delay=0.01):
        assert spoke.wait(10.0)  # the timer speaks while this thread is busy
    first, last = stream.getvalue().splitlines()
    assert first == "barometra: fitting ..." and re.fullmatch(
        r"barometra: fitting done in \d+\.\d s", last)


def test_bare_command_and_demo_run_the_demonstration(monkeypatch, capsys):
    calls = []
    monkeypatch.setattr(demonstration, "main", lambda argv=None: calls.append(argv) or 0)
    assert run(capsys, *[]) == (0, "", "")
    assert run(capsys, "demo", "--quick")[0] == 0
    assert calls == [[], ["--quick"]]


ROOM = "stishovite_300K_nishihara2005"
FIT_ROOM = ["fit", ROOM, "--eos", "bm3", "--pressure-sigma", "1"]


def test_help_lists_models_in_one_spelling_and_reads_both(capsys):
    helps = {}
    for command in ("fit", "eval"):
        with pytest.raises(SystemExit):
            main([command, "--help"])
        helps[command] = " ".join(capsys.readouterr().out.split())
        assert "natural-strain3" in helps[command] and "natural_strain3" not in helps[command]
    assert "mie-gruneisen-debye" in helps["fit"]
    assert "3 the fit did not converge, or warned" in helps["fit"]
    tables = {run(capsys, "eval", "--eos", name, *BM3_ARGS[3:], "--volume", "44")[1]
              for name in ("bm3", "BirchMurnaghan3", "BM3")}
    assert len(tables) == 1
    for name in ("natural_strain3", "Natural-Strain3"):
        status, out, _ = run(capsys, "eval", "--eos", name, *BM3_ARGS[3:], "--volume", "44")
        assert status == 0 and out.startswith("# NaturalStrain3(")
    err = run(capsys, *FIT_ROOM, "--thermal", "Mie_Gruneisen_Einstein")[2]
    assert "MieGruneisenEinstein is a thermal model: the dataset needs temperatures" in err


@pytest.fixture
def quartz(tmp_path):
    path = tmp_path / "quartz.dat"
    rows = [(0.001, 4.9137, 5.4047), (10.0, 4.8731, 5.3826), (20.0, 4.8400, 5.3650),
            (30.0, 4.8100, 5.3500), (40.0, 4.7850, 5.3370), ("nan", 4.7600, 5.3250)]
    path.write_text("Title quartz\nPscale kbar\nSystem trigonal\nFormat 1 P SIGP A SIGA C SIGC\n"
                    + "".join(f"{p} 0 {a} 0.0001 {c} 0.0001\n" for p, a, c in rows))
    return path


def test_fit_reads_dat_files_into_the_units_asked(capsys, quartz):
    from barometra.data import read
    from barometra.fit import fit

    status, _, err = run(capsys, "fit", str(quartz), "--eos", "bm3", "--pressure-sigma", "0.1")
    assert status == 1 and "pass --skip-incomplete to skip" in err
    status, out, err = run(capsys, "fit", str(quartz), "--eos", "bm3", "--pressure-sigma", "0.01",
                           "--skip-incomplete", "--pressure-unit", "GPa", "--json")
    data = read(quartz, skip_incomplete=True, pressure_unit="GPa")
    expected = fit(BM3(v0=113.0, k0=40.0, k0_prime=4.0), data, pressure_sigma=0.01)
    k0 = json.loads(out)["parameters"]["k0"]
    assert status == 0 and k0["unit"] == "GPa"
    assert k0["value"] == pytest.approx(expected.values["k0"], rel=1e-6)


def test_fit_table_forms_hold_the_fitted_numbers(capsys):
    import csv

    document = json.loads(run(capsys, *FIT_ROOM, "--fix", "v0", "--json")[1])
    status, out, _ = run(capsys, *FIT_ROOM, "--fix", "v0", "--table", "csv")
    rows = {row["parameter"]: row for row in csv.DictReader(io.StringIO(out))}
    assert status == 0 and list(rows) == ["k0", "k0_prime", "v0"]
    for name, entry in document["parameters"].items():
        assert float(rows[name]["value"]) == entry["value"]
        assert float(rows[name]["standard_error"]) == entry["standard_error"]
        assert (rows[name]["unit"], rows[name]["status"]) == (entry["unit"], "fitted")
    assert (rows["v0"]["standard_error"], rows["v0"]["status"]) == ("", "fixed")
    markdown = run(capsys, *FIT_ROOM, "--fix", "v0", "--table", "markdown")[1].splitlines()
    k0 = document["parameters"]["k0"]["formatted"]
    assert len(markdown) == 5 and markdown[2] == f"| k0 | {k0} | GPa |"
    latex = run(capsys, *FIT_ROOM, "--fix", "v0", "--table", "latex")[1]
    assert f"$K_{{0}}$ & ${k0}$ & GPa \\\\" in latex
    assert "$V_{0}$ & $46.56$ (fixed) & \\AA{}$^{3}$/cell" in latex
    assert run(capsys, *FIT_ROOM, "--table", "csv", "--json")[0] == 2


class FitQualityWarning(UserWarning):
    """Stands for the fit's own warning classes, which derive from UserWarning."""


@pytest.mark.parametrize(("category", "status"), [(FitQualityWarning, 3),
                                                  (DeprecationWarning, 0)])
def test_a_fit_that_warned_exits_with_status_3_unless_allowed(capsys, monkeypatch, category,
                                                              status):
    import warnings

    from barometra._cli import fit as command

    def warning_fit(*args, **kwargs):
        warnings.warn("k0 lies at a bound: widen bounds={'k0': (lower, upper)}", category)
        return real(*args, **kwargs)

    real = command.fit
    monkeypatch.setattr(command, "fit", warning_fit)
    with pytest.warns(category) if status == 0 else contextlib.nullcontext():
        code, out, err = run(capsys, *FIT_ROOM)  # other warnings are shown as Python would
    assert code == status and out.startswith("Fit of BirchMurnaghan3")
    if status:
        assert err.splitlines() == [
            "barometra fit: warning: k0 lies at a bound: widen --bounds k0=LOWER:UPPER",
            "barometra fit: error: the fit gave 1 warning; --allow-warnings accepts it"]
        assert run(capsys, *FIT_ROOM, "--allow-warnings")[0] == 0


def test_a_fit_that_did_not_converge_exits_with_status_3(capsys):
    status, out, err = run(capsys, *FIT_ROOM, "--max-evaluations", "2", "--json")
    assert status == 3 and json.loads(out)["converged"] is False
    assert "did not converge" in json.loads(out)["warnings"][0]
    assert "warning: the fit of BirchMurnaghan3 did not converge" in err
    assert run(capsys, *FIT_ROOM, "--max-evaluations", "2", "--allow-warnings")[0] == 0


@pytest.mark.parametrize(("argv", "status", "message"), [
    (["fit", ROOM, "--eos", "bm3"], 1, "give --pressure-sigma, one number"),
    ([*FIT_ROOM, "--errors", "all"], 1, "--errors all needs a thermal model"),
    ([*FIT_ROOM, "--bounds", "k0=:"], 2, "--bounds 'k0=:' is not NAME=LOWER:UPPER"),
    ([*FIT_ROOM, "--bounds", "k0=3:1"], 1, "--bounds k0 needs lower < upper"),
    ([*FIT_ROOM, "--volume-unit", "litre"], 2, "unknown volume unit 'litre'"),
    ([*FIT_ROOM, "--bounds", "k0=300:310", "--param", "k0=200"], 2,
     "the starting value k0=200 lies outside --bounds k0=300:310"),
])
def test_fit_hints_name_the_flags(capsys, argv, status, message):
    code, _, err = run(capsys, *argv)
    assert (code, err.count("\n")) == (status, 1) and message in err


def test_bounds_hold_the_fit(capsys):
    status, out, _ = run(capsys, *FIT_ROOM, "--bounds", "k0=300:310", "k0_prime=:9", "--json",
                         "--allow-warnings")
    parameters = json.loads(out)["parameters"]
    assert status == 0 and 300.0 <= parameters["k0"]["value"] <= 310.0


def test_a_thermal_fit_reads_v0_in_the_datas_volume_unit(capsys, tmp_path):
    # Å³ per cell of four MgO: v0 typed as the cell volume, not in J/bar.
    import numpy as np

    from barometra import MieGruneisenDebye
    from barometra.data import Dataset, write_csv

    truth = MieGruneisenDebye(reference=BM3(v0=74.698, k0=160.2, k0_prime=3.99), tr=300.0,
                              theta0=773.0, gamma0=1.5, q=1.5, n=2, volume_unit="Å3/cell",
                              formula_units=4)
    volume, temperature = (np.tile(np.linspace(62.0, 74.0, 6), 3),
                           np.repeat([300.0, 1200.0, 2000.0], 6))
    write_csv(Dataset(pressure=truth.pressure(volume, temperature), volume=volume,
                      temperature=temperature, pressure_sigma=np.full(18, 0.1)),
              tmp_path / "mgo.csv")
    status, out, _ = run(capsys, "fit", str(tmp_path / "mgo.csv"), "--eos", "bm3", "--thermal",
                         "mie-gruneisen-debye", "--formula-units", "4", "--param", "v0=74.698",
                         "theta0=700", "n=2", "--fix", "v0", "--json")
    result = json.loads(out)
    assert status == 0 and result["parameters"]["k0"]["value"] == pytest.approx(160.2, rel=1e-6)
    assert result["fixed"]["v0"] == 74.698 and result["units"]["volume"] == "Å³/cell"
