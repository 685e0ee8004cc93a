#!/bin/sh
# Builds the Debian package from a built tree, unpacks it into a scratch root and checks what a
# user would get: every file in its place, dependencies found by shlibdeps, a binary that runs
# and says its version, a manual page that renders cleanly and names every option, and no
# lintian error.
#   package-test.sh BUILD_DIR VERSION CPACK
set -eu
build=$1
version=$2
cpack=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
trap 'exit 1' INT TERM # a timeout's kill still cleans up

fail() {
    echo "package-test: $*"
    exit 1
}

if ! "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1; then
    cat "$scratch/cpack.log"
    fail "cpack failed"
fi
set -- "$scratch"/out/*.deb
if [ $# -ne 1 ] || [ ! -f "$1" ]; then
    fail "expected one .deb, found: $*"
fi
deb=$1
root=$scratch/root
dpkg-deb -x "$deb" "$root"

for file in usr/bin/tellix usr/share/applications/tellix.desktop \
    usr/share/icons/hicolor/scalable/apps/tellix.svg usr/share/metainfo/io.github.tellix.Tellix.metainfo.xml \
    usr/share/man/man1/tellix.1.gz usr/share/doc/tellix/copyright usr/share/doc/tellix/changelog.gz; do
    [ -f "$root/$file" ] || fail "$file is not in the package"
done

[ "$(dpkg-deb -f "$deb" Package)" = tellix ] || fail "the package is not named tellix"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version $(dpkg-deb -f "$deb" Version), not $version"
# The first entry of the changelog is the release being packaged.
first=$(gzip -dc "$root/usr/share/doc/tellix/changelog.gz" | head -n 1)
case $first in
"tellix ($version) "*) ;;
*) fail "the changelog starts with '$first', not version $version" ;;
esac
depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 libsqlite3-0 libc6; do
    # Debian 13 renamed some of them with a t64 suffix.
    printf '%s\n' "$depends" | grep -Eq "(^|, )$library(t64)?( |,|$)" ||
        fail "Depends lacks $library: $depends"
done

said=$(QT_QPA_PLATFORM=offscreen "$root/usr/bin/tellix" --version)
[ "$said" = "tellix $version" ] || fail "--version said '$said', not 'tellix $version'"

# Rendered as lintian renders it: any warning on standard error is a fault of the page.
page=$root/usr/share/man/man1/tellix.1.gz
LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" >/dev/null 2>"$scratch/man.err" ||
    fail "man could not render the page: $(cat "$scratch/man.err")"
[ ! -s "$scratch/man.err" ] || fail "the page renders with warnings: $(cat "$scratch/man.err")"
LC_ALL=C.UTF-8 MANWIDTH=200 man -E UTF-8 -l "$page" 2>/dev/null | col -b >"$scratch/page.txt"
# Every option the program takes is documented.
QT_QPA_PLATFORM=offscreen "$root/usr/bin/tellix" --help >"$scratch/help.txt"
options=$(grep -Eo -- '--[a-z][a-z-]*' "$scratch/help.txt" | sort -u)
[ -n "$options" ] || fail "--help lists no options"
for option in $options; do
    grep -qF -- "$option" "$scratch/page.txt" || fail "the manual page does not document $option"
done

# Errors fail; warnings and notes are shown. A lintian that cannot run at all fails too, so
# that a missing lintian never passes for a clean package.
command -v lintian >/dev/null || fail "lintian is not installed (scripts/install-deps installs it)"
status=0
lintian --tag-display-limit 0 "$deb" >"$scratch/lintian.txt" 2>&1 || status=$?
cat "$scratch/lintian.txt"
grep -q '^E:' "$scratch/lintian.txt" && fail "lintian reports errors"
[ "$status" -eq 0 ] || fail "lintian ended with status $status"
