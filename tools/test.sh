#!/usr/bin/env bash
# Installs what the tests need, then builds and runs the whole suite three
# ways: under AddressSanitizer + UndefinedBehaviorSanitizer, the concurrency
# tests under ThreadSanitizer, and a plain optimised build, whose CTest
# summary ends the output. Any failure or sanitizer report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh --tests

export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

build() {  # build DIR CMAKE-ARGS...
  local dir=$1; shift
  cmake -S . -B "$dir" "$@" >/dev/null
  cmake --build "$dir" -j2
}

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
build build-asan -DCMAKE_BUILD_TYPE=Debug -DZRU_SANITIZE=address,undefined \
  -DZRU_BUILD_BENCH=OFF
(cd build-asan && ctest -j2 --output-on-failure)

echo "== ThreadSanitizer (concurrency tests)"
build build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZRU_SANITIZE=thread \
  -DZRU_BUILD_BENCH=OFF
(cd build-tsan && ctest -j2 -R Concurrency --output-on-failure)

echo "== Release build, whole suite"
build build -DCMAKE_BUILD_TYPE=RelWithDebInfo
(cd build && ctest -j2 --output-on-failure)
