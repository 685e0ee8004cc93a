#!/bin/sh
# The user guide against the program: the commands page must be what the interpreter's /help
# table renders now, and every relative link of the README and the guide must reach a file.
# Usage: check-docs.sh <source folder> [commands page generator]
# Without a generator only the links are checked.
set -u
root=$1
generator=${2:-}
failed=0

if [ -n "$generator" ]; then
    rendered=$(mktemp)
    trap 'rm -f "$rendered"' EXIT
    if ! "$generator" >"$rendered"; then
        echo "$generator failed"
        failed=1
    elif ! diff -u "$root/docs/commands.md" "$rendered"; then
        echo "docs/commands.md is not what the /help table says now; regenerate it with"
        echo "    make docs    (or: $generator > docs/commands.md)"
        failed=1
    fi
fi

for page in "$root"/README.md "$root"/docs/*.md; do
    [ -f "$page" ] || continue
    folder=$(dirname "$page")
    # Inline links and images: ](target) or ](target "title"); code spans may hold brackets,
    # so they are dropped first.
    for target in $(sed -e 's/`[^`]*`//g' "$page" | grep -o ']([^)[:space:]]*' | cut -c3-); do
        case $target in
        http://* | https://* | mailto:* | irc://* | ircs://* | '#'*) continue ;;
        esac
        file=${target%%#*}
        if [ ! -e "$folder/$file" ]; then
            echo "${page#"$root"/}: link to $target: no such file"
            failed=1
        fi
    done
done

if [ "$failed" -eq 0 ]; then
    echo "docs: commands page current, every link resolves"
fi
exit "$failed"
