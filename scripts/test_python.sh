#!/usr/bin/env bash
# Builds and installs barometra (pip install .[test]) into a fresh virtual
# environment and runs the Python tests and mypy --strict over the package,
# first with python3 and then with a second CPython >= 3.13 when one is
# installed (pyenv's versions, or python3.13+ on PATH): against its headers
# the module's "GIL not used" slot is compiled in. Exits non-zero on any failure; says which interpreters ran.
set -euo pipefail
cd "$(dirname "$0")/.."

# Others compile on the same machine: two jobs at most.
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-2}
export PIP_DISABLE_PIP_VERSION_CHECK=1

primary=${PYTHON:-python3}
command -v "$primary" >/dev/null 2>&1 || { echo "no $primary on PATH" >&2; exit 1; }
primary=$(command -v "$primary")

version_of() { "$1" -c 'import sys, sysconfig; print("%d.%d.%d%s" % (sys.version_info[:3] + ("t" if sysconfig.get_config_var("Py_GIL_DISABLED") else "",)))'; }

# The newest CPython >= 3.13 other than the primary one, if any.
find_second() {
  local candidates=() root
  if command -v pyenv >/dev/null 2>&1; then root=$(pyenv root); else root=${PYENV_ROOT:-$HOME/.pyenv}; fi
  for python in "$root"/versions/*/bin/python3 $(compgen -c python3. 2>/dev/null | sort -u); do
    python=$(command -v "$python" 2>/dev/null) || continue
    [ -x "$python" ] && candidates+=("$python")
  done
  local best="" best_key=""
  local primary_real; primary_real=$(readlink -f "$("$primary" -c 'import sys; print(sys.executable)')")
  for python in "${candidates[@]}"; do
    local key
    key=$("$python" -c 'import sys, platform
if platform.python_implementation() == "CPython" and sys.version_info >= (3, 13):
    print("%05d%05d%05d" % sys.version_info[:3])' 2>/dev/null) || continue
    [ -n "$key" ] || continue
    [ "$(readlink -f "$("$python" -c 'import sys; print(sys.executable)')")" = "$primary_real" ] && continue
    if [[ -z "$best" || "$key" > "$best_key" ]]; then best=$python; best_key=$key; fi
  done
  echo "$best"
}

ran=()
run_suite() {
  local python=$1 venv=$2 version
  version=$(version_of "$python")
  echo "== Python tests on CPython $version ($python) in $venv =="
  rm -rf "$venv"
  "$python" -m venv "$venv"
  "$venv/bin/python" -m pip install -q ".[test]"
  "$venv/bin/python" -m pytest -q tests/python
  echo "== mypy --strict src/barometra on CPython $version =="
  "$venv/bin/python" -m mypy --strict src/barometra
  ran+=("CPython $version ($python)")
}

run_suite "$primary" .venv-test
second=$(find_second)
if [ -n "$second" ]; then
  run_suite "$second" .venv-test-second
else
  echo "== no second CPython >= 3.13 found: skipped =="
fi

echo "== Python tests passed on: =="
printf '   %s\n' "${ran[@]}"
