#!/usr/bin/env bash
# Builds the .deb with CPack, unpacks it into a temporary root and checks what a
# user gets from it: the dependencies found from the shared libraries and Qt's
# Chinese texts, both programs starting from the unpacked tree, the example
# workbooks read by the packaged program, the platform named in a system
# configuration file reached, and a desktop entry, icon and AppStream metadata
# that the desktop's own tools accept.
# Usage: tst_package.sh BUILD_DIR SOURCE_DIR
set -euo pipefail

build=$1
source=$2
app_id=com.veltrin.ContactImport
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; exit 1; }
debs=("$work"/out/*.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || { echo "FAIL: expected one .deb, found: ${debs[*]}" >&2; exit 1; }
deb=${debs[0]}

# Each library the programs link to must have brought its package in; none of
# them is listed by hand.
depends=$(dpkg-deb --field "$deb" Depends)
echo "Depends: $depends"
depended=$(sed 's/ *([^)]*)//g; s/, */\n/g' <<<"$depends")
for package in libc6 'libstdc\+\+6' libqt6core6 libqt6gui6 libqt6widgets6 libcurl4 libxml2 'libzip[0-9]+' \
               'libcpp-httplib[0-9.]+' qt6-translations-l10n; do
  grep -Exq "$package" <<<"$depended" || fail "Depends lacks $package"
done

root=$work/root
dpkg-deb --extract "$deb" "$root"
for file in usr/bin/veltrin-import usr/libexec/veltrin-import/veltrin-import-full usr/bin/veltrin-demo-server \
            "usr/share/applications/$app_id.desktop" "usr/share/metainfo/$app_id.metainfo.xml" \
            "usr/share/icons/hicolor/scalable/apps/$app_id.svg" \
            "usr/share/icons/hicolor/256x256/apps/$app_id.png"; do
  [[ -f $root/$file ]] || fail "the package lacks /$file"
done

desktop=$root/usr/share/applications/$app_id.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate rejects the desktop entry"
appstreamcli validate --no-net "$root/usr/share/metainfo/$app_id.metainfo.xml" ||
  fail "appstreamcli rejects the metainfo"
[[ $(sed -n 's/^Icon=//p' "$desktop") == "$app_id" ]] || fail "the desktop entry's Icon is not $app_id"
[[ -x $root/usr/bin/$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop") ]] ||
  fail "the desktop entry's Exec is no program of the package"
grep -q "^Name\[zh_CN\]=Veltrin联系人导入$" "$desktop" || fail "the desktop entry lacks its Chinese name"
version=$(dpkg-deb --field "$deb" Version)
grep -q "<release version=\"$version\"" "$root/usr/share/metainfo/$app_id.metainfo.xml" ||
  fail "the metainfo names no release $version"

export QT_QPA_PLATFORM=offscreen
"$root/usr/bin/veltrin-import" --help >"$work/help.txt" 2>&1 || fail "veltrin-import --help failed"
grep -q -- "--base-url" "$work/help.txt" || fail "veltrin-import --help does not describe --base-url"
# Only the workbook commands run without the full program.
ldd "$root/usr/bin/veltrin-import" | grep -Eq "libQt6Widgets|libcurl" && fail "veltrin-import links widgets or the network"
"$root/usr/bin/veltrin-demo-server" --help >/dev/null || fail "veltrin-demo-server --help failed"

# The example workbooks: both forms hold the same contacts, found below the title and heading rows.
for book in xlsx xls; do
  "$root/usr/bin/veltrin-import" contacts "$source/examples/客户通讯录.$book" >"$work/$book.csv" ||
    fail "the packaged program cannot read the example .$book"
done
cmp -s "$work/xlsx.csv" "$work/xls.csv" || fail "the example .xls and .xlsx hold different contacts"
[[ $(wc -l <"$work/xlsx.csv") -eq 321 ]] || fail "the example .xlsx does not give 320 contacts"
[[ $(sed -n 2p "$work/xlsx.csv") == $'闫玉兰,17208551973,,\r' ]] || fail "the first example contact is not the first data row"

# An administrator names the platform in the system's configuration file (as
# typed, without the final "/"); the packaged program reaches it without options.
exec {demo}< <(exec "$root/usr/bin/veltrin-demo-server" --port 0)
demo_pid=$!
read -r demo_url <&"$demo"
mkdir -p "$work/xdg/system/veltrin-import" "$work/xdg/user"
printf '[platform]\nbase_url=%s\n' "${demo_url%/}" >"$work/xdg/system/veltrin-import/veltrin-import.conf"
env -u VELTRIN_BASE_URL XDG_CONFIG_HOME="$work/xdg/user" XDG_CONFIG_DIRS="$work/xdg/system" VELTRIN_PASSWORD=demo123 \
  "$root/usr/bin/veltrin-import" groups --user demo >"$work/groups.csv" 2>"$work/groups.err" ||
  fail "the packaged program does not reach the platform named in the system's configuration file: $(cat "$work/groups.err")"
head -n 1 "$work/groups.csv" | grep -q '^id,name,indent' || fail "the packaged program lists no groups"
kill "$demo_pid"

[[ $failures -eq 0 ]] || exit 1
echo "PASS"
