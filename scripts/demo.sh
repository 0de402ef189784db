#!/usr/bin/env bash
# Sets up Tidewell and runs a replace on a copy of the demo store in one
# command: the phone fields of the contacts, area codes only, "555" becomes
# "777". Prints the preview's change lines, the folder label, the run's log
# lines and the diff of one changed file.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
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

echo
echo "== The run: its folder label"
$tidewell "${run[@]}"

echo
echo "== Log lines of the run ($XDG_STATE_HOME/Marrowby/activity.jsonl)"
/usr/bin/python3 - "$XDG_STATE_HOME/Marrowby/activity.jsonl" <<'PY'
import json, sys
for line in open(sys.argv[1], encoding="utf-8"):
    r = json.loads(line)
    mark = "undo " if r["undo"] else ""
    print(f'{r["time"]}  {mark}{r["procedure"]}: {r["message"]}')
PY

echo
echo "== One changed file"
changed=$( (diff -rq samples/store/contacts "$work/store/contacts" || true) | awk 'NR==1 {print $2}')
diff -u "$changed" "$work/store/contacts/$(basename "$changed")" || true
echo
echo "The changed store is in $work/store"
