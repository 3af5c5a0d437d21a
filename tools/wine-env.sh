# Sourced: sets up the isolated Wine prefix under the build folder, and the side prefixes that
# long tests run in beside the others, and keeps one wineserver per prefix alive until the
# sourcing shell exits.
build_dir=$(cd "${1:-build}" && pwd)
export WINEPREFIX="$build_dir/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "creating Wine prefix $WINEPREFIX"
  wineboot -i >/dev/null 2>&1 </dev/null || true
  wineserver -w
  # A fresh prefix: its side prefixes are made again from it.
  rm -rf "$build_dir"/wineprefix-*
fi
# A side prefix is a copy of the main one, made while no server holds it (the build's tests
# register the side prefixes they use in side-wineprefixes.txt).
mivra_prefixes=("$WINEPREFIX")
if [ -f "$build_dir/side-wineprefixes.txt" ]; then
  while read -r side; do
    [ -n "$side" ] || continue
    if [ ! -f "$build_dir/$side/system.reg" ]; then
      wineserver -w
      rm -rf "$build_dir/$side.tmp" && cp -a "$WINEPREFIX" "$build_dir/$side.tmp" && mv "$build_dir/$side.tmp" "$build_dir/$side"
    fi
    mivra_prefixes+=("$build_dir/$side")
  done <"$build_dir/side-wineprefixes.txt"
fi
for mivra_prefix in "${mivra_prefixes[@]}"; do
  WINEPREFIX="$mivra_prefix" wineserver -p >/dev/null 2>&1 </dev/null
  # Start Wine's own background processes now, with harmless standard streams: started by a test,
  # they would inherit its output pipe and keep CTest waiting after the test has ended.
  WINEPREFIX="$mivra_prefix" wine cmd /c exit >/dev/null 2>&1 </dev/null || true
done
trap 'for p in "${mivra_prefixes[@]}"; do WINEPREFIX="$p" wineserver -k >/dev/null 2>&1 || true; done' EXIT
