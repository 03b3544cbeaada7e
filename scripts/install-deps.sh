#!/usr/bin/env bash
# Installs the Debian packages Orvex needs to build, test and run, when any is missing.
# Uses sudo when not run as root. Safe to run again: it does nothing when all is there.
set -euo pipefail

packages=(
  build-essential cmake pkg-config clang-format locales ccache
  libgtest-dev libgmock-dev libbenchmark-dev
  libgdal-dev gdal-bin libgeos-dev libproj-dev proj-data
  mdbtools mdbtools-dev
  libcli11-dev libfmt-dev nlohmann-json3-dev
  libcairo2-dev help2man chromium dpkg-dev file
  clang libclang-rt-14-dev
  qgis libqgis-dev python3-qgis qtbase5-dev libqt5xml5 xvfb xauth
  python3-dev python3-pybind11 python3-numpy python3-distributed python3-pytest python3-gdal
  python3-geopandas
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing missing packages: ${missing[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The numeric suites also run under a decimal-comma locale.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  if [ -f /etc/locale.gen ]; then
    as_root sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
    as_root locale-gen >/dev/null || echo "note: could not generate de_DE.UTF-8; locale tests will skip"
  fi
fi
