#!/usr/bin/env bash
# Builds the Debian package of kesto from this tree, the Debian way
# (debian/, dpkg-buildpackage), and checks it with lintian:
#
#   scripts/package-deb.sh        # -> out/kesto_<version>_amd64.deb
#
# The tree (committed and uncommitted files that git knows or would add) is
# copied to build/deb first, so that nothing is built inside the sources and
# the package comes out as it would from a fresh clone.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

upstream=$(sed -n 's/^project(kesto VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
debian_version=$(dpkg-parsechangelog -S Version)
if [ "${debian_version%-*}" != "$upstream" ]; then
    echo "package-deb: debian/changelog says $debian_version, CMakeLists.txt $upstream" >&2
    exit 1
fi
arch=$(dpkg --print-architecture)

work=build/deb
tree="$work/kesto-$upstream"
rm -rf "$work"
mkdir -p "$tree" out
rm -f out/kesto_*.deb
git ls-files -z --cached --others --exclude-standard |
    while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
    tar --null -T - -cf - | tar -xf - -C "$tree"

echo "== building kesto_${debian_version}_${arch}.deb =="
# ccache (when there is one) keeps a rebuild short; the package is the same.
if command -v ccache >/dev/null 2>&1; then
    export CMAKE_CXX_COMPILER_LAUNCHER=ccache CMAKE_C_COMPILER_LAUNCHER=ccache
fi
(cd "$tree" && DEB_BUILD_OPTIONS="parallel=$(nproc) ${DEB_BUILD_OPTIONS:-}" \
    dpkg-buildpackage -us -uc -b) > "$work/build.log" 2>&1 || {
    tail -n 40 "$work/build.log" >&2
    echo "package-deb: dpkg-buildpackage failed (whole log in $work/build.log)" >&2
    exit 1
}
deb="kesto_${debian_version}_${arch}.deb"
mv "$work/$deb" out/

echo "== lintian =="
# The one override (debian/kesto.lintian-overrides) says why it is there.
lintian --info --fail-on error,warning "out/$deb"
echo "package-deb: out/$deb"
