#!/usr/bin/env bash
# Runs the updater example built against the SDK on an installed product under Wine: afterwards
# the two files it replaced hold their old bytes again and the one it added is gone.
#   run_updater_example.sh BUILD_DIR EXAMPLE_EXE
set -uo pipefail
build=$(cd "$1" && pwd)
example=$2
unset MIVRA_STANDIN_RPI_RESULT MIVRA_STANDIN_COMPANY MIVRA_STANDIN_PRODUCT MIVRA_STANDIN_RPI_CALLS \
      MIVRA_STANDIN_NTFHUB MIVRA_STANDIN_NTFHUB_LOG
drive="$WINEPREFIX/drive_c"
install="$drive/mivra-example"
install_win='C:\mivra-example\'

rm -rf "$install" "$drive/Program Files/Common Files/Kestrivane Technologies"
mkdir -p "$install"
cp "$build/bin/prdinf.dll" "$build/bin/LBLRES.DLL" "$install/"
printf 'CORVCORE 4.1' >"$install/CORVCORE.DLL"
printf 'CORVUI 4.1' >"$install/CORVUI.DLL"
wine reg add 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\Corvane.exe' /v Path /t REG_SZ \
  /d "$install_win" /f >/dev/null 2>&1 || { echo "cannot register the install directory" >&2; exit 1; }

wine "$example" "$install_win" </dev/null | tr -d '\r'
status=${PIPESTATUS[0]}
if [ "$status" -ne 0 ]; then
  echo "updater_example exited with $status" >&2
  exit 1
fi
failed=0
for expected in 'CORVCORE.DLL:CORVCORE 4.1' 'CORVUI.DLL:CORVUI 4.1'; do
  name=${expected%%:*}
  if [ "$(cat "$install/$name" 2>/dev/null)" != "${expected#*:}" ]; then
    echo "$name does not hold its bytes from before the update" >&2
    failed=1
  fi
done
if [ -e "$install/CORVSYNC.DLL" ]; then
  echo "CORVSYNC.DLL, added by the update, is still there" >&2
  failed=1
fi
exit $failed
