#!/usr/bin/env bash
# Takes docs/screenshot.png: the real kesto window under Xvfb, in a program
# folder of its own with the sample drawings, just after the first polling run
# has converted them.
#
#   scripts/screenshot.sh [path/to/kesto] [output.png]
#
# Needs xvfb (xvfb-run), imagemagick (import, convert) and fonts-ipafont-gothic.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
kesto=${1:-$repo/build/src/app/kesto}
out=${2:-$repo/docs/screenshot.png}
case $out in /*) ;; *) out=$PWD/$out ;; esac
case $kesto in /*) ;; *) kesto=$PWD/$kesto ;; esac

[ -x "$kesto" ] || { echo "screenshot.sh: no kesto program at $kesto" >&2; exit 2; }
for tool in xvfb-run import; do
    command -v "$tool" >/dev/null || { echo "screenshot.sh: $tool is missing" >&2; exit 2; }
done
# Debian's real convert; /usr/local/bin may hold something else of that name.
convert=/usr/bin/convert
[ -x "$convert" ] || convert=convert

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
folder=$work/PLOT
mkdir "$folder"
cp "$repo"/samples/*.OFI "$folder"/
# Keep the GLF files in the folder: there is no plotter here.
printf 'OfiOut=ﾌｧｲﾙ  * GLFﾌｧｲﾙの出力先\nOfiFEnd=保存  * 終了ﾌｧｲﾙの処理\n' |
    iconv -f UTF-8 -t CP932 >"$folder/Kesto.sys"

mkdir -p "$(dirname "$out")"
export KESTO_SHOT_BIN=$kesto KESTO_SHOT_OUT=$work/root.png KESTO_SHOT_DIR=$folder
xvfb-run -a -s "-screen 0 1280x900x24 -dpi 96" bash -c '
    cd "$KESTO_SHOT_DIR"
    "$KESTO_SHOT_BIN" AUTO3 >/dev/null 2>&1 &
    pid=$!
    # The first run starts three seconds after start-up and takes well under
    # a second; the next one would come three seconds after its end.
    sleep 4.5
    import -window root "$KESTO_SHOT_OUT"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
'
# Cut the window out of the black screen around it.
"$convert" "$work/root.png" -bordercolor black -border 1 -trim +repage "$out"
echo "screenshot.sh: wrote $out"
