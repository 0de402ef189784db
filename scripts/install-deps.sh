#!/usr/bin/env bash
# Installs what Tidewell needs on Debian 12: to build and run it, and with
# --test also what its tests need.
# Only asks apt when something is missing, so a second run costs nothing.
set -euo pipefail

# To build the programs and their Debian package, and to run them (libqt6svg6
# draws the window's icon).
packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev libpcre2-dev nlohmann-json3-dev libcli11-dev libmimalloc-dev liburing-dev libical-dev
  libcurl4-openssl-dev
  libqt6svg6
  dpkg-dev
)

# Only for the tests, the benchmarks, the fuzzers and the package check:
# test frameworks, the peers and servers the end-to-end tests talk to, and
# the tools they check the programs and the package with.
test_packages=(
  libgtest-dev libgmock-dev libbenchmark-dev
  python3 python3-vobject khard khal todoman vdirsyncer
  curl openssl radicale xandikos python3-caldav
  locales time xauth xvfb x11-utils strace
  lintian bash-completion man-db appstream desktop-file-utils zsh fish
  clang libclang-rt-14-dev
)

case "${1-}" in
  --test) packages+=("${test_packages[@]}") ;;
  "") ;;
  *)
    echo "Usage: $0 [--test]" >&2
    exit 2
    ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  as_root=()
  [ "$(id -u)" -eq 0 ] || as_root=(sudo)
  "${as_root[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
