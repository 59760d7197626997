#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Makes the Debian package from this build, as scripts/package.sh does, and checks it as Debian would:
# lintian --pedantic shows no error, no warning and no program without bindnow, relro or PIE (the information
# tags the README explains are printed and allowed), and appstreamcli accepts the AppStream metainfo it holds.
# Exits 77 (skipped) where lintian or appstreamcli is not installed; scripts/deps.sh installs both.
set -euo pipefail
build=$1
for tool in lintian appstreamcli dpkg-deb dpkg-shlibdeps; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed here (bash scripts/deps.sh installs it)"
        exit 77
    fi
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*"
    exit 1
}

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/lentrova_*.deb)

# lintian fails on an error or a warning (and when it cannot run at all). Most hardening tags are information
# only, but a program linked without read-only relocations bound at start, or not position independent, must
# not pass. (hardening-no-fortify-functions may stay: it also shows where every call's buffer size is unknown
# to the compiler, so that none could become a checked call; the README says so.)
status=0
lintian --pedantic --display-info --no-cfg --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1 || status=$?
cat "$work/lintian.log"
((status == 0)) || fail "lintian reports errors or warnings (status $status)"
if grep -E ' hardening-no-(bindnow|relro|pie) ' "$work/lintian.log"; then
    fail "a program lacks Debian's hardening flags"
fi

mkdir "$work/root"
dpkg-deb --extract "$deb" "$work/root"
metainfo=("$work"/root/usr/share/metainfo/*.metainfo.xml)
[ -f "${metainfo[0]}" ] || fail "no AppStream metainfo in the package"
appstreamcli validate --no-net --pedantic "${metainfo[@]}" || fail "appstreamcli refuses the metainfo"
echo "package ok: $(basename "$deb")"
