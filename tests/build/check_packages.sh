#!/usr/bin/env bash
# What scripts/package.sh wrote into dist/ is what the vendor guide installs:
# the Debian package holds the packer, the launcher this build made and the
# README at their places and depends on the package of every library the
# packer loads; the Windows zip holds both programs side by side, and its
# packer, run under Wine, finds the launcher beside itself.
# Usage: check_packages.sh SOURCE_DIR WINDOWS_BUILD_DIR
set -euo pipefail
source_dir="$1"
build="$2"
status=0
fail() { echo "FAIL: $*"; status=1; }
ok() { echo "ok: $*"; }

debs=("$source_dir"/dist/msistub_*_amd64.deb)
zips=("$source_dir"/dist/msistub_*_win64.zip)
[ -f "${debs[0]}" ] && [ -f "${zips[0]}" ] || { echo "FAIL: no packages in $source_dir/dist: run scripts/package.sh"; exit 1; }
deb="${debs[0]}"
zip="${zips[0]}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# dpkg -c: mode and path of every file (directories aside).
expected='-rwxr-xr-x ./usr/bin/msistub-pack
-rw-r--r-- ./usr/share/doc/msistub/README.md
-rw-r--r-- ./usr/share/msistub/msistub.exe'
listed=$(dpkg -c "$deb" | awk '$1 !~ /^d/ {print $1, $6}' | LC_ALL=C sort -k2)
[ "$listed" = "$expected" ] && ok "the Debian package holds $(echo $(awk '{print $2}' <<<"$listed"))" ||
  fail "the Debian package holds
$listed
not
$expected"

dpkg -x "$deb" "$work/root"
cmp -s "$work/root/usr/share/msistub/msistub.exe" "$build/msistub.exe" &&
  ok "its launcher is this build's msistub.exe" || fail "its launcher is not this build's msistub.exe"
cmp -s "$work/root/usr/share/doc/msistub/README.md" "$source_dir/README.md" || fail "its README is not the project's"

# Every library the packer needs comes from a package it depends on.
depends=$(dpkg -f "$deb" Depends)
depended=$(tr ',' '\n' <<<"$depends" | awk '{print $1}')
needed=$(objdump -p "$work/root/usr/bin/msistub-pack" | sed -n 's/^ *NEEDED *//p')
[ -n "$needed" ] || fail "the packer names no libraries it needs"
for soname in $needed; do
  # The readers take in all they are given: one that stops early would kill
  # the writer with SIGPIPE, and pipefail would end the check unreported.
  path=$(ldconfig -p | awk -v name="$soname" '$1 == name && /x86-64/ && !found {print $NF; found = 1}')
  [ -n "$path" ] || { fail "$soname is not installed here"; continue; }
  # dpkg knows a library by the path its package ships, the link or its target.
  package=$( (dpkg -S "$path" || dpkg -S "$(readlink -f "$path")") 2>/dev/null | sed -n '1s/:.*//p')
  [ -n "$package" ] || { fail "no package ships $path"; continue; }
  if grep -qxF "$package" <<<"$depended"; then ok "$soname: depends on $package"
  else fail "$soname comes from $package, which Depends ($depends) does not name"; fi
done

# The zip: one folder with both programs and the README.
python3 - "$zip" "$work/zip" <<'PY' || status=1
import sys, zipfile
archive = zipfile.ZipFile(sys.argv[1])
names = sorted(n.split("/", 1)[1] for n in archive.namelist() if not n.endswith("/"))
folders = {n.split("/", 1)[0] for n in archive.namelist()}
if names != ["README.md", "msistub-pack.exe", "msistub.exe"] or len(folders) != 1:
    sys.exit(f"FAIL: the zip holds {archive.namelist()}")
archive.extractall(sys.argv[2])
print("ok: the zip holds " + " ".join(names) + " in " + folders.pop())
PY
folder=$(find "$work/zip" -mindepth 1 -maxdepth 1 -type d)
cmp -s "$folder/msistub.exe" "$build/msistub.exe" || fail "the zip's launcher is not this build's msistub.exe"
grep -q PE32+ <<<"$(file -b "$folder/msistub-pack.exe")" || fail "the zip's msistub-pack.exe is no PE32+ program"

# GetModuleFileNameW names the zip's folder, where the launcher is.
version=$(cd "$folder" && "$build/wine-run.sh" ./msistub-pack.exe --version 2>/dev/null | tr -d '\r')
grep -qE '^msistub-pack [0-9]' <<<"$version" && grep -qE '^msistub\.exe [0-9][^ ]* \(.*msistub\.exe\)$' <<<"$version" &&
  ok "the zip's msistub-pack.exe finds the launcher beside itself: $(echo $version)" ||
  fail "the zip's msistub-pack.exe --version printed: $version"
exit $status
