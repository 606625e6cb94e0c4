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
