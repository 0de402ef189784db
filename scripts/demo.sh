#!/usr/bin/env bash
# Sets up Tidewell and runs a replace on a copy of the demo store in one
# command: the phone fields of the contacts, area codes only, "555" becomes
# "777". Prints the preview's change lines, what the run updated and the diff
# of one changed contact. Installs only what the build needs (not what the
# tests need) and builds only the terminal program.
set -euo pipefail
cd "$(dirname "$0")/.."
# apt's own lines go to a log: on a fresh machine they would bury the demo.
setup_log=$(mktemp)
bash scripts/install-deps.sh >"$setup_log" 2>&1 || { cat "$setup_log"; exit 1; }
grep '^Installing:' "$setup_log" || true
cmake --preset ci >/dev/null
cmake --build --preset ci --target tidewell

work=$(mktemp -d)
cp -r samples/store "$work/store"
export XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state"
tidewell=build/ci/tidewell

run=(--store "$work/store" replace --yes --search 555 --replace 777 --folder Contacts
     --fields phone --area-codes-only)

echo "== What the run would change (a preview: nothing is written)"
$tidewell "${run[@]}" --dry-run

echo "== The run"
$tidewell "${run[@]}" | tail -n 1

# The contact with the fewest changed lines shows them best.
shown= shown_lines=0
for after in "$work"/store/contacts/*.vcf; do
  lines=$(diff -u "samples/store/contacts/${after##*/}" "$after" | wc -l || true)
  if ((lines > 0)) && { [ -z "$shown" ] || ((lines < shown_lines)); }; then
    shown=$after shown_lines=$lines
  fi
done
echo "== One changed contact (the changed store is in $work/store)"
diff -u "samples/store/contacts/${shown##*/}" "$shown" || true
