#!/usr/bin/env bash
# test_install.sh <build folder> <application folder of the build>
# Installs into a temporary prefix, validates the desktop entry and the
# AppStream data, and starts the installed program and a portable copy far
# enough to see which folders they chose (TESSALY_EXIT_AFTER_START).
set -euo pipefail
build=$1 appdir=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix=$tmp/usr
cmake --install "$build" --prefix "$prefix" >/dev/null
id=org.tessaly.Tessaly
desktop-file-validate "$prefix/share/applications/$id.desktop"
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml"
grep -qx "Icon=$id" "$prefix/share/applications/$id.desktop" || fail "desktop entry names another icon"
[ -s "$prefix/share/icons/hicolor/scalable/apps/$id.svg" ] || fail "no scalable icon"
grep -qx "Exec=tessaly" "$prefix/share/applications/$id.desktop" || fail "desktop entry starts another program"

# start <program> <home>: the report of one start, in a home of its own.
start() {
  HOME=$2 XDG_DATA_HOME=$2/xdg TESSALY_EXIT_AFTER_START=1 timeout 60 "$1"
}

home=$tmp/home-installed
out=$(start "$prefix/bin/tessaly" "$home")
echo "$out"
[ "$(grep '^data: ' <<<"$out")" = "data: $home/xdg/tessaly" ] || fail "installed program keeps its data elsewhere"
[ "$(grep '^shipped: ' <<<"$out")" = "shipped: $prefix/share/tessaly" ] || fail "shipped files read elsewhere"
grep -q '^windows: .*frmPassInfo' <<<"$out" || fail "first start shows no first-run setup"
[ -f "$home/xdg/tessaly/Data/Tessaly.mdb" ] || fail "no database in the XDG data folder"
[ "$(stat -c %a "$home/xdg/tessaly/Data")" = 700 ] || fail "data folder readable by others"
[ ! -e "$prefix/bin/Data" ] || fail "installed program wrote beside itself"

# A copy of the build's application folder, as shipped, stays portable as before.
mkdir -p "$tmp/portable/Data"
cp "$appdir/tessaly" "$appdir/tessaly-app" "$tmp/portable/"
cp "$appdir/Data/help.doc" "$appdir/Data/description.txt" "$tmp/portable/Data/"
home=$tmp/home-portable
out=$(start "$tmp/portable/tessaly" "$home")
echo "$out"
[ "$(grep '^data: ' <<<"$out")" = "data: $tmp/portable" ] || fail "portable folder not used"
grep -q '^windows: .*frmPassInfo' <<<"$out" || fail "portable first start shows no first-run setup"
[ -f "$tmp/portable/Data/Tessaly.mdb" ] || fail "no database in the portable folder"
[ ! -e "$home/xdg" ] || fail "portable program wrote into the home folder"
# A search from the command line is answered by the starter alone, on the same store.
"$tmp/portable/tessaly" --search nothing-like-this >/dev/null || fail "--search did not run on the portable store"
"$prefix/bin/tessaly" --help | grep -q -- '--search WORDS' || fail "the starter does not hand other options on"
echo "PASS"
