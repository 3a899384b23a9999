#!/usr/bin/env bash
# Follows the README's "Shipping your own MSI" as a new vendor would: its
# shell blocks run in order, in one shell, from a folder that holds nothing
# but the Debian package that scripts/package.sh wrote into dist/ (no source
# tree, no build), with a home folder of their own, on MSIs made beforehand
# where the guide expects them. The signing blocks run as written but for
# their timestamp (`-ts URL`), which needs the network. What the README says
# the commands print must be what they print, the extract layout it
# describes must be what extract writes, and the signed setup the guide made
# must install its product under Wine.
source "$(dirname "$0")/../e2e/lib.sh"

readme="$MSISTUB_SOURCE/README.md"
downloads="$E2E_TMP/downloads"
# Its real path: --version names the stub by the path the system gives.
export HOME="$(cd "$E2E_TMP" && pwd -P)/home"
mkdir -p "$downloads" "$HOME"
debs=("$MSISTUB_SOURCE"/dist/msistub_*_amd64.deb)
[ -f "${debs[0]}" ] || fail "no Debian package in $MSISTUB_SOURCE/dist: run scripts/package.sh first"
[ "${#debs[@]}" = 1 ] || fail "more than one Debian package in $MSISTUB_SOURCE/dist: ${debs[*]}"
cp "${debs[0]}" "$downloads/"

# The vendor's packages: one as the guide's single example, and a pair as
# wixl makes them, both with the Template x64;1033.
code='{6F1A2B3C-4D5E-4F60-8172-93A4B5C6D7E8}'
bash "$MSISTUB_SOURCE/scripts/make-demo-msi.sh" "$HOME/product" "Your Product" "$code" 1033 product.msi >/dev/null
bash "$MSISTUB_SOURCE/scripts/make-demo-msi.sh" "$HOME/product/en-US" "Your Product" "$code" 1033 product.msi >/dev/null
bash "$MSISTUB_SOURCE/scripts/make-demo-msi.sh" "$HOME/product/de-DE" "Ihr Produkt" \
  '{6F1A2B3C-4D5E-4F60-8172-93A4B5C6D7E9}' 1033 product.msi >/dev/null

# The vendor's icon: the least pack takes, a 16x16 and a 32x32 image in
# 32-bit colour, so it cannot be mistaken for msistub's own.
python3 "$MSISTUB_SOURCE/scripts/make_icon.py" "$E2E_TMP/own.ico"
python3 - "$E2E_TMP/own.ico" "$HOME/product/product.ico" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
images = []
for index in range(struct.unpack("<H", data[4:6])[0]):
    width, height, colours, reserved, planes, bits, size, offset = struct.unpack(
        "<BBBBHHII", data[6 + 16 * index:22 + 16 * index])
    if width in (16, 32) and bits == 32:
        images.append((width, height, colours, reserved, planes, bits, data[offset:offset + size]))
out = struct.pack("<HHH", 0, 1, len(images))
offset = 6 + 16 * len(images)
for width, height, colours, reserved, planes, bits, image in images:
    out += struct.pack("<BBBBHHII", width, height, colours, reserved, planes, bits, len(image), offset)
    offset += len(image)
open(sys.argv[2], "wb").write(out + b"".join(image[-1] for image in images))
PY

# The guide's blocks: ```sh fences inside the section, up to the next "## ".
guide="$E2E_TMP/guide.sh"
python3 - "$readme" "$guide" "$E2E_TMP" <<'PY'
import re, sys
readme, guide, work = sys.argv[1:]
text = open(readme, encoding="utf-8").read()
section = re.search(r"^## Shipping your own MSI\n(.*?)^## ", text, re.S | re.M)
if not section:
    sys.exit("README.md has no section 'Shipping your own MSI'")
