#!/usr/bin/env bash
# Links a C program that uses every export with lld-link against the MSVC import library, and
# compares the program's imports with the .def: each export from mivra.dll, by its name, with its
# ordinal as the hint.
#   import_library_test.sh CLANG LLD_LINK READOBJ DEF LIB INCLUDE_DIR GENERATED_INCLUDE_DIR SCRATCH_DIR
set -euo pipefail
clang=$1 lld_link=$2 readobj=$3 def=$4 lib=$5 include=$6 generated=$7 scratch=$8
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$scratch" && mkdir -p "$scratch" && cd "$scratch"

"$clang" --target=x86_64-w64-mingw32 -O1 -I "$include" -I "$generated" -c "$here/import_library_probe.c" -o probe.o
"$lld_link" /nologo /nodefaultlib /entry:ImportLibraryProbe /subsystem:console /out:probe.exe probe.o "$lib"

# "  Name: mivra.dll" opens the DLL's block; each "  Symbol: NAME (HINT)" follows.
"$readobj" --coff-imports probe.exe |
  awk '/^ *Name: /{dll=$2} /^ *Symbol: /{print dll, $2, $3}' | sort >imports.txt
sed -n 's/^ *\(Mivra[A-Za-z]*\) .*@\([0-9]*\) *$/mivra.dll \1 (\2)/p' "$def" | sort >expected.txt

if [ "$(wc -l <expected.txt)" -ne 15 ]; then
  echo "the .def does not list fifteen exports:" >&2
  cat expected.txt >&2
  exit 1
fi
if ! diff -u expected.txt imports.txt; then
  echo "the import library does not offer the exports of the .def (expected - / imported +)" >&2
  exit 1
fi
echo "lld-link imports all $(wc -l <imports.txt) exports from mivra.dll by name, each with its ordinal as hint"
