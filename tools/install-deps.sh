#!/usr/bin/env bash
# Installs the Debian packages that building and testing ZRUtils need.
# Runs apt-get as root, through sudo when not root already.
set -euo pipefail
as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }
export DEBIAN_FRONTEND=noninteractive
packages=(cmake make g++ binutils)
# libcli11-dev: the argument parser of the zru tool (header-only, build time).
packages+=(libcli11-dev)
if [ "${1:-}" = "--tests" ]; then
  # locales: a locale with a decimal comma, for the number-parsing tests.
  packages+=(libgtest-dev libgmock-dev libbenchmark-dev locales)
  # pkg-config: the installed package's test builds a host through zrutils.pc.
  packages+=(pkg-config)
  # libssl-dev: OpenSSL's SHA-1, an oracle in the tests and a peer in the benchmarks.
  packages+=(libssl-dev)
  # dnsmasq: a real DNS server the e-mail tests start as a peer.
  packages+=(dnsmasq-base)
  # Debian's Python and its packages: the Python package's tests (pyshp and
  # shapely read the shapes for GEOS, the oracle).
  packages+=(python3 python3-numpy python3-pandas python3-dask python3-distributed python3-pytest
             python3-shapely python3-pyshp)
  # The Python benchmark's peer (geopandas' spatial join needs rtree) and its plot.
  packages+=(python3-geopandas python3-rtree python3-matplotlib)
fi
as_root apt-get update -qq
as_root apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null
if [ "${1:-}" = "--tests" ] && ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  as_root localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
