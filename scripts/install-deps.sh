#!/usr/bin/env bash
# Installs the Debian packages the project needs:
#   scripts/install-deps.sh player   what building and running the player takes
#   scripts/install-deps.sh [all]    that, and everything the tests, benchmarks,
#                                    fuzzing and the PowerPC configuration need
# Safe to run again: when everything is present it only checks and returns,
# without touching the network.
set -euo pipefail

player_packages=(
  # build
  cmake ninja-build g++ pkg-config
  # host player and the platform's window, sound and picture back ends
  libsdl2-dev libcli11-dev libfmt-dev libkissfft-dev libpng-dev libsndfile1-dev nlohmann-json3-dev
)
test_packages=(
  # tests and benchmarks (GoogleTest sources are built again for PowerPC)
  libgtest-dev googletest libgmock-dev libbenchmark-dev
  # AIFF interoperability checks and the speed and length comparisons
  sox libsox-fmt-all sndfile-tools sndfile-programs libxmp-dev xmp openmpt123
  # fuzzing (libFuzzer comes with clang's runtime), and the format check
  clang libclang-rt-14-dev clang-format
  # coverage per product folder (scripts/coverage.sh)
  gcovr
  # the 32-bit big-endian PowerPC configuration
  qemu-user g++-powerpc-linux-gnu
  # window tests on a virtual display, and looking at captured frames
  xvfb xauth imagemagick
)

case ${1:-all} in
  player) packages=("${player_packages[@]}") ;;
  all) packages=("${player_packages[@]}" "${test_packages[@]}") ;;
  *) echo "usage: $0 [player|all]" >&2; exit 2 ;;
esac

# One dpkg-query for the lot keeps the common case (nothing to do) quick.
installed=$(dpkg-query -W -f='${Package} ${Status}\n' "${packages[@]}" 2>/dev/null |
            awk '$NF == "installed" { print $1 }' || true)
missing=()
for package in "${packages[@]}"; do
  grep -qx -- "$package" <<<"$installed" || missing+=("$package")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#packages[@]} packages present"
  exit 0
fi

echo "install-deps: missing ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: run this script as root to install them" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
echo "install-deps: updating the package lists"
apt-get update -qq
echo "install-deps: installing ${#missing[@]} packages"
apt-get install -y -qq "${missing[@]}" </dev/null
echo "install-deps: installed ${#missing[@]} packages"
