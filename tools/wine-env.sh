# Sourced: sets up the isolated Wine prefix under the build folder and keeps one wineserver
# alive until the sourcing shell exits.
build_dir=$(cd "${1:-build}" && pwd)
export WINEPREFIX="$build_dir/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "creating Wine prefix $WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w
fi
wineserver -p
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
