#!/bin/sh
# Makes a Wine prefix at $1 once: no crash dialog, no Mono or Gecko prompts.
# Safe to call from several processes at once.
set -e
prefix="$1"
[ -f "$prefix/.msistub-ready" ] && exit 0
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
[ -f "$prefix/.msistub-ready" ] && exit 0
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
wineboot --init >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
wineserver -w
# Wine links Desktop, Documents and the other user folders to the Linux home
# folder; real folders keep whatever a test puts there inside the prefix.
for link in "$prefix"/drive_c/users/*/*; do
  if [ -L "$link" ]; then rm "$link" && mkdir "$link"; fi
done
# The first listing of a fresh folder moves its access time, which Wine's
# shell puts into the folder's item id: a folder browser that finds a path
# and then lists it would no longer match its own tree. List them all now.
find "$prefix/drive_c" >/dev/null 2>&1 || true
touch "$prefix/.msistub-ready"
