#!/usr/bin/env bash
# Checks the Debian package as an administrator would meet it: its files and
# their validators, the man pages against --help, installation with apt, the
# systemd unit, one instance's command line run as the unit runs it (user
# kesto, /var/lib/kesto/NAME, the environment files), and a purge that leaves
# only what Debian keeps.  Run as root on a Debian 12 machine where kesto is
# not installed otherwise.
#
#   scripts/check-deb.sh out/kesto_<version>_amd64.deb
set -euo pipefail
cd "$(dirname "$0")/.."
deb="$(realpath "$1")"
fail() { echo "check-deb: FAIL: $*" >&2; exit 1; }
ok() { echo "check-deb: $*"; }
work="$(mktemp -d)"
instance=ci-check
trap 'rm -rf "$work"' EXIT

# --- the package's files ------------------------------------------------------
dpkg-deb -x "$deb" "$work/root"
for f in usr/bin/kesto usr/bin/kesto-cli \
         usr/share/man/man1/kesto.1.gz usr/share/man/man1/kesto-cli.1.gz \
         usr/share/applications/org.kesto.Kesto.desktop \
         usr/share/icons/hicolor/scalable/apps/org.kesto.Kesto.svg \
         usr/share/metainfo/org.kesto.Kesto.metainfo.xml \
         usr/share/doc/kesto/copyright usr/share/doc/kesto/changelog.Debian.gz \
         usr/share/doc/kesto/headless-spooler.md.gz \
         lib/systemd/system/kesto@.service usr/lib/sysusers.d/kesto.conf etc/default/kesto; do
    [ -e "$work/root/$f" ] || fail "the package has no /$f"
done
desktop-file-validate "$work/root/usr/share/applications/org.kesto.Kesto.desktop" ||
    fail "desktop-file-validate"
appstreamcli validate --no-net --explain \
    "$work/root/usr/share/metainfo/org.kesto.Kesto.metainfo.xml" >/dev/null ||
    fail "appstreamcli validate"
grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
    "$work/root/usr/share/doc/kesto/copyright" || fail "copyright is not machine-readable"
ok "files, desktop entry and AppStream metadata valid"