blocks = re.findall(r"^ *```(\w+)\n(.*?)^ *```$", section.group(1), re.S | re.M)
out = ["set -euo pipefail"]
number = 0
for kind, body in blocks:
    if kind != "sh":
        continue
    number += 1
    lines = "\n".join(line.strip() for line in body.splitlines())
    # A timestamp server is out of reach here; everything else runs as written.
    lines = re.sub(r" -ts \S+", "", lines)
    # Redirected, not grouped: a group on the left of || would run
    # without errexit, and a failing command inside it would go unnoticed.
    out.append(f"exec >{work}/block-{number}.out 2>&1")
    out.append(lines)
samples = [body for kind, body in blocks if kind == "text"]
open(guide, "w").write("\n".join(out) + "\n")
open(f"{work}/pack-sample.txt", "w").write(samples[0] if samples else "")
PY
[ -s "$E2E_TMP/pack-sample.txt" ] || fail "the guide shows no output of pack"

# The guide needs no toolchain: its commands name no compiler and no build.
if grep -nE '(^|[ /])(cmake|ctest|ninja|make|gcc|g\+\+|x86_64-w64-mingw32-[a-z+]+)( |$)' "$guide"; then
  fail "the guide's commands above need a build toolchain"
fi

if ! (cd "$downloads" && bash "$guide"); then
  last=$(ls -t "$E2E_TMP"/block-*.out | head -n 1)
  tail -n 40 "$last" >&2
  fail "a command of the guide failed in $(basename "$last" .out) (its output above)"
fi
pass "every command of the guide ran"

# The guide packed with the stub the package installs, which now carries the
# vendor's key, and kept keys and certificate out of the download folder.
tool="$HOME/msistub/usr/bin/msistub-pack"
[ -x "$tool" ] || fail "the guide did not unpack msistub-pack to $tool"
"$tool" verify --public-key "$HOME/msistub-keys/vendor-public.pem" "$HOME/product/setup.exe" >/dev/null ||
  fail "the setup's launcher does not carry the vendor's key"
[ -z "$(cd "$downloads" && find . \( -name '*private*.pem' -o -name 'vendor-cert*' \))" ] ||
  fail "a private key or the signing certificate landed beside the package"
pass "the guide packed with the package's tool and stub, the setup carries the vendor's key, and keys and certificate stay in their own folders"

# --version prints the lines the README quotes: the tool's version, and the
# stub it found in the unpacked package with the version of its resource.
quoted=$(grep -zoE '`--version` prints[^:]*: `[^`]+` and `[^`]+`' "$readme" | tr -d '\0' | tr '\n' ' ' |
  sed -E 's/ +/ /g; s/.*: `([^`]+)` and `([^`]+)`/\1\n\2/; s|/home/you|'"$HOME"'|g')
[ "$(wc -l <<< "$quoted")" = 2 ] || fail "the README quotes no two lines of --version"
version_block=$(grep -l '^msistub-pack [0-9]' "$E2E_TMP"/block-*.out | sed -n 1p) || fail "no block printed --version"
[ "$(grep -E '^msistub(-pack|\.exe) ' "$version_block")" = "$quoted" ] || fail "--version printed
$(cat "$version_block")
where the README shows
$quoted"
pass "--version prints what the README quotes: $(echo $quoted)"

# The branding the guide gives pack is in the setup, with the product's name
# and version taken from the MSI.
version_value() {
  x86_64-w64-mingw32-strings -el "$HOME/product/setup.exe" | grep -A1 -x "$1" | sed -n 2p
}
for pair in "CompanyName=Your Company" "ProductName=Your Product" "ProductVersion=1.0.0" "FileVersion=1.0.0" \
  "LegalCopyright=Copyright 2026 Your Company" "FileDescription=Your Product Setup"; do
  [ "$(version_value "${pair%%=*}")" = "${pair#*=}" ] ||
    fail "${pair%%=*} of the setup is '$(version_value "${pair%%=*}")', not '${pair#*=}'"
done
wrestool -x -t14 -n APP "$HOME/product/setup.exe" -o "$E2E_TMP/setup.ico" || fail "the setup has no icon group APP"
[ "$(icotool -l "$E2E_TMP/setup.ico")" = "$(icotool -l "$HOME/product/product.ico")" ] ||
  fail "the setup's icon is not the vendor's"
