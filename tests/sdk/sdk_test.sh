#!/usr/bin/env bash
# The SDK as an integrator receives it, taken from the zip alone, unpacked in a folder of its own
# outside the build tree:
#   - it holds exactly the expected files; its README is its own and its license the project's;
#   - mivra.dll and mivractl.exe are stripped, each linked to its debug file;
#   - the example builds with the SDK's toolchain file and find_package(mivra);
#   - register_sample.exe, the SDK's one step, installs and registers the sample product; the
#     example then runs under Wine against it, and afterwards the files it replaced hold their old
#     bytes and the one it added is gone; mivractl.exe from the SDK sees the same product;
#   - the package config stops a build that is not for Windows x64 with a clear message.
#   sdk_test.sh SOURCE_DIR BUILD_DIR OBJDUMP        (with WINEPREFIX set)
set -euo pipefail
source_dir=$1 build=$2 objdump=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() {
  echo "sdk_test: $*" >&2
  exit 1
}
# Shows a step's log when it fails.
logged() {
  local log=$1
  shift
  "$@" >"$log" 2>&1 || { cat "$log" >&2; fail "$* failed"; }
}

zip="$scratch/mivra-sdk.zip"
sdk="$scratch/sdk"
cmake -DBUILD_DIR="$build" -DSTAGE="$scratch/stage" -DZIP="$zip" -P "$source_dir/cmake/sdk/MakeSdkZip.cmake" >/dev/null
rm -rf "$scratch/stage"
mkdir "$sdk"
(cd "$sdk" && cmake -E tar xf "$zip")

