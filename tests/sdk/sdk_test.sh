#!/usr/bin/env bash
# The SDK as an integrator receives it: the zip that `make dist` writes holds exactly the expected
# layout, the DLL in it is stripped and linked to its debug file, and the example it ships builds
# against it through find_package(mivra CONFIG).
#   sdk_test.sh SOURCE_DIR BUILD_DIR OBJDUMP SCRATCH_DIR
set -euo pipefail
source_dir=$1 build=$2 objdump=$3 scratch=$4
rm -rf "$scratch" && mkdir -p "$scratch"
stage="$scratch/stage"
zip="$scratch/mivra-sdk.zip"

cmake -DBUILD_DIR="$build" -DSTAGE="$stage" -DZIP="$zip" -P "$source_dir/cmake/sdk/MakeSdkZip.cmake" >/dev/null

(cd "$scratch" && cmake -E tar tf "$zip") | grep -v '/$' | sort >"$scratch/listed.txt"
# Every public header (mivra.h and what it includes), and the rest by name.
{ (cd "$source_dir" && ls include/*.h); cat <<'LAYOUT'; } | sort >"$scratch/expected.txt"
LICENSE.txt
README.md
bin/mivra.dll
bin/mivra.dll.debug
bin/mivractl.exe
docs/mivractl.md
examples/CMakeLists.txt
examples/updater_example.c
lib/cmake/mivra/mivraConfig.cmake
lib/cmake/mivra/mivraConfigVersion.cmake
lib/libmivra.dll.a
lib/mivra.lib
LAYOUT
if ! diff -u "$scratch/expected.txt" "$scratch/listed.txt"; then
  echo "the SDK zip does not have the expected layout (expected - / zipped +)" >&2
  exit 1
fi

# Stripped, with the debug information in the file the debug link names.
if "$objdump" -h "$stage/bin/mivra.dll" | grep -q '\.debug_'; then
  echo "bin/mivra.dll still carries debug sections" >&2
  exit 1
fi
if ! "$objdump" -s -j .gnu_debuglink "$stage/bin/mivra.dll" | grep -q 'mivra.dll.debug'; then
  echo "bin/mivra.dll has no debug link to mivra.dll.debug" >&2
  exit 1
fi
if ! "$objdump" -h "$stage/bin/mivra.dll.debug" | grep -q '\.debug_info'; then
  echo "bin/mivra.dll.debug holds no debug information" >&2
  exit 1
fi

# The shipped example, built from the shipped files only.
cmake -S "$stage/examples" -B "$scratch/example" -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$stage" \
      -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$scratch/example" >/dev/null
test -f "$scratch/example/updater_example.exe" && test -f "$scratch/example/mivra.dll"
echo "the SDK zip has the expected layout, and its example builds against it"
