#!/usr/bin/env bash
# Makes a real x64 MSI (wixl) with one external cabinet (gcab) whose one file
# has SIZE_MIB mebibytes of content:
#   random  bytes from /dev/urandom: neither the cabinet nor a setup compresses
#   text    generated log lines: the cabinet compresses like real logs do
# The file is stored in the cabinet without compression, so the cabinet is as
# compressible as its content.
#   make-bench-msi.sh OUT_DIR SIZE_MIB random|text
# Writes OUT_DIR/bench.msi and OUT_DIR/bench.cab.
set -euo pipefail
out="$1"
size_mib="$2"
kind="$3"
here=$(cd "$(dirname "$0")" && pwd)
code="{B3E5C0DE-0B1C-4D2E-8F30-415263748596}"
upgrade="{B3E5C0DE-0B1C-4D2E-8F30-415263748597}"
component="{B3E5C0DE-0B1C-4D2E-8F30-415263748598}"

mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d "$out/.make.XXXXXX")
trap 'rm -rf "$work"' EXIT

bytes=$((size_mib * 1024 * 1024))
case "$kind" in
  random) head -c "$bytes" /dev/urandom > "$work/payload.bin" ;;
  text) python3 "$here/make_log_text.py" "$bytes" > "$work/payload.bin" ;;
  *) echo "unknown kind: $kind (random or text)" >&2; exit 2 ;;
esac

cat > "$work/package.wxs" <<WXS
<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="$code" Name="msistub bench" Language="1033" Version="1.0.0"
           Manufacturer="msistub" UpgradeCode="$upgrade">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"/>
    <Media Id="1" Cabinet="bench.cab" EmbedCab="no"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="ProgramFiles64Folder">
        <Directory Id="INSTALLDIR" Name="msistub bench">
          <Component Id="Payload" Guid="$component" Win64="yes">
            <File Id="payload.bin" Name="payload.bin" Source="payload.bin" KeyPath="yes"/>
          </Component>
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="Main" Level="1"><ComponentRef Id="Payload"/></Feature>
  </Product>
</Wix>
WXS

(cd "$work" && wixl -a x64 -o "$out/bench.msi" package.wxs)
# No -z: the cabinet stores its file as it is.
(cd "$work" && gcab -c -n "$out/bench.cab" payload.bin)
