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
echo "== zru, the command-line tool: the added street found in the list file"
build-demo/tools/zru/zru list search build-demo/data/streets.txt "Acacia Avenue"

# The countries of the world: a copy of the bundled Natural Earth set, whose
# grid index (".gos") is built beside the copy on the first open. The
# configuration file of this run has the shape files memory-mapped.
mkdir -p build-demo/data/naturalearth
cp samples/naturalearth/naturalearth_lowres.* build-demo/data/naturalearth/
rm -f build-demo/data/naturalearth/naturalearth_lowres.gos
printf 'ZRUtils/FileMapShapeFiles=Yes\n' > build-demo/data/morvel
echo "== point in shape: countries of well-known places, and queries per second"
MORVEL_CONFIG_FILE="$PWD/build-demo/data/morvel" build-demo/tools/zru_shape_demo \
  "$PWD/build-demo/data/naturalearth/naturalearth_lowres.shp"

# Count boundaries: the addresses around a point of the synthetic sample
# ARF, through the stand-in address-data library, which the loader finds
# by its name "libzrpaf.so" on LD_LIBRARY_PATH.
echo "== count boundaries: the addresses around a point, by ward, postcode and 300 m cell"
LD_LIBRARY_PATH="$PWD/build-demo/tools/zrpaf" build-demo/tools/zru_paf_demo \
  "$PWD/samples/arf/sample.arf" -27.4712 153.0281
