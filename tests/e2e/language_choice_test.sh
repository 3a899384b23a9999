#!/usr/bin/env bash
# One setup with an English (1033) and a German (1031) package, each with its
# own product code, name and cabinet, installed with Wine's own Windows
# Installer under different user locales (Wine takes the user's default LCID
# from LC_ALL): German installs the German product, English the English one,
# and Swiss German (2055) has no package of its own and gets the German one
# by its primary language. Each run starts from a fresh prefix.
source "$(dirname "$0")/lib.sh"

en_code='{7E5C4A99-B165-4FC2-D374-AA6E5F8B9005}'
de_code='{8F6D5BAA-C276-40D3-E485-BB7F609CA006}'
make_msi "Language Demo EN" "$en_code" 1033 en.msi
make_msi "Language Demo DE" "$de_code" 1031 de.msi
pack_setup "$E2E_TMP/setup.exe" en.msi de.msi

# locale | expected package (its MSI, cabinet and product code) | the other product
rows=(
  "de_DE.UTF-8 de $de_code $en_code"
  "en_US.UTF-8 en $en_code $de_code"
  "de_CH.UTF-8 de $de_code $en_code"
)

for row in "${rows[@]}"; do
  read -r locale package code other <<< "$row"
  locale -a | grep -qixF "${locale/UTF-8/utf8}" || fail "locale $locale is missing; run scripts/setup.sh"
  use_own_prefix

  result=$(LC_ALL=$locale run_with_limit 120 "$E2E_TMP/setup.exe")
  [ "$result" = 0 ] || fail "$locale: exit code $result, expected 0"

  folder="$DRIVE_C/windows/Installer/$code"
  cmp -s "$folder/main.msi" "$E2E_TMP/msi/$package.msi" || fail "$locale: main.msi is not $package.msi"
  cmp -s "$folder/$package.cab" "$E2E_TMP/msi/$package.cab" || fail "$locale: $package.cab was not extracted"
  [ "$(ls -A "$folder" | wc -l)" = 2 ] || fail "$locale: more than the package and its cabinet: $(ls -A "$folder")"
  [ ! -e "$DRIVE_C/windows/Installer/$other" ] || fail "$locale: the other package was extracted as well"

  name="Language Demo ${package^^}"
  grep -q "Installed by $name" "$DRIVE_C/Program Files/$name/readme.txt" 2>/dev/null ||
    fail "$locale: $name is not installed"
  uninstall_string "$code" >/dev/null || fail "$locale: $name is not registered"
  ! uninstall_string "$other" >/dev/null || fail "$locale: the other product is registered as well"
  pass "$locale: $name installed from its own main.msi and $package.cab"
done