# The layout: every public header (mivra.h, what it includes, the generated version header), and
# the rest by name.
(cd "$sdk" && find . -type f | sed 's|^\./||' | sort) >"$scratch/listed.txt"
{ (cd "$source_dir" && ls include/*.h); cat <<'LAYOUT'; } | sort >"$scratch/expected.txt"
LICENSE.txt
README.md
bin/mivra.dll
bin/mivra.dll.debug
bin/mivractl.exe
bin/mivractl.exe.debug
docs/mivractl.md
examples/CMakeLists.txt
examples/updater_example.c
include/mivra_version.h
lib/cmake/mivra/mivraConfig.cmake
lib/cmake/mivra/mivraConfigVersion.cmake
lib/libmivra.dll.a
lib/mivra.lib
sample/LBLRES.DLL
sample/prdinf.dll
sample/register_sample.exe
toolchain/mingw-w64-x86_64.cmake
LAYOUT
diff -u "$scratch/expected.txt" "$scratch/listed.txt" >&2 ||
  fail "the SDK zip does not have the expected layout (expected - / zipped +)"
cmp -s "$source_dir/sdk/README.md" "$sdk/README.md" || fail "README.md is not the SDK's own README"
if grep -nE 'make (demo|test|build)|build/bin|source/update' "$sdk/README.md" >&2; then
  fail "the SDK's README points into the repository"
fi
cmp -s "$source_dir/LICENSE.txt" "$sdk/LICENSE.txt" || fail "LICENSE.txt is not the project's license"
grep -q '^MIT License$' "$sdk/LICENSE.txt" || fail "LICENSE.txt is not the MIT license"

# Stripped, with the debug information in the file the debug link names.
for binary in mivra.dll mivractl.exe; do
  if "$objdump" -h "$sdk/bin/$binary" | grep -q '\.debug_'; then fail "bin/$binary still carries debug sections"; fi
  # The section's bytes in hex, which the objdump listing breaks into lines: the name, then its NUL.
  link=$("$objdump" -s -j .gnu_debuglink "$sdk/bin/$binary" |
    awk '/^ [0-9a-f]+ /{for (i = 2; i <= 5 && $i ~ /^[0-9a-f]+$/; i++) printf "%s", $i}')
  [[ $link == "$(printf '%s' "$binary.debug" | od -An -tx1 | tr -d ' \n')00"* ]] ||
    fail "bin/$binary has no debug link to $binary.debug"
  "$objdump" -h "$sdk/bin/$binary.debug" | grep -q '\.debug_info' || fail "bin/$binary.debug holds no debug information"
done

# The example, from the SDK's files alone.
logged "$scratch/example-configure.log" cmake -S "$sdk/examples" -B "$scratch/example" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$sdk" -DCMAKE_TOOLCHAIN_FILE="$sdk/toolchain/mingw-w64-x86_64.cmake"
logged "$scratch/example-build.log" cmake --build "$scratch/example"
test -f "$scratch/example/updater_example.exe" && cmp -s "$sdk/bin/mivra.dll" "$scratch/example/mivra.dll" ||
  fail "the example or the mivra.dll beside it is missing"

# The sample product, installed and registered by the SDK's one step, and the example run on it.
unset MIVRA_STANDIN_RPI_RESULT MIVRA_STANDIN_COMPANY MIVRA_STANDIN_PRODUCT MIVRA_STANDIN_RPI_CALLS MIVRA_TRACE
drive="$WINEPREFIX/drive_c"
install_win='C:\mivra-sdk-sample\'
install="$drive/mivra-sdk-sample"
base="$drive/Program Files/Common Files/Kestrivane Technologies/Corvane"
rm -rf "$install" "$drive/Program Files/Common Files/Kestrivane Technologies"
logged "$scratch/register.log" wine "$sdk/sample/register_sample.exe" "$install_win"
for name in prdinf.dll LBLRES.DLL; do
  cmp -s "$sdk/sample/$name" "$install/$name" || fail "register_sample did not put $name into the install directory"
done

wine "$scratch/example/updater_example.exe" "$install_win" </dev/null 2>&1 | tr -d '\r' >"$scratch/example.out" ||
  { cat "$scratch/example.out" >&2; fail "the example failed"; }
version=$(sed -n 's/^#define MIVRA_VERSION_TEXT "\(.*\)"$/\1/p' "$sdk/include/mivra_version.h")
grep -qx "updater example, built with mivra SDK $version" "$scratch/example.out" ||
  { cat "$scratch/example.out" >&2; fail "the example does not name the SDK's version $version"; }
grep -qx "rolled back" "$scratch/example.out" || { cat "$scratch/example.out" >&2; fail "the example did not roll back"; }
for expected in 'CORVCORE.DLL:CORVCORE 4.1' 'CORVUI.DLL:CORVUI 4.1'; do
  name=${expected%%:*}
  [ "$(cat "$install/$name" 2>/dev/null)" = "${expected#*:}" ] || fail "$name does not hold its bytes from before the update"
done
[ ! -e "$install/CORVSYNC.DLL" ] || fail "CORVSYNC.DLL, added by the update, is still there"
[ -f "$base/bkup/bkmdata.dat" ] || fail "no committed backup under Common Files"

# mivractl.exe from the SDK, which carries the library, works on the same product.
wine "$sdk/bin/mivractl.exe" status 2>&1 | tr -d '\r' >"$scratch/status.out" ||
  { cat "$scratch/status.out" >&2; fail "mivractl status failed"; }
grep -qxF "installDir: $install_win" "$scratch/status.out" || { cat "$scratch/status.out" >&2; fail "mivractl sees another product"; }
grep -qx 'bkup.records: 3' "$scratch/status.out" || { cat "$scratch/status.out" >&2; fail "mivractl sees another backup"; }
wine "$sdk/bin/mivractl.exe" --version 2>&1 | tr -d '\r' | grep -qxF "mivra $version built in (mivractl carries the library's code and loads no mivra.dll)" ||
  fail "mivractl does not carry the library of the SDK's version"

# A project that does not build for Windows x64 is stopped by the package config.
mkdir "$scratch/native"
cat >"$scratch/native/CMakeLists.txt" <<'CONSUMER'
cmake_minimum_required(VERSION 3.20)
project(native_consumer LANGUAGES C)
find_package(mivra 1.0 CONFIG REQUIRED)
CONSUMER
native_cc=$(command -v clang || command -v cc || true)
if cmake -S "$scratch/native" -B "$scratch/native/build" -DCMAKE_PREFIX_PATH="$sdk" ${native_cc:+-DCMAKE_C_COMPILER="$native_cc"} \
  >"$scratch/native.log" 2>&1; then
  fail "a native project found the SDK without complaint"
fi
tr -s ' \n' ' ' <"$scratch/native.log" | grep -q "the SDK holds a Windows x64 library, but this project builds for $(uname -s)" ||
  { cat "$scratch/native.log" >&2; fail "the package config does not say that the target is not Windows x64"; }

echo "the SDK zip holds what it should; its example, built from it alone, rolled the sample product back"
