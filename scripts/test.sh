#!/usr/bin/env bash
# Sets up and runs every test: the C++ core (plain and sanitized) and the
# Python package on each available interpreter, and the wheel: built from the
# sdist, installed and run where no compiler is.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/test_cpp.sh
bash scripts/test_python.sh
bash scripts/check_wheel.sh
