#!/usr/bin/env bash
# Sets up a virtual environment with barometra built from this checkout and
# runs its demonstration, python -m barometra (the command line without a
# subcommand): the three bundled published datasets refitted as published and
# with latent volumes, each parameter printed beside its published value, then
# the fitted bridgmanite model in use.
set -euo pipefail
cd "$(dirname "$0")/.."
venv=.venv
[ -x "$venv/bin/python" ] || python3 -m venv "$venv"
"$venv/bin/python" -m pip install -q --upgrade pip
"$venv/bin/python" -m pip install -q .
"$venv/bin/python" -m barometra
