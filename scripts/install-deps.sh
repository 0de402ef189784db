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
  libcurl4-openssl-dev libexpat1-dev
  libqt6svg6
  dpkg-dev
)

# Only for the tests, the benchmarks, the fuzzers and the package check:
# test frameworks, the peers and servers the end-to-end tests talk to, and
# the tools they check the programs and the package with.
test_packages=(
  libgtest-dev libgmock-dev libbenchmark-dev
  python3 python3-vobject khard khal todoman vdirsyncer
  curl openssl radicale xandikos python3-caldav jq
  locales time xauth xvfb x11-utils strace
  lintian bash-completion man-db appstream desktop-file-utils zsh fish
  clang libclang-rt-14-dev
)

# Servers the end-to-end tests start on loopback ports of their own: Cyrus IMAP's CalDAV/CardDAV
# and sabre/dav under PHP's built-in web server.
test_packages+=(
  cyrus-imapd cyrus-caldav sasl2-bin
  php-sabre-dav php-cli php-sqlite3
)
# The system services Debian starts when these install (package:service); the tests never use
# them.
test_server_services=(cyrus-imapd:cyrus-imapd sasl2-bin:saslauthd)

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

# A server installed here for the tests only must not run on the machine: stop the services its
# package started and keep them from starting at boot. One the machine already had is left
# alone.
if ((${#missing[@]})); then
  for pair in "${test_server_services[@]}"; do
    package=${pair%%:*} service=${pair#*:}
    [[ " ${missing[*]} " == *" $package "* ]] || continue
    [ -e "/etc/init.d/$service" ] || [ -e "/lib/systemd/system/$service.service" ] || continue
    if [ -d /run/systemd/system ]; then
      "${as_root[@]}" systemctl disable --now "$service" || true
    else
      "${as_root[@]}" service "$service" stop || true
      "${as_root[@]}" update-rc.d "$service" disable || true
    fi
  done
fi
