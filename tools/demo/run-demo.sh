#!/usr/bin/env bash
# The end-to-end demo, narrated: a sample product under Wine is backed up, updated, left half-done
# by a crash, examined, and rolled back. Exits 0 only when the install directory is byte for byte
# what it was before the update (and, when the service stand-in is built, the service was told).
#   tools/demo/run-demo.sh BUILD_DIR
set -uo pipefail

build=$(cd "${1:-build}" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
bin="$build/bin"
for needed in mivractl.exe mivra.dll make_sample_product.exe prdinf.dll LBLRES.DLL; do
  if [ ! -f "$bin/$needed" ]; then
    echo "run-demo: $bin/$needed is missing; build first (make build)" >&2
    exit 1
  fi
done

source "$root/tools/wine-env.sh" "$build"
unset MIVRA_STANDIN_RPI_RESULT MIVRA_STANDIN_COMPANY MIVRA_STANDIN_PRODUCT MIVRA_STANDIN_RPI_CALLS \
      MIVRA_STANDIN_NTFHUB MIVRA_STANDIN_NTFHUB_LOG

drive="$WINEPREFIX/drive_c"
install_win='C:\Corvane\'
install="$drive/Corvane"
common_win='C:\Program Files\Common Files'
base_win="$common_win\\Kestrivane Technologies\\Corvane"
report_win='C:\corvane-service-report.txt'
report="$drive/corvane-service-report.txt"
trace_win='C:\corvane-rollback-trace.log'
trace="$drive/corvane-rollback-trace.log"
scratch=$(mktemp -d)
service_pid=""
cleanup() {
  rm -rf "$scratch"
  if [ -n "$service_pid" ]; then kill "$service_pid" 2>/dev/null || true; fi
  # Run by the test suite, the demo shares the suite's wineserver and leaves it running.
  if [ -z "${MIVRA_DEMO_SHARED_WINESERVER:-}" ]; then wineserver -k >/dev/null 2>&1 || true; fi
}
trap cleanup EXIT

step() { printf '\n== %s\n' "$*"; }
say() { printf '%s\n' "$*" | fold -s -w 100 | sed 's/ *$//'; }
# Runs mivractl.exe and shows its command line and output, indented.
ctl() {
  printf '$ mivractl %s\n' "$*"
  wine "$bin/mivractl.exe" "$@" 2>&1 | tr -d '\r' | sed 's/^/    /'
  return "${PIPESTATUS[0]}"
}
must() {
  ctl "$@"
  local status=$?
  if [ "$status" -ne 0 ]; then
    echo "run-demo: mivractl $1 failed with exit status $status; the demo stops here" >&2
    exit 1
  fi
}

declare -A before updated restored
# Fills the named array with name -> MD5 of every file in the install directory.
snapshot() {
  local -n into=$1
  into=()
  local file
  for file in "$install"/*; do
    [ -f "$file" ] && into["$(basename "$file")"]=$(md5sum <"$file" | cut -c1-32)
  done
}
# Rewrites a file's content but keeps its last-write time, as a torn write can.
damage_keeping_time() {
  cp -p "$1" "$scratch/reference"
  printf 'torn write' | dd of="$1" bs=1 seek=4096 conv=notrunc status=none
  touch -r "$scratch/reference" "$1"
}
new_version() {  # name: writes the update's version of a file
  { printf 'Corvane 4.2 %s\r\n' "$1"; head -c $((20000 + ${#1} * 977)) "$install/CORVSIG.DAT"; } >"$install/$1"
}

main() {
  step "1. The installed product"
  rm -rf "$install" "$drive/Program Files/Common Files/Kestrivane Technologies" \
         "$drive/Program Files/Common Files/Kestrivane Labels" "$report" "$trace"
  wine "$bin/make_sample_product.exe" "$install_win" || { echo "run-demo: cannot write the sample product" >&2; exit 1; }
  cp "$bin/prdinf.dll" "$bin/LBLRES.DLL" "$install/"
  wine reg add 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\Corvane.exe' /v Path /t REG_SZ \
    /d "$install_win" /f >/dev/null 2>&1 || { echo "run-demo: cannot register the install directory" >&2; exit 1; }
  say "Corvane is installed in $install_win ($(ls "$install" | wc -l) files), registered under the App Paths key" \
      "of Corvane.exe. prdinf.dll tells the library the company and product names; updtconf.dat and" \
      "0000002a_compns.lst name the files a component may change on its own."
  must status
  must inspect "${install_win}0000002a_compns.lst"
  snapshot before

  replaced=(CORVANE.EXE CORVCORE.DLL CORVUI.DLL VENTRAEX.EXT CORVHELP.CHM CORVANE.INI)
  deleted=(CORVOLD.DLL README.TXT)
  added=(CORVSYNC.DLL CORVSYNC.DAT CORVNEWS.TXT)

  step "2. Before the update: a backup of every file it will touch"
  say "The update replaces ${#replaced[@]} files, deletes ${#deleted[@]} and adds ${#added[@]}. Files that do not" \
      "exist yet are recorded as absent, so that a rollback deletes them."
  must backup --commit "${replaced[@]}" "${deleted[@]}" "${added[@]}"
  must list
  must inspect "$base_win\\bkup\\bkmdata.dat" --verify

  step "3. The update"
  must mark-status 1
  say "Status 1: an update is under way. The updater now replaces, deletes and adds files."
  for name in "${replaced[@]}" "${added[@]}"; do new_version "$name"; done
  for name in "${deleted[@]}"; do rm -f "$install/$name"; done
  must register "${replaced[@]}" "${added[@]}"
  snapshot updated

  step "4. A crash"
  if [ -f "$bin/notify_service.exe" ]; then
    # The product's service waits for the library to tell it about a rollback.
    wine "$bin/notify_service.exe" "$report_win" 120000 >/dev/null 2>&1 </dev/null &
    service_pid=$!
  fi
  say "The updater dies before it stores status 2. Its last write to CORVCORE.DLL was torn (same size and" \
      "time, other bytes); it leaves a temporary file behind and loses CORVSYNC.DAT. Meanwhile the help" \
      "component refreshed CORVHELP.CHM (time kept) and someone edited CORVANE.INI."
  damage_keeping_time "$install/CORVCORE.DLL"
  damage_keeping_time "$install/CORVHELP.CHM"
  printf 'half a file' >"$install/kvupd00C0DE.tmp"
  rm -f "$install/CORVSYNC.DAT"
  sleep 1
  printf 'Scan=hourly\r\n' >>"$install/CORVANE.INI"
  must status
  must inspect "$base_win\\rbmdata.dat"
  must query --interrupted
  must query --changed
  must explain

  step "5. The rollback"
  say "Traced: the library writes each step of the rollback to $trace_win."
  must --trace "$trace_win" rollback
  if [ -n "$service_pid" ]; then
    for _ in $(seq 60); do kill -0 "$service_pid" 2>/dev/null || break; sleep 0.5; done
    kill "$service_pid" 2>/dev/null || true
    wait "$service_pid" 2>/dev/null || true
    service_pid=""
    notified=$(tr -d '\r' <"$report" 2>/dev/null || echo "no answer")
    say "The service stand-in reports: $notified"
  else
    notified="notified"
    say "notify_service.exe is not built; the service's notification is not observed."
  fi
  say "What the library did, step by step, from its trace:"
  must log "$trace_win"
  must status
  must query
  snapshot restored

  step "6. Every file: before the update, after it, after the rollback"
  local -A names=()
  local name
  for name in "${!before[@]}" "${!updated[@]}" "${!restored[@]}"; do names["$name"]=1; done
  printf '%-20s %-10s %-10s %-10s %s\n' file before update rollback identical
  local identical=yes
  for name in $(printf '%s\n' "${!names[@]}" | sort); do
    local b="${before[$name]:--}" u="${updated[$name]:--}" r="${restored[$name]:--}"
    local same=yes
    [ "$b" = "$r" ] || { same=no; identical=no; }
    printf '%-20s %-10s %-10s %-10s %s\n' "$name" "${b:0:8}" "${u:0:8}" "${r:0:8}" "$same"
  done
  printf '(first 8 hex digits of each MD5; -: no such file)\n'

  if [ "$identical" = yes ] && [ "$notified" = notified ]; then
    step "The install directory is byte for byte as before the update."
    return 0
  fi
  [ "$identical" = yes ] || step "FAILED: the install directory differs from before the update."
  [ "$notified" = notified ] || step "FAILED: the service was not notified ($notified)."
  return 1
}

main
