#!/usr/bin/env bash
# Installs the build into a scratch root as the package would, then checks what landed: the
# desktop entry and the AppStream metainfo with their validators, every icon at its size, the
# manual pages and the completion.
# Usage: validate_install.sh BUILD_DIR
set -uo pipefail
build=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
failed=0 passed=0
check() {  # check WHAT COMMAND...: the command succeeds
    local what=$1 out
    shift
    if out=$("$@" 2>&1); then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        printf 'FAIL: %s\n%s\n' "$what" "$out"
    fi
}

DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null || { echo "FAIL: cmake --install"; exit 1; }
share=$root/usr/share
desktop=$share/applications/plotwick.desktop
metainfo=$(echo "$share"/metainfo/*.metainfo.xml)

# desktop-file-validate says hints and warnings but fails only on errors: fail on warnings too.
check "desktop-file-validate $desktop" bash -c '! desktop-file-validate "$1" | grep -iE "error|warning"' _ "$desktop"
check "appstreamcli validate --no-net $metainfo" appstreamcli validate --no-net "$metainfo"
check "appstreamcli validate-tree --no-net (metainfo, desktop entry and icon together)" \
    appstreamcli validate-tree --no-net "$root"
check "the metainfo names the installed desktop entry" grep -q ">plotwick.desktop</launchable>" "$metainfo"
version=$(sed -n 's/^plotwick-cli //p' < <("$root/usr/bin/plotwick-cli" --version))
check "the metainfo's release is version $version" grep -q "<release version=\"$version\"" "$metainfo"

check "scalable icon" test -s "$share/icons/hicolor/scalable/apps/plotwick.svg"
for png in "$share"/icons/hicolor/*x*/apps/plotwick.png; do
    size=$(basename "$(dirname "$(dirname "$png")")")
    # The PNG header: width and height, 32-bit big-endian, at bytes 16 and 20.
    read -r w0 w1 w2 w3 h0 h1 h2 h3 < <(od -An -tu1 -j16 -N8 "$png")
    check "$png is $size" test "$(( (w0 << 24) | (w1 << 16) | (w2 << 8) | w3 ))x$(( (h0 << 24) | (h1 << 16) | (h2 << 8) | h3 ))" = "$size"
done
for page in plotwick plotwick-cli; do
    check "man page $page(1) formats without warnings" \
        bash -c '! MANWIDTH=80 man --warnings -l "$1" 2>&1 >/dev/null | grep .' _ "$share/man/man1/$page.1.gz"
done
check "bash completion" bash -c '. "$1" && complete -p plotwick-cli' _ "$share/bash-completion/completions/plotwick-cli"

echo "$passed passed, $failed failed"
((failed == 0))
