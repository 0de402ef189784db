#!/bin/sh
# Fails when a core source includes anything but the standard library, the
# platform interfaces (platform/*.h) or another core header.
src=${1:?usage: check_core_includes.sh SRC_DIR}
bad=$(grep -n '#include "' "$src"/page/* "$src"/fields/* "$src"/engine/* "$src"/journal/* 2>/dev/null |
  grep -Ev '#include "(platform/[a-z_0-9]+\.h|page/[a-z_0-9]+\.h|fields/[a-z_0-9]+\.h|engine/[a-z_0-9]+\.h|journal/[a-z_0-9]+\.h)"')
if [ -n "$bad" ]; then
  echo "Core sources include what the core may not see:"
  echo "$bad"
  exit 1
fi
echo "core includes: standard library and platform interfaces only"
