#!/usr/bin/env bash
# Installs what Tidewell needs to build, test and run on Debian 12.
# Only asks apt when something is missing, so a second run costs nothing.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev libpcre2-dev nlohmann-json3-dev libcli11-dev libmimalloc-dev liburing-dev libical-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  python3 python3-vobject khard khal todoman
  libcurl4-openssl-dev curl openssl radicale xandikos python3-caldav vdirsyncer
  locales time xauth xvfb strace
  dpkg-dev bash-completion man-db appstream desktop-file-utils zsh fish
  clang libclang-rt-14-dev
)

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
