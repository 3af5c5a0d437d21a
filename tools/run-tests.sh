#!/usr/bin/env bash
# Runs every test: the cross-built ones under Wine in the build's own prefix, the native ones directly.
set -euo pipefail
build=${1:-build}
native=${2:-build/native}
source "$(dirname "$0")/wine-env.sh" "$build"

status=0
ctest --test-dir "$build" --output-on-failure -j 2 || status=1
ctest --test-dir "$native" --output-on-failure -j 2 || status=1
exit $status
