#!/usr/bin/env bash
# Installs what the library needs, builds it, and runs the demo host on the
# bundled sample data (a copy of it, so the samples stay as they are).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build-demo -DCMAKE_BUILD_TYPE=Release -DZRU_BUILD_TESTS=OFF \
      -DZRU_BUILD_BENCH=OFF >/dev/null
cmake --build build-demo -j2 >/dev/null
mkdir -p build-demo/data
cp samples/lists/streets.txt build-demo/data/streets.txt
echo "== lists: look up street names, adding new ones, in build-demo/data/streets.txt"
build-demo/tools/zru_demo build-demo/data/streets.txt "High Street" "Acacia Avenue" \
  "  Mill Lane  " "Acacia Avenue"
echo "== the list file written back:"
cat build-demo/data/streets.txt
