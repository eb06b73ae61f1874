#!/usr/bin/env bash
# Runs a Windows program under Wine as a Japanese Windows desk would: the
# ja_JP.UTF-8 locale (Wine's ANSI code page is then 932), no display, no Wine
# chatter, and a Wine prefix of our own that is made on first use.
#
#   scripts/wine-run.sh [--prefix DIR] PROGRAM.exe [ARG]...
#   scripts/wine-run.sh [--prefix DIR] --stop     # ends the prefix's wine server
#
# The prefix defaults to $KESTO_WINEPREFIX, then build/wineprefix.  The exit
# status is the program's.
set -euo pipefail

prefix="${KESTO_WINEPREFIX:-$(cd "$(dirname "$0")/.." && pwd)/build/wineprefix}"
if [ "${1:-}" = "--prefix" ]; then
    prefix="$2"
    shift 2
fi
if [ $# -lt 1 ]; then
    echo "usage: $0 [--prefix DIR] PROGRAM.exe [ARG]..." >&2
    exit 2
fi

wine="${KESTO_WINE:-}"
if [ -z "$wine" ]; then
    # Debian's wrapper script warns about a missing 32-bit Wine unless told to
    # be quiet; the 64-bit loader is all we need.
    for candidate in /usr/lib/wine/wine64 wine64 wine; do
        if command -v "$candidate" >/dev/null 2>&1; then
            wine="$(command -v "$candidate")"
            break
        fi
    done
fi
if [ -z "$wine" ]; then
    echo "wine-run: Wine is not installed (scripts/setup.sh installs it)" >&2
    exit 127
fi
wineserver="${KESTO_WINESERVER:-}"
if [ -z "$wineserver" ]; then
    for candidate in /usr/lib/wine/wineserver64 /usr/lib/wine/wineserver wineserver; do
        if command -v "$candidate" >/dev/null 2>&1; then
            wineserver="$(command -v "$candidate")"
            break
        fi
    done
fi

unset DISPLAY WAYLAND_DISPLAY
export WINEPREFIX="$prefix"
if [ "$1" = "--stop" ]; then
    if [ -d "$prefix" ] && [ -n "$wineserver" ]; then
        timeout 30 "$wineserver" -k >/dev/null 2>&1 || true
    fi
    exit 0
fi
export WINEARCH=win64
export WINEDEBUG=-all
export WINELOADER="$wine"
# No Mono, no Gecko, no menu entries: nothing to download or to install.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
unset LANGUAGE

# The prefix is made once; programs started at the same time wait for it.
if [ ! -f "$prefix/.kesto-ready" ]; then
    mkdir -p "$(dirname "$prefix")"
    (
        flock -w 300 9 || { echo "wine-run: timed out waiting for $prefix.lock" >&2; exit 1; }
        if [ ! -f "$prefix/.kesto-ready" ]; then
            timeout 240 "$wine" wineboot --init >/dev/null 2>&1 || {
                echo "wine-run: wineboot failed to make the prefix $prefix" >&2
                exit 1
            }
            [ -n "$wineserver" ] && timeout 120 "$wineserver" -w || true
            touch "$prefix/.kesto-ready"
        fi
    ) 9>"$prefix.lock"
fi

# One wine server for a whole test run: a server that ends between two
# programs and is started again by the next one is a source of spurious
# failures.  It ends by itself once nothing used it for a while.
if [ -n "$wineserver" ]; then
    "$wineserver" -p"${KESTO_WINESERVER_LINGER:-20}" >/dev/null 2>&1 || true
fi

# A test program of ours always writes to its output: its list of tests or
# its report.  One that ends silently was never started; its wine server went
# away under it.  Such a launch is tried again, up to twice, saying so;
# a silent run is never taken for a passed test.
gtest=0
for arg in "$@"; do
    case "$arg" in --gtest_*) gtest=1 ;; esac
done
if [ "$gtest" = 0 ]; then
    exec "$wine" "$@"
fi
# The output goes through a file, not a pipe: the helper processes Wine starts
# with a session inherit it and would hold a pipe open until they end.
out="$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX")"
trap 'cat "$out"; rm -f "$out"' EXIT
trap 'exit 143' TERM INT
for attempt in 1 2 3; do
    : >"$out"
    set +e
    "$wine" "$@" >"$out"
    status=$?
    set -e
    if [ -s "$out" ]; then
        exit "$status"
    fi
    echo "wine-run: $1 ended with status $status and wrote nothing: Wine did not start it (attempt $attempt of 3)" >&2
    if [ -n "$wineserver" ]; then
        "$wineserver" -p"${KESTO_WINESERVER_LINGER:-20}" >/dev/null 2>&1 || true
    fi
done
exit 1
