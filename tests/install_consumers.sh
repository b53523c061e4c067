#!/bin/bash
# Installs the built library into a temporary prefix and builds hosts against
# it as users do: the README's C example through pkg-config as strict C99,
# the same example and the README's C++ example through find_package(ZRUtils),
# and the README's Python example over ctypes. Each runs on a copy of the
# bundled sample and must print what the README shows under it.
#
# usage: install_consumers.sh BUILD_DIR SOURCE_DIR WORK_DIR C_COMPILER CXX_COMPILER [SANITIZE]
# SANITIZE: the build's sanitizers; the hosts are built with them too, and the
# Python example is left out (a sanitized library cannot be loaded into a
# plain interpreter).
set -euo pipefail
build=$1 source=$2 work=$3 cc=$4 cxx=$5 sanitize=${6:-}

rm -rf "$work"
mkdir -p "$work/examples" "$work/run/samples"
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log"

# The README's examples: a fenced block right after "<!-- example: NAME -->"
# is written to NAME, one after "<!-- output: NAME -->" to NAME.out.
awk -v dir="$work/examples" '
  /^<!-- (example|output): [^ ]+ -->$/ {
    file = dir "/" $3; if ($2 == "output:") file = file ".out"; pending = 1; next }
  pending && /^```/ { pending = 0; inside = 1; printf "" > file; next }
  inside && /^```$/ { inside = 0; close(file); next }
  inside { print > file }
' "$source/README.md"
for name in example.c example.cpp example.py; do
  for f in "$name" "$name.out"; do
    [ -s "$work/examples/$f" ] || { echo "README.md has no block for $f"; exit 1; }
  done
done
(cd "$prefix/include" && find zrutils -name '*.h' | sort |
  sed 's|.*|#include <&>|') >"$work/examples/all_headers.cpp"

cp -r "$source/samples/naturalearth" "$work/run/samples/"
san_flags=()
[ -z "$sanitize" ] || san_flags=("-fsanitize=$sanitize")
pc_dir=$(dirname "$(find "$prefix" -name zrutils.pc)")
libdir=$(PKG_CONFIG_PATH=$pc_dir pkg-config --variable=libdir zrutils)

# Runs a host in the sample folder and compares its output with the README's.
check() {
  local name=$1; shift
  (cd "$work/run" && LD_LIBRARY_PATH=$libdir "$@") >"$work/$name.actual"
  if ! diff -u "$work/examples/$name.out" "$work/$name.actual"; then
    echo "FAIL: $name prints other than README.md shows"; exit 1
  fi
  echo "ok: $name"
}

# C99, the C header only, through pkg-config.
cflags=$(PKG_CONFIG_PATH=$pc_dir pkg-config --cflags --libs zrutils)
# shellcheck disable=SC2086
"$cc" -std=c99 -pedantic -Wall -Werror "${san_flags[@]}" "$work/examples/example.c" \
  $cflags -o "$work/c99_host"
check example.c "$work/c99_host"

# C and C++ through the CMake package, with the build's compilers.
cmake -S "$source/tests/install_consumer" -B "$work/consumer" -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_PREFIX_PATH="$prefix" \
  -DEXAMPLES="$work/examples" -DCMAKE_C_FLAGS="${san_flags[*]}" \
  -DCMAKE_CXX_FLAGS="${san_flags[*]}" >"$work/consumer.log"
cmake --build "$work/consumer" -j2 >>"$work/consumer.log"
check example.c "$work/consumer/c_host"
check example.cpp "$work/consumer/cxx_host"

if [ -z "$sanitize" ] && [ -x /usr/bin/python3 ]; then
  check example.py /usr/bin/python3 "$work/examples/example.py"
else
  echo "skipped: example.py (sanitized library)"
fi
