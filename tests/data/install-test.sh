#!/bin/sh
# Installs the build into a scratch prefix and checks that every file is in its XDG place and
# that the desktop entry and the AppStream metadata validate (offline).
#   install-test.sh BUILD_DIR
set -eu
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$1" --prefix "$prefix" >/dev/null
for file in bin/tellix share/applications/tellix.desktop share/icons/hicolor/scalable/apps/tellix.svg \
    share/metainfo/io.github.tellix.Tellix.metainfo.xml share/man/man1/tellix.1.gz; do
    if [ ! -f "$prefix/$file" ]; then
        echo "install-test: $file was not installed"
        exit 1
    fi
done
desktop-file-validate "$prefix/share/applications/tellix.desktop"
appstreamcli validate --no-net "$prefix/share/metainfo/io.github.tellix.Tellix.metainfo.xml"
# irc:// and ircs:// links in a browser open the client.
grep -qx 'MimeType=x-scheme-handler/irc;x-scheme-handler/ircs;' "$prefix/share/applications/tellix.desktop"
grep -qx 'Exec=tellix %u' "$prefix/share/applications/tellix.desktop"
