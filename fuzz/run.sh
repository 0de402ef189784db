#!/usr/bin/env bash
# Builds the fuzz preset and runs each libFuzzer target (or the ones named)
# for SECONDS (default 30), one after the other. Exits non-zero when any target finds a crash, a
# leak, a timeout, running out of memory or a sanitizer report; the input
# that did it is kept in build/fuzz/artifacts/<target>/.
#
#   bash fuzz/run.sh [SECONDS [TARGET...]]
#   bash fuzz/run.sh replay [TARGET...]   # every seed and learnt input once, no new ones
#
# Seeds: the vCard and iCalendar files of tests/data/corpus for vcard_fuzz
# and icalendar_fuzz, fuzz/seeds/<target> for the others; fuzz/dicts/<target>.dict gives each the words of its syntax. What a target learns stays in build/fuzz/corpus/<target> and seeds
# its next run.
set -euo pipefail

seconds=${1:-30}
limit=(-max_total_time="$seconds")
if [[ $seconds == replay ]]; then
  limit=(-runs=0)
elif ! [[ $seconds =~ ^[0-9]+$ ]] || ((seconds == 0)); then
  echo "usage: $0 [SECONDS|replay [TARGET...]]" >&2
  exit 2
fi

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
corpus="$root/tests/data/corpus"
cd "$root"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j 2

out=build/fuzz
targets=(vcard_fuzz icalendar_fuzz pattern_fuzz rich_text_fuzz)
if (($# > 1)); then
  targets=("${@:2}")
fi

# Fills the read-only seed folder of one target.
seed() {
  local target=$1 dir=$out/seeds/$1
  rm -rf "$dir"
  mkdir -p "$dir"
  case $target in
    vcard_fuzz | icalendar_fuzz)
      local ext=vcf
      [[ $target == icalendar_fuzz ]] && ext=ics
      find "$corpus" -type f -name "*.$ext" -exec cp {} "$dir/" \;
      ;;
    *)
      cp "$here/seeds/$target"/* "$dir/"
      ;;
  esac
}

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

failed=()
for target in "${targets[@]}"; do
  seed "$target"
  mkdir -p "$out/corpus/$target" "$out/artifacts/$target" "$out/logs"
  log=$out/logs/$target.log
  echo "== $target: $seconds"
  status=0
  "$out/fuzz/$target" "$out/corpus/$target" "$out/seeds/$target" -dict="$here/dicts/$target.dict" \
    "${limit[@]}" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$out/artifacts/$target/" >"$log" 2>&1 || status=$?
  grep -E '^(#[0-9]+ +DONE|stat::number_of_executed_units|stat::average_exec_per_sec|stat::peak_rss_mb)' "$log" || true
  echo "   corpus: $(find "$out/corpus/$target" -type f | wc -l) inputs"
  if ((status != 0)) || grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:' "$log"; then
    echo "!! $target failed (exit $status); see $log" >&2
    grep -E -m 5 -B 2 -A 12 'ERROR: |runtime error:|\*\*\* ' "$log" >&2 || true
    failed+=("$target")
  fi
done

if ((${#failed[@]})); then
  echo "fuzzing found faults in: ${failed[*]}" >&2
  exit 1
fi
echo "fuzzing: no faults in ${#targets[@]} targets"
