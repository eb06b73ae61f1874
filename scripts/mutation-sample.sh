#!/usr/bin/env bash
# Puts the faults of scripts/mutation-faults.txt into a scratch copy of the
# tree one at a time, rebuilds, runs the suite and says which test caught each
# fault, or that none did.  Run on demand (it takes long), not in CI.
#
#   scripts/mutation-sample.sh --list              the faults, "path: description"
#   scripts/mutation-sample.sh --check             whether every fault applies and
#                                                  compiles (quick: no build, no tests)
#   scripts/mutation-sample.sh [options]           the sample
#     --only PATTERN     only faults whose "path: description" matches (grep -E)
#     --tests REGEX      run only the ctest tests matching REGEX (a quicker look)
#     --exclude REGEX    leave out the ctest tests matching REGEX
#     --quick "T1 T2"    build only these targets and run those named *_tests
#                        directly, not the whole suite (a first pass; confirm
#                        what survives it with the whole suite)
#     --summary FILE     also write the results as a table (Markdown)
#     --faults FILE      another fault list
#     --jobs N           build and test jobs (default 2)
#     --no-baseline      skip the run of the unchanged tree
#     --scratch DIR      keep the scratch copy in DIR (under build/) and build
#                        there again next time, instead of a temporary one
#
# Per fault: "caught by TEST" (the suite's output kept in the scratch copy's
# logs/fault-N.log), "SURVIVED" (with the list's note when it has
# one), "not compiled" (not counted) or "not applicable: text not found (or
# not unique)" (the code moved: mend the list).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
repo="$(cd "$here/.." && pwd)"
faults="$here/mutation-faults.txt"
only=""
tests=""
exclude=""
quick=""
summary=""
jobs=2
baseline=1
list=0
check=0
keep=""
while [ $# -gt 0 ]; do
    case "$1" in
    --list) list=1 ;;
    --check) check=1 ;;
    --only) only="$2"; shift ;;
    --tests) tests="$2"; shift ;;
    --exclude) exclude="$2"; shift ;;
    --quick) quick="$2"; shift ;;
    --summary) summary="$2"; shift ;;
    --faults) faults="$2"; shift ;;
    --jobs) jobs="$2"; shift ;;
    --no-baseline) baseline=0 ;;
    --scratch) keep="$2"; shift ;;
    -h|--help) sed -n '2,27p' "$0"; exit 0 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
    esac
    shift
done
faults="$(cd "$(dirname "$faults")" && pwd)/$(basename "$faults")"
tool() { python3 "$here/mutation-faults.py" "$@"; }

if [ "$list" = 1 ]; then
    tool list "$faults"
    exit 0
fi

# Under build/ of this tree, laid out like it (the copy's build folder is
# build/release inside it), so that ccache's base folder gives hits from the
# ordinary build.
mkdir -p "$repo/build"
if [ -n "$keep" ]; then
    mkdir -p "$keep"
    scratch="$(cd "$keep" && pwd)"
else
    scratch="$(mktemp -d "$repo/build/mutation.XXXXXX")"
    trap 'rm -rf "$scratch"' EXIT
    # Some tests run kesto-cli as another user (read-only and sticky folders).
    chmod 755 "$scratch"
fi
trap 'exit 130' INT TERM
src="$scratch"
build="$scratch/build/release"
# The working tree as it is (changes not yet committed included); into a
# kept copy only the files that differ, so that its build sees them.
stage="$(mktemp -d "$repo/build/mutation-stage.XXXXXX")"
(cd "$repo" && git ls-files -co --exclude-standard -z | tar --null -T - -cf -) | tar -xf - -C "$stage"
tool sync "$stage" "$src"
rm -rf "$stage"

echo "== configuring a scratch copy in $scratch"
cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DKESTO_BUILD_BENCH=OFF >"$scratch/configure.log"
if [ "$check" = 1 ]; then
    copy="$(mktemp -d "$repo/build/mutation-check.XXXXXX")"
    (cd "$repo" && git ls-files -co --exclude-standard -z | tar --null -T - -cf -) | tar -xf - -C "$copy"
    rc=0
    tool check "$faults" "$copy" "$build" || rc=$?
    rm -rf "$copy"
    exit "$rc"
