#!/usr/bin/env bash
# Builds the Windows zip of kesto: the static kesto-cli.exe (cross-built with
# MinGW-w64 as scripts/test-all.sh builds it), its README in Japanese and in
# English, and the licence.
#
#   scripts/package-windows.sh    # -> out/kesto-<version>-windows-x64.zip
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

version=$(sed -n 's/^project(kesto VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
cmake -S . -B build/windows -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DKESTO_BUILD_GUI=OFF -DKESTO_BUILD_BENCH=OFF >/dev/null
cmake --build build/windows -j"$(nproc)" --target kesto-cli
exe=build/windows/src/app/kesto-cli.exe

# Static: nothing but the system's own libraries may be needed.
foreign=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' |
    grep -viE '^(kernel32|advapi32|shell32|user32|msvcrt|ws2_32|winspool\.drv|api-ms-win-.*)(\.dll)?$' || true)
if [ -n "$foreign" ]; then
    echo "package-windows: kesto-cli.exe needs DLLs a Windows machine lacks: $foreign" >&2
    exit 1
fi

name="kesto-$version-windows-x64"
stage="build/windows-zip/$name"
rm -rf build/windows-zip
mkdir -p "$stage" out
cp "$exe" "$stage/"
x86_64-w64-mingw32-strip "$stage/kesto-cli.exe"
# Windows' editors: CR LF, and a byte order mark so that UTF-8 is recognised
# on a desk whose code page is 932.
to_windows_text() { printf '\xef\xbb\xbf'; sed 's/$/\r/' "$1"; }
to_windows_text packaging/windows/README-ja.txt > "$stage/README-ja.txt"
to_windows_text packaging/windows/README-en.txt > "$stage/README-en.txt"
to_windows_text LICENSE > "$stage/LICENSE.txt"
rm -f "out/$name.zip"
(cd build/windows-zip && TZ=UTC zip -q -X -r "../../out/$name.zip" "$name")
unzip -l "out/$name.zip"
echo "package-windows: out/$name.zip"
