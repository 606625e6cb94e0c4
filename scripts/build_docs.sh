#!/usr/bin/env bash
# Builds the documentation site into build/docs/html and runs the examples of
# its pages (the docstrings' own run under pytest), warnings as errors and
# every cross-reference checked. Exits non-zero on any warning or failure.
#
# By default barometra and the docs extra are installed into a fresh
# .venv-docs. DOCS_VENV=<venv> builds with an environment in which barometra
# is installed already (scripts/test.sh passes the one its Python tests just
# built): only the docs extra's packages are added to it.
set -euo pipefail
cd "$(dirname "$0")/.."

export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-2}
export PIP_DISABLE_PIP_VERSION_CHECK=1

# Reading the extra's list from pyproject.toml takes tomllib (Python 3.11+).
if [ -n "${DOCS_VENV:-}" ] && "$DOCS_VENV/bin/python" -c "import tomllib" 2>/dev/null; then
  venv=$DOCS_VENV
  "$venv/bin/python" -c "import barometra" || { echo "barometra is not installed in $venv" >&2; exit 1; }
  # The docs extra as pyproject.toml lists it, without rebuilding the package.
  mapfile -t extra < <("$venv/bin/python" -c '
import tomllib
with open("pyproject.toml", "rb") as file:
    print("\n".join(tomllib.load(file)["project"]["optional-dependencies"]["docs"]))')
  "$venv/bin/python" -m pip install -q "${extra[@]}"
else
  venv=.venv-docs
  rm -rf "$venv"
  "${PYTHON:-python3}" -m venv "$venv"
  "$venv/bin/python" -m pip install -q ".[docs]"
fi

out=build/docs
rm -rf "$out"
echo "== docs: html =="
"$venv/bin/python" -m sphinx -W --keep-going -q -b html docs "$out/html"
echo "== docs: examples of the pages =="
"$venv/bin/python" -m sphinx -W --keep-going -q -b doctest docs "$out/doctest"
echo "== docs built: $out/html/index.html =="