fi
build_tree() {
    local targets=()
    [ -n "$quick" ] && targets=(--target $quick)
    cmake --build "$build" -j"$jobs" "${targets[@]}" >"$scratch/build.log" 2>&1
}
# The --quick programs one after the other; prints the first failing test.
run_programs() {
    local program binary
    for program in $quick; do
        case "$program" in *_tests) ;; *) continue ;; esac # built for the tests, not run
        binary="$(find "$build" -type f -name "$program" -perm -u+x | head -n 1)"
        if [ -z "$binary" ]; then echo "$program (not built)"; return; fi
        if ! (cd "$(dirname "$binary")" && QT_QPA_PLATFORM=offscreen timeout 120 "$binary") \
            >"$scratch/ctest.log" 2>&1; then
            local name
            name="$(grep -m1 -E '^\[  FAILED  \] [A-Za-z]' "$scratch/ctest.log" |
                sed -E 's/^\[  FAILED  \] ([^ ]+).*/\1/')" || true
            echo "${name:-$program}"
            return
        fi
    done
}
# Prints the first failing test, nothing when all passed.
run_suite() {
    rm -f "$build/Testing/Temporary/LastTestsFailed.log"
    local args=(--test-dir "$build" --stop-on-failure --timeout 120 -j"$jobs")
    [ -n "$tests" ] && args+=(-R "$tests")
    [ -n "$exclude" ] && args+=(-E "$exclude")
    QT_QPA_PLATFORM=offscreen ctest "${args[@]}" >"$scratch/ctest.log" 2>&1 || true
    # The first test to fail as they finished (others may be cut short after it).
    local first
    first="$(grep -E '^ *[0-9]+/[0-9]+ Test +#[0-9]+: ' "$scratch/ctest.log" |
        grep -vE ' (Passed|Skipped) +[0-9.]+ sec' | head -n 1 | sed -E 's/.*Test +#[0-9]+: ([^ ]+).*/\1/')" || true
    if [ -n "$first" ]; then
        echo "$first"
    elif [ -s "$build/Testing/Temporary/LastTestsFailed.log" ]; then
        head -n 1 "$build/Testing/Temporary/LastTestsFailed.log" | cut -d: -f2-
    elif ! grep -q "tests passed" "$scratch/ctest.log"; then
        echo "(ctest did not run: see its log)"
    fi
}

build_tree || { echo "the unchanged tree does not build:"; tail -n 30 "$scratch/build.log"; exit 1; }
if [ "$baseline" = 1 ]; then
    echo "== the unchanged tree"
    if [ -n "$quick" ]; then failed="$(run_programs)"; else failed="$(run_suite)"; fi
    if [ -n "$failed" ]; then
        echo "the unchanged tree fails $failed: no sample can be taken"
        exit 1
    fi
fi

caught=0; survived=0; uncompiled=0; inapplicable=0
[ -n "$summary" ] && printf '| fault | result |\n|---|---|\n' >"$summary"
while IFS=$'\t' read -r index file description note; do
    name="$file: $description"
    if [ -n "$only" ] && ! grep -Eq -- "$only" <<<"$name"; then continue; fi
    started=$SECONDS
    cp -p "$src/$file" "$scratch/original" 2>/dev/null || true
    rc=0
    tool apply "$faults" "$index" "$src" || rc=$?
    if [ "$rc" != 0 ]; then
        result="not applicable: text not found (or not unique)"
        inapplicable=$((inapplicable + 1))
    elif ! build_tree; then
        result="not compiled"
        uncompiled=$((uncompiled + 1))
    else
        if [ -n "$quick" ]; then failed="$(run_programs)"; else failed="$(run_suite)"; fi
        if [ -n "$failed" ]; then
            result="caught by $failed"
            caught=$((caught + 1))
            mkdir -p "$scratch/logs"
            cp "$scratch/ctest.log" "$scratch/logs/fault-$index.log"
        else
            result="SURVIVED${quick:+ the quick pass}${note:+ ($note)}"
            survived=$((survived + 1))
        fi
    fi
    # Back as it was, with a new time so that the next build sees it.
    if [ -f "$scratch/original" ]; then
        cp "$scratch/original" "$src/$file"
        touch "$src/$file"
        rm -f "$scratch/original"
    fi
    printf '%s\n    %s (%d s)\n' "$name" "$result" $((SECONDS - started))
    [ -n "$summary" ] && printf '| %s | %s |\n' "$name" "$result" >>"$summary"
done < <(tool table "$faults")

applicable=$((caught + survived))
echo "== caught $caught of $applicable applicable faults; $survived survived," \
    "$uncompiled did not compile, $inapplicable not applicable"
if [ -n "$summary" ]; then
    printf '\nCaught %d of %d applicable faults (%d survived, %d not compiled, %d not applicable).\n' \
        "$caught" "$applicable" "$survived" "$uncompiled" "$inapplicable" >>"$summary"
fi
