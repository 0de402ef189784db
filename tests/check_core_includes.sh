#!/bin/sh
# Fails when a core source includes anything but the standard library, the
# platform interfaces (platform/*.h) or another core header.
src=${1:?usage: check_core_includes.sh SRC_DIR}
bad=$(grep -n '#include "' "$src"/page/* "$src"/fields/* "$src"/engine/* "$src"/journal/* 2>/dev/null |
  grep -Ev '#include "(platform/[a-z_]+\.h|page/[a-z_]+\.h|fields/[a-z_]+\.h|engine/[a-z_]+\.h|journal/[a-z_]+\.h)"')
if [ -n "$bad" ]; then
  echo "Core sources include what the core may not see:"
  echo "$bad"
  exit 1
fi
echo "core includes: standard library and platform interfaces only"
