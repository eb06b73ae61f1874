#!/usr/bin/env bash
# Every test of kesto: the Windows build (cross-built with MinGW-w64) and its
# tests under Wine in a Japanese locale; the unit, end-to-end, delivery
# (through a private cupsd the tests start themselves) and window tests, with
# the Windows kesto-cli.exe driven under Wine next to the Linux one; the unit
# tests again under AddressSanitizer and UndefinedBehaviorSanitizer; and the
# OFI converter's fuzz target for a bounded time; the Debian package and the
# Windows zip built and checked (install, service, purge).
set -euo pipefail
cd "$(dirname "$0")/.."

FUZZ_SECONDS="${KESTO_FUZZ_SECONDS:-45}"
JOBS="$(nproc)"

scripts/setup.sh

echo "== Windows cross-build tested under Wine =="
windows_start=$SECONDS
# Only what runs without Qt: the core, kesto-cli.exe and the Qt-free tests.
cmake -S . -B build/windows -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DKESTO_BUILD_GUI=OFF -DKESTO_BUILD_BENCH=OFF >/dev/null
cmake --build build/windows -j"$JOBS"
# Wine's prefix is made once, before the tests' lists are read under it.
scripts/wine-run.sh --prefix "$PWD/build/windows/wineprefix" cmd /c exit
ctest --test-dir build/windows --output-on-failure -j"$JOBS" | tee build/windows-ctest.log
windows_total=$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' build/windows-ctest.log)
scripts/wine-run.sh --prefix "$PWD/build/windows/wineprefix" --stop
echo "windows: ${windows_total} tests under Wine in $((SECONDS - windows_start)) s"

echo "== build and test (release with checks) =="
# KESTO_WINDOWS_CLI adds the tests that drive kesto-cli.exe under Wine (label
# "wine") and compare it with the Linux kesto-cli.
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKESTO_WINDOWS_CLI="$PWD/build/windows/src/app/kesto-cli.exe" >/dev/null
cmake --build build/release -j"$JOBS"
QT_QPA_PLATFORM=offscreen ctest --test-dir build/release --output-on-failure -j"$JOBS" \
    | tee build/release-ctest.log
release_total=$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' build/release-ctest.log)

echo "== packages =="
packages_start=$SECONDS
# The Debian package: built the Debian way, lintian clean, installed with apt,
# its unit verified and one instance's command line run as user kesto, purged.
scripts/package-deb.sh
scripts/check-deb.sh out/kesto_*_"$(dpkg --print-architecture)".deb
# The Windows zip, and its service driven under Wine in the Japanese locale.
scripts/package-windows.sh
rm -rf build/windows-unzipped
unzip -q out/kesto-*-windows-x64.zip -d build/windows-unzipped
tests/windows/service-test.sh build/windows-unzipped/kesto-*/kesto-cli.exe "$PWD/build/windows/wineprefix"
scripts/wine-run.sh --prefix "$PWD/build/windows/wineprefix" --stop
echo "packages: built and checked in $((SECONDS - packages_start)) s"

echo "== unit tests under AddressSanitizer and UndefinedBehaviorSanitizer =="
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKESTO_SANITIZE=ON \
    -DKESTO_BUILD_GUI=OFF -DKESTO_BUILD_BENCH=OFF >/dev/null
cmake --build build/asan -j"$JOBS"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    LSAN_OPTIONS=suppressions="$PWD/scripts/lsan.supp" QT_QPA_PLATFORM=offscreen \
    ctest --test-dir build/asan --output-on-failure -j"$JOBS" -LE cups | tee build/asan-ctest.log
asan_total=$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' build/asan-ctest.log)

echo "== fuzzing the OFI converter and the GLF renderer for ${FUZZ_SECONDS} s each =="
cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DKESTO_FUZZ=ON \
    -DKESTO_BUILD_GUI=OFF -DKESTO_BUILD_TESTS=OFF -DKESTO_BUILD_BENCH=OFF >/dev/null
cmake --build build/fuzz -j"$JOBS" --target kesto_convert_fuzzer kesto_render_fuzzer
# Seeds: the sample drawings (geometry, patterns, a text-heavy sheet) and the
# composer-made drawings of fuzz/corpus.
corpus=build/fuzz/corpus
mkdir -p "$corpus"
cp samples/*.OFI fuzz/corpus/*.OFI "$corpus"/
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 build/fuzz/fuzz/kesto_convert_fuzzer "$corpus" -max_total_time="$FUZZ_SECONDS" -timeout=30 \
    -max_len=65536 -rss_limit_mb=2048 -print_final_stats=1 2>&1 | tail -n 15
# Seeds of the renderer: the GLF files of the samples and a few cut or odd ones.
glf_corpus=build/fuzz/glf-corpus
mkdir -p "$glf_corpus"
cp tests/e2e/golden/*.GLF fuzz/glf-corpus/* "$glf_corpus"/
QT_QPA_PLATFORM=offscreen LSAN_OPTIONS=suppressions="$PWD/scripts/lsan.supp" \
    UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 build/fuzz/fuzz/kesto_render_fuzzer "$glf_corpus" -max_total_time="$FUZZ_SECONDS" \
    -timeout=30 -max_len=65536 -rss_limit_mb=2048 -print_final_stats=1 2>&1 | tail -n 6
echo "fuzzing: no crash, no sanitizer report, no hang"

echo "windows: ${windows_total} tests, release: ${release_total} tests, sanitizers: ${asan_total} tests, fuzzing: ${FUZZ_SECONDS} s"
echo "tests: $((windows_total + release_total + asan_total)) passed, 0 failed"
