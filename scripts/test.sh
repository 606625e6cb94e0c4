#!/usr/bin/env bash
# Sets up and runs every test: the C++ core (plain and sanitized) and the
# Python package on each available interpreter, and the wheel: built from the
# sdist, installed and run where no compiler is. The documentation site is
# built with the environment of the Python tests, its examples run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/test_cpp.sh
bash scripts/test_python.sh
DOCS_VENV=.venv-test bash scripts/build_docs.sh
bash scripts/check_wheel.sh
