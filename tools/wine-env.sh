# Sourced: sets up the isolated Wine prefix under the build folder and keeps one wineserver
# alive until the sourcing shell exits.
build_dir=$(cd "${1:-build}" && pwd)
export WINEPREFIX="$build_dir/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "creating Wine prefix $WINEPREFIX"
  wineboot -i >/dev/null 2>&1 </dev/null || true
  wineserver -w
fi
wineserver -p >/dev/null 2>&1 </dev/null
# Start Wine's own background processes now, with harmless standard streams: started by a test,
# they would inherit its output pipe and keep CTest waiting after the test has ended.
wine cmd /c exit >/dev/null 2>&1 </dev/null || true
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