# --- installed with apt, dependencies from Debian -----------------------------
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null || fail "apt install"
version=$(sed -n 's/^project(kesto VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ "$(/usr/bin/kesto-cli --version)" = "kesto-cli $version" ] || fail "kesto-cli --version"
[ "$(/usr/bin/kesto --version)" = "kesto $version" ] || fail "kesto --version"
getent passwd kesto | awk -F: '$3 >= 1000 || $7 !~ /nologin/ {exit 1}' ||
    fail "kesto is not a system user without a login shell"
ok "installed; kesto-cli $version from /usr/bin; system user kesto"

# --- the man pages say what --help says ----------------------------------------
help_options() {
    { "$@" --help; } 2>&1 | grep -oE -- '--[a-z][a-z-]*' | sort -u
}
man_text() { MANWIDTH=200 man -l "$1" 2>/dev/null | col -b; }
check_man() {
    local page="$1"; shift
    local text; text="$(man_text "$page")"
    while read -r option; do
        grep -qF -- "$option" <<<"$text" || fail "$option of '$*' is not in $(basename "$page")"
    done < <(help_options "$@")
}
cli=/usr/bin/kesto-cli
check_man /usr/share/man/man1/kesto-cli.1.gz "$cli"
check_man /usr/share/man/man1/kesto-cli.1.gz "$cli" convert
check_man /usr/share/man/man1/kesto-cli.1.gz "$cli" render
check_man /usr/share/man/man1/kesto-cli.1.gz "$cli" AUTO
check_man /usr/share/man/man1/kesto-cli.1.gz "$cli" service
check_man /usr/share/man/man1/kesto.1.gz /usr/bin/kesto
ok "every option of --help is in the man pages"

# --- the unit ---------------------------------------------------------------------
unit=/lib/systemd/system/kesto@.service
cp "$unit" "$work/kesto@$instance.service"
# Unknown keys, wrong values and a missing program are reported (a
# container without a running systemd still checks the file).
if ! SYSTEMD_LOG_LEVEL=warning systemd-analyze verify --man=no "$work/kesto@$instance.service" \
        > "$work/verify.log" 2>&1 || [ -s "$work/verify.log" ]; then
    cat "$work/verify.log" >&2
    fail "systemd-analyze verify"
fi
ok "systemd-analyze verify: the unit is clean"

# --- one instance's command line, as the unit runs it ---------------------------
# The unit's own lines: the user, the program folder, the environment files
# and the command (with its ${...} taken from those files).
value() { sed -n "s/^$1=//p" "$unit" | sed "s/%i/$instance/g"; }
user=$(value User)
folder=$(value WorkingDirectory)
command=$(value ExecStart)
[ "$folder" = "/var/lib/kesto/$instance" ] || fail "the unit's program folder is $folder"
install -d -o "$user" -g "$user" -m 0775 "$folder" # what StateDirectory= does
mkdir -p /etc/kesto
echo 'KESTO_INTERVAL=0.5' > "/etc/kesto/$instance.env"
printf 'OfiOut=ﾌｧｲﾙ\r\n' | iconv -f UTF-8 -t CP932 > "$folder/Kesto.sys"
chown "$user:$user" "$folder/Kesto.sys"
cp samples/PART-A3.OFI "$folder/部品図.OFI"
touch -d '-10 seconds' "$folder/部品図.OFI"
chown "$user:$user" "$folder/部品図.OFI"
expanded=$(
    set -a
    eval "$(value Environment)"
    while read -r file; do
        file="${file#-}"
        # shellcheck disable=SC1090
        [ -f "$file" ] && . "$file"
    done < <(value EnvironmentFile)
    eval "echo \"$command\""
)
[ "$expanded" = "/usr/bin/kesto-cli AUTO0.5" ] || fail "the instance runs '$expanded'"
(cd "$folder" && exec setpriv --reuid="$user" --regid="$user" --init-groups $expanded) \
    > "$work/out.log" 2> "$work/err.log" &
pid=$!
for _ in $(seq 1 80); do
    [ -s "$folder/部品図.GLF" ] && [ ! -e "$folder/部品図.OFI" ] && break
    sleep 0.25
done
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
[ "$status" -eq 0 ] || fail "the spooler ended with $status after SIGTERM: $(cat "$work/err.log")"
[ -s "$folder/部品図.GLF" ] || fail "no GLF file: $(cat "$work/out.log" "$work/err.log")"
[ "$(stat -c %U "$folder/部品図.GLF")" = "$user" ] || fail "the GLF file does not belong to $user"
[ ! -e "$folder/部品図.OFI" ] || fail "the OFI file was not deleted"
grep -q '出図終了' "$work/out.log" || fail "no status line: $(cat "$work/out.log")"
ok "kesto@$instance's command line as $user converted a drawing and stopped cleanly on SIGTERM"

# --- purged: only the office's data and the system user stay --------------------
dpkg -L kesto > "$work/installed"
DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq kesto >/dev/null 2>&1 || fail "apt purge"
[ -d "$folder" ] && [ -s "$folder/Kesto.sys" ] || fail "purge removed the instance's program folder"
[ ! -e /etc/kesto ] && [ ! -e /etc/default/kesto ] || fail "purge left the settings in /etc"
# Every file of the package is gone, and its own folders with them.
left=$(while read -r path; do
    if [ -e "$path" ] && { [ ! -d "$path" ] || [[ "$path" == */kesto ]]; }; then echo "$path"; fi
done < "$work/installed" | grep -vx /var/lib/kesto || true)
[ -z "$left" ] || fail "purge left behind: $left"
getent passwd kesto >/dev/null || fail "purge removed the system user (its files would lose their owner)"
rm -rf /var/lib/kesto
ok "purged; the instance folder was kept, nothing else is left but the system user"