pass "the setup carries the vendor's icon and version resource"

# The pack output is the one the README shows: its summary line word for
# word but for the home folder and the size, which depends on the build of
# the stub and is held to 10% of the README's figure, and its manifest lines.
pack_block=$(grep -l "packed 1 package" "$E2E_TMP"/block-*.out | head -n 1) || fail "no block printed pack's summary"
expected=$(grep -E '^ *[0-9]{4}  ' "$E2E_TMP/pack-sample.txt" | sed 's/^ *//')
actual=$(grep -E '^ *[0-9]{4}  ' "$pack_block" | sed 's/^ *//')
[ "$expected" = "$actual" ] || fail "pack printed
$actual
where the README shows
$expected"
summary_shape='s/[0-9][0-9]* bytes)$/N bytes)/'
expected=$(grep -E '^ *packed ' "$E2E_TMP/pack-sample.txt" | sed -e 's/^ *//' -e "s|/home/you|$HOME|") ||
  fail "the README shows no summary line of pack"
actual=$(grep '^packed ' "$pack_block")
[ "$(sed "$summary_shape" <<< "$expected")" = "$(sed "$summary_shape" <<< "$actual")" ] || fail "pack printed
$actual
where the README shows
$expected"
readme_size=$(sed -E 's/.* ([0-9]+) bytes\)$/\1/' <<< "$expected")
real_size=$(stat -c %s "$HOME/product/setup.exe")
[ "$(sed -E 's/.* ([0-9]+) bytes\)$/\1/' <<< "$actual")" = "$real_size" ] || fail "pack printed a size other than the file's"
[ $((real_size * 100)) -ge $((readme_size * 90)) ] && [ $((real_size * 100)) -le $((readme_size * 110)) ] ||
  fail "the setup is $real_size bytes, the README shows $readme_size"
pass "pack prints the summary and the manifest lines the README shows ($real_size bytes, the README $readme_size)"

# verify prints, for the signed setup, the line the README quotes.
quoted=$(grep -oE '`verify` prints `[^`]+`' "$readme" | head -n 1 | sed -E 's/`verify` prints `(.*)`/\1/')
[ -n "$quoted" ] || fail "the README quotes no output of verify"
grep -lxF "$quoted" "$E2E_TMP"/block-*.out >/dev/null || fail "no block printed '$quoted'"
pass "verify prints what the README quotes: $quoted"

# extract writes the folders the README describes for the multilingual setup.
layout=$(grep -oE '`[0-9]{4}/[^`]+`' "$readme" | tr -d '`')
[ -n "$layout" ] || fail "the README describes no extract layout"
for file in $layout; do
  [ -f "$HOME/product/unpacked-multilingual/$file" ] || fail "extract wrote no $file: $(cd "$HOME/product/unpacked-multilingual" && find . -type f)"
done
[ "$(cd "$HOME/product/unpacked-multilingual" && find . -type f | wc -l)" = "$(wc -w <<< "$layout")" ] ||
  fail "extract wrote other files than the README names: $(cd "$HOME/product/unpacked-multilingual" && find . -type f)"
pass "extract writes the layout the README describes: $(echo $layout)"

setup="$HOME/product/setup-signed.exe"
[ -f "$setup" ] || fail "the guide made no $setup"
use_own_prefix
result=$(run_with_limit 180 "$setup" /qn)
[ "$result" = 0 ] || fail "setup.exe /qn exited with $result"
installed="$DRIVE_C/Program Files/Your Product/readme.txt"
[ -f "$installed" ] || fail "the product is not installed"
cmp -s "$DRIVE_C/windows/Installer/$code/main.msi" "$HOME/product/product.msi" ||
  fail "main.msi does not stay in C:\\windows\\Installer\\$code as the README says"
pass "the guide's setup installs the product and keeps main.msi where the README says"
