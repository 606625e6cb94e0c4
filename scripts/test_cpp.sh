#!/usr/bin/env bash
# Builds the C++ core and its GoogleTest suite, runs it with ctest, then runs it
# once more under AddressSanitizer and UndefinedBehaviorSanitizer, with the
# asserts checked (BAROMETRA_SANITIZE undefines NDEBUG).
set -euo pipefail
cd "$(dirname "$0")/.."

if ! dpkg -s libgtest-dev >/dev/null 2>&1; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq libgtest-dev
fi
command -v cmake >/dev/null 2>&1 || python3 -m pip install -q cmake
command -v ninja >/dev/null 2>&1 || python3 -m pip install -q ninja

jobs=$(nproc 2>/dev/null || echo 2)

run_suite() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja -DBAROMETRA_BUILD_TESTS=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

echo "== C++ tests (Release) =="
run_suite build/cpp-release -DCMAKE_BUILD_TYPE=Release
echo "== C++ tests (AddressSanitizer + UndefinedBehaviorSanitizer, asserts on) =="
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_suite build/cpp-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBAROMETRA_SANITIZE=ON
