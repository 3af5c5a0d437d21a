#!/usr/bin/env bash
# Runs libFuzzer targets for a bounded time each: run-fuzz.sh <fuzz build> <seconds> <target>...
# Each target starts from a scratch copy of its committed seeds, so the corpus in the tree is not
# touched. Prints the number of runs of each target; exits non-zero when any target reports a
# finding (the input is kept under <fuzz build>/findings/<target>/).
set -euo pipefail
build=$1
seconds=$2
shift 2

declare -A seeds=([fuzz_update_config]=source/update/manifest/fuzz/corpus/update_config
                  [fuzz_component_list]=source/update/manifest/fuzz/corpus/component_list
                  [fuzz_bkmdata]=source/update/backup/fuzz/corpus/bkmdata
                  [fuzz_rbmdata]=source/update/rollbackdb/fuzz/corpus/rbmdata)

status=0
for target in "$@"; do
  binary=$(find "$build" -type f -name "$target" -perm -u+x | head -n 1)
  if [ -z "$binary" ]; then
    echo "$target: not built" >&2
    status=1
    continue
  fi
  scratch=$(mktemp -d)
  cp -r "${seeds[$target]}" "$scratch/corpus"
  findings="$build/findings/$target"
  rm -rf "$findings"
  mkdir -p "$findings"
  log="$build/$target.log"
  if "$binary" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$findings/" \
       "$scratch/corpus" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    echo "$target runs: ${runs:-unknown}"
  else
    echo "$target: finding, see $log and $findings" >&2
    tail -n 40 "$log" >&2
    status=1
  fi
  rm -rf "$scratch"
done
exit $status
