#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the build into a temporary prefix and checks the layout: the program with every file of install/
# beside it, a relative bin/lentrova link, a valid desktop entry and the icon, the finder with its link and
# manual page. Then starts the program the way
# the desktop menu does (the entry's Exec line, found on PATH) under Xvfb and checks that its window shows,
# carrying the icon it reads from its own folder: proof that it looked beside itself, not beside the link.
set -euo pipefail
cmake=$1 build=$2 source=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
fail() {
    echo "FAIL: $*"
    exit 1
}

"$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" || { cat "$work/install.log"; fail "install"; }
app=$prefix/lib/lentrova

[ -f "$app/lentrova" ] && [ -x "$app/lentrova" ] || fail "no program at lib/lentrova/lentrova"
[ -L "$prefix/bin/lentrova" ] || fail "bin/lentrova is not a link"
case $(readlink "$prefix/bin/lentrova") in
    /*) fail "bin/lentrova points to an absolute path; the tree could not move" ;;
esac
[ "$(readlink -f "$prefix/bin/lentrova")" = "$(readlink -f "$app/lentrova")" ] || fail "bin/lentrova points elsewhere"

# The command-line finder beside the program, its link, and its manual page; it runs with no display.
[ -f "$app/lentrova-find" ] && [ -x "$app/lentrova-find" ] || fail "no finder at lib/lentrova/lentrova-find"
[ -L "$prefix/bin/lentrova-find" ] || fail "bin/lentrova-find is not a link"
[ "$(readlink "$prefix/bin/lentrova-find")" = ../lib/lentrova/lentrova-find ] || fail "bin/lentrova-find points elsewhere"
man=$prefix/share/man/man1/lentrova-find.1.gz
[ -f "$man" ] || fail "no manual page for lentrova-find"
gzip -dc "$man" | cmp -s - "$source/packaging/lentrova-find.1" || fail "the manual page differs from packaging/"
gzip -dc "$prefix/share/man/man1/lentrova.1.gz" | cmp -s - "$source/packaging/lentrova.1" ||
    fail "the program's manual page is missing or differs from packaging/"
mkdir -p "$work/tree/sub"
: >"$work/tree/sub/twelve.chars"
found=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/lentrova-find" --eq 16 --unit path "$work/tree") ||
    fail "the installed finder failed"
[ "$found" = "$work/tree/sub/twelve.chars" ] || fail "the installed finder found: $found"

# The finder's completions, where each shell looks; bash's offers the finder's options.
for completion in share/bash-completion/completions/lentrova-find share/zsh/vendor-completions/_lentrova-find \
    share/fish/vendor_completions.d/lentrova-find.fish; do
    [ -f "$prefix/$completion" ] || fail "no completion at $completion"
done
offered=$(bash -c 'source "$1"; COMP_WORDS=(lentrova-find --max); COMP_CWORD=1; _lentrova_find; echo "${COMPREPLY[*]}"' \
    sh "$prefix/share/bash-completion/completions/lentrova-find")
[ "$offered" = --max-depth ] || fail "bash completion of --max offered: $offered"

mapfile -t shipped < <(cd "$source/install" && find . -type f | sort)
((${#shipped[@]} > 0)) || fail "install/ is empty"
for file in "${shipped[@]}"; do
    cmp -s "$source/install/$file" "$app/$file" || fail "install/${file#./} is not beside the program"
done

desktop=$prefix/share/applications/lentrova.desktop
[ -f "$desktop" ] || fail "no desktop entry"
desktop-file-validate "$desktop" || fail "desktop entry does not validate"
for line in "Type=Application" "Name=Lentrova Software" "Exec=lentrova" "Icon=lentrova" "Terminal=false"; do
    grep -qxF "$line" "$desktop" || fail "desktop entry lacks $line"
done
icon=$prefix/share/icons/hicolor/64x64/apps/lentrova.png
[ -f "$icon" ] || fail "no icon in the hicolor theme"
# PNG signature, then the width and height of the IHDR chunk, big-endian.
[ "$(od -An -tx1 -N8 "$icon" | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "icon is not a PNG"
[ "$(od -An -tu1 -j16 -N8 "$icon" | tr -s ' ' | sed 's/^ //')" = "0 0 0 64 0 0 0 64" ] || fail "icon is not 64 x 64"

# Nothing but these places.
while IFS= read -r path; do
    case ${path#"$prefix"/} in
        bin/lentrova | bin/lentrova-find | lib/lentrova/* | share/applications/lentrova.desktop | \
            share/icons/hicolor/*/apps/lentrova.* | share/man/man1/lentrova-find.1.gz | \
            share/bash-completion/completions/lentrova-find | share/zsh/vendor-completions/_lentrova-find | \
            share/fish/vendor_completions.d/lentrova-find.fish) ;;
        share/man/man1/lentrova.1.gz | share/doc/lentrova/changelog.gz | share/doc/lentrova/copyright) ;;
        share/metainfo/com.example.quenlor.lentrova.metainfo.xml) ;;
        *) fail "unexpected file installed: ${path#"$prefix"/}" ;;
    esac
done < <(find "$prefix" -type f -o -type l)

export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
export PATH=$prefix/bin:$PATH
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
cd "$work"
xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" bash -s "$exec_line" "$work" <<'INNER'
set -euo pipefail
exec_line=$1 work=$2
unset QT_QPA_PLATFORM
$exec_line >"$work/log" 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
wid=$(timeout 20 xdotool search --sync --onlyvisible --pid $pid --name '^Lentrova Software$' | head -n 1) || true
[ -n "$wid" ] || { echo "FAIL: no window from the installed program"; cat "$work/log"; exit 1; }
echo "installed program shows window $wid"
# Read the whole property first: grep -q leaving early would fail the pipe under pipefail.
has_icon() { [[ $(xprop -id "$wid" _NET_WM_ICON) == *"Icon (64 x 64)"* ]]; }
for _ in $(seq 1 50); do
    has_icon && break
    sleep 0.1
done
has_icon || { echo "FAIL: the window has no icon"; exit 1; }
kill -0 $pid
INNER
echo "install layout ok"
