#!/usr/bin/env bash
# Makes a small real x64 MSI with wixl whose one file lives in an external
# cabinet made with gcab. Used by the demo and by the end-to-end tests.
#   make-demo-msi.sh OUT_DIR [PRODUCT_NAME] [PRODUCT_CODE] [LANGUAGE] [MSI_NAME] [EXTRA_FILE]
# Writes OUT_DIR/<MSI_NAME> (default demo.msi) and OUT_DIR/<cabinet> beside it.
# EXTRA_FILE, when given, is installed beside readme.txt under its own name.
set -euo pipefail
out="$1"
name="${2:-msistub demo}"
code="${3:-{6F1A2B3C-4D5E-4F60-8172-93A4B5C6D7E8\}}"
language="${4:-1033}"
msi="${5:-demo.msi}"
extra="${6:-}"
cab="${msi%.msi}.cab"
# Stable GUIDs derived from the product code, so the same inputs give the same package.
digest=$(printf '%s' "$code" | sha1sum | tr a-f A-F)
guid() { printf '{%s-%s-%s-%s-%s}' "${digest:$1:8}" "${digest:$(($1+8)):4}" "${digest:$(($1+12)):4}" "${digest:$(($1+16)):4}" "${digest:$(($1+20)):12}"; }
upgrade=$(guid 0)
component=$(guid 4)
extra_component=$(guid 2)
package=$(guid 8)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
out=$(cd "$out" && pwd)
printf 'Installed by %s (language %s).\n' "$name" "$language" > "$work/readme.txt"
files=(readme.txt)
extra_xml=""
extra_ref=""
if [ -n "$extra" ]; then
  extra_name=$(basename "$extra")
  cp "$extra" "$work/$extra_name"
  files+=("$extra_name")
  extra_xml="<Component Id=\"Extra\" Guid=\"$extra_component\" Win64=\"yes\"><File Id=\"$extra_name\" Name=\"$extra_name\" Source=\"$extra_name\" KeyPath=\"yes\"/></Component>"
  extra_ref='<ComponentRef Id="Extra"/>'
fi

cat > "$work/package.wxs" <<WXS
<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="$code" Name="$name" Language="$language" Version="1.0.0"
           Manufacturer="msistub" UpgradeCode="$upgrade">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"/>
    <Media Id="1" Cabinet="$cab" EmbedCab="no"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="ProgramFiles64Folder">
        <Directory Id="INSTALLDIR" Name="$name">
          <Component Id="Readme" Guid="$component" Win64="yes">
            <File Id="readme.txt" Name="readme.txt" Source="readme.txt" KeyPath="yes"/>
          </Component>
          $extra_xml
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="Main" Level="1"><ComponentRef Id="Readme"/>$extra_ref</Feature>
  </Product>
</Wix>
WXS

(cd "$work" && wixl -a x64 -o "$out/$msi" package.wxs)
# wixl writes the Template "x64;1033" whatever the language; the packing tool
# reads the package line's language from it.
msibuild "$out/$msi" -s "$name" msistub "x64;$language" "$package"
(cd "$work" && gcab -c -n -z "$out/$cab" "${files[@]}")
