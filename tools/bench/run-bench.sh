#!/usr/bin/env bash
# Runs every benchmark figure: the byte-level cores natively, the exports under Wine.
#   tools/bench/run-bench.sh CROSS_BUILD_DIR NATIVE_BENCH_BUILD_DIR
# Sizes and rounds come from the environment (defaults in brackets): MIVRA_BENCH_ROUNDS [5 native,
# 3 Wine], MIVRA_BENCH_CRC_MIB [64], MIVRA_BENCH_MD5_MIB [256], MIVRA_BENCH_LARGE_MIB [256],
# MIVRA_BENCH_ADD_FILES [3000], MIVRA_BENCH_ADD_ROUNDS [3], MIVRA_BENCH_ROLLBACK_FILES [1000 and 3000],
# MIVRA_BENCH_ROLLBACK_MIB [256], MIVRA_BENCH_QUERY_FILES [1000], MIVRA_BENCH_QUERY_KIB [64],
# MIVRA_BENCH_QUERY_ROUNDS [5].
set -euo pipefail
build=${1:-build}
native=${2:-build/bench}
root=$(cd "$(dirname "$0")/../.." && pwd)

"$native/tools/bench/mivra_bench_cores"

source "$root/tools/wine-env.sh" "$build"
# Each figure line ends with its goal, where it has one, and whether the median meets it. The
# rollback runs at 1000 and at 3000 files, or only at MIVRA_BENCH_ROLLBACK_FILES when set.
if [ -n "${MIVRA_BENCH_ROLLBACK_FILES:-}" ]; then rollbacks=("$MIVRA_BENCH_ROLLBACK_FILES"); else rollbacks=(1000 3000); fi
figure() {
  # Only the figures: the library's own messages on standard output are not one.
  wine "$build/bin/mivra_bench.exe" "$@" | tr -d '\r' | sed -n '/^[PM][0-9 ]/p'
}
figure add-large
figure adds
for files in "${rollbacks[@]}"; do figure rollback "$files"; done
figure query
