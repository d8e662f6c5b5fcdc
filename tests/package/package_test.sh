#!/usr/bin/env bash
# The Debian package as a player gets it (make test-package, after make deb):
# lintian and the two validators, the files unpacked from it, one version
# everywhere, then installed with dpkg, started from its desktop entry in a
# virtual display and removed without a trace. Needs root for dpkg -i.
#   tests/package/package_test.sh FOLDER VERSION
set -uo pipefail
out=$1 version=$2
deb=$out/zorva_${version}_$(dpkg --print-architecture).deb
scratch=$(mktemp -d) root=$(mktemp -d)/root passed=0 failed=0 xvfb= game=
cleanup() {
  [ -n "$game" ] && kill "$game" 2>/dev/null
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  dpkg -s zorva >/dev/null 2>&1 && dpkg --purge zorva >/dev/null
  rm -rf "$scratch" "$(dirname "$root")"
}
trap cleanup EXIT
check() {  # WHAT COMMAND...: one case
  local what=$1; shift
  if "$@"; then passed=$((passed + 1)); else echo "FAIL: $what"; failed=$((failed + 1)); fi
}
same() { [ "$1" = "$2" ] || { echo "  got:  $1"; echo "  want: $2"; return 1; }; }
quiet() { local said; said=$("$@" 2>&1) && [ -z "$said" ] || { echo "$said"; return 1; }; }

[ -f "$deb" ] || { echo "FAIL: no package $deb"; echo "0 passed, 1 failed"; exit 1; }
files="/lib/systemd/system/zorva-board.service
/usr/games/zorva
/usr/games/zorva-board
/usr/lib/games/zorva/zorva
/usr/lib/games/zorva/効果音.wav
/usr/share/applications/org.zorva.Zorva.desktop
/usr/share/doc/zorva/changelog.gz
/usr/share/doc/zorva/copyright
/usr/share/icons/hicolor/128x128/apps/zorva.png
/usr/share/icons/hicolor/256x256/apps/zorva.png
/usr/share/icons/hicolor/32x32/apps/zorva.png
/usr/share/man/man1/zorva-board.1.gz
/usr/share/man/man6/zorva.6.gz
/usr/share/metainfo/org.zorva.Zorva.metainfo.xml"
entry=$root/usr/share/applications/org.zorva.Zorva.desktop
metainfo=$root/usr/share/metainfo/org.zorva.Zorva.metainfo.xml
manual=$root/usr/share/man/man6/zorva.6.gz

check "lintian finds no error or warning" lintian --fail-on error,warning "$out"/zorva_"$version"_*.changes
dpkg -x "$deb" "$root"
check "the package holds exactly the game's files" same "$(cd "$root" && find . ! -type d | sed 's/^\.//' | LC_ALL=C sort)" "$files"
for size in 32 128 256; do
  check "the ${size}x$size icon" same "$(identify -format %wx%h "$root/usr/share/icons/hicolor/${size}x$size/apps/zorva.png")" "${size}x$size"
done
check "desktop-file-validate" quiet desktop-file-validate "$entry"
check "appstreamcli validate --no-net" appstreamcli validate --no-net "$metainfo"
for locale in C.UTF-8 C; do
  check "man -l renders without warnings ($locale)" \
    same "$(LC_ALL=$locale MANWIDTH=80 man --warnings -l "$manual" 2>&1 >/dev/null)" ""
done

# One version: the project's, the one --version prints (from the unpacked
# tree, through the launcher), the package's, the metainfo's latest release
# and the manual page's footer.
versions=$("$root/usr/games/zorva" --version | sed 's/^zorva //'),$(dpkg-deb -f "$deb" Version)
versions=$versions,$(grep -o -m 1 '<release version="[^"]*"' "$metainfo" | cut -d '"' -f 2)
versions=$versions,$(zcat "$manual" | sed -n 's/^\.TH [^"]*"[^"]*" "[^"]*" "zorva \([^"]*\)".*/\1/p')
check "one version everywhere" same "$versions" "$version,$version,$version,$version"

# zorva-board: its manual page renders and the program answers (its service
# is checked once installed).
board_manual=$root/usr/share/man/man1/zorva-board.1.gz
check "man -l zorva-board.1 renders without warnings" \
  same "$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$board_manual" 2>&1 >/dev/null)" ""
check "zorva-board --version" same "$("$root/usr/games/zorva-board" --version)" "zorva-board $version"

if [ "$(id -u)" -ne 0 ]; then
  echo "FAIL: installing the package needs root"
  echo "$passed passed, $((failed + 1)) failed"
  exit 1
fi
check "dpkg -i" dpkg -i "$deb"
check "dpkg -L lists the files" same "$(dpkg -L zorva | grep -Fx -f <(echo "$files") | LC_ALL=C sort)" "$files"
check "systemd-analyze verify zorva-board.service" quiet systemd-analyze verify /lib/systemd/system/zorva-board.service
check "the service is installed but not enabled" same "$(ls /etc/systemd/system/*.wants/zorva-board.service 2>/dev/null)" ""
command=$(sed -n 's/^Exec=//p' /usr/share/applications/org.zorva.Zorva.desktop | head -n 1)
check "the desktop entry starts /usr/games/zorva" same "$command" /usr/games/zorva

# The menu's command in a virtual display: the launcher hands over to the
# program beside its sound, whose window appears.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$scratch/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [ -s "$scratch/display" ] && break; sleep 0.1; done
export DISPLAY=:$(head -n 1 "$scratch/display")
SDL_AUDIODRIVER=dummy $command 2>"$scratch/stderr" &
game=$!
window_shown() { timeout 30 xdotool search --sync --onlyvisible --pid "$game" >/dev/null; }
check "the installed game shows its window" window_shown
check "the running program is the installed one" same "$(readlink "/proc/$game/exe")" /usr/lib/games/zorva/zorva
kill "$game" && wait "$game" 2>/dev/null
game=

check "dpkg --purge" dpkg --purge zorva
check "dpkg forgets the package" same "$(dpkg-query -W -f '${Status}' zorva 2>/dev/null)" ""
left=$(while read -r f; do [ -e "$f" ] && echo "$f"; done <<<"$files"; ls -d /usr/lib/games/zorva /usr/share/doc/zorva 2>/dev/null)
check "nothing of it is left" same "$left" ""

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
