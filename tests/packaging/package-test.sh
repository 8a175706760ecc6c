#!/usr/bin/env bash
# The Debian package as an office would get it: built by CPack from this
# build tree, its contents listed and checked, then unpacked into a temporary
# root and run from there, with the program folder read-only (as it is for a
# clerk once installed) and a fresh home folder.
#   package-test.sh BUILD_DIR SOURCE_DIR
# A program folder with no write bit counts as read-only for root too, so
# this holds when the tests run as root.
set -euo pipefail
build=$(realpath "${1:?build dir}")
src=$(realpath "${2:?source dir}")

work=$(mktemp -d /tmp/ostrel-package.XXXXXX)
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
step() { echo "--- $*"; }

step "the package builds"
(cd "$build" && cpack -G DEB -B "$work/out") >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log" >&2; fail "cpack"; }
deb=$(ls "$work"/out/ostrel-import_*.deb)
echo "$deb"

step "its files and fields"
dpkg-deb -c "$deb" | awk '{ $1=$2=$3=$4=$5=""; sub(/^ +/, ""); print }' >"$work/files"
expected=(
  ./opt/ostrel-import/ostrel-import
  ./opt/ostrel-import/ostrel-import-cli
  ./opt/ostrel-import/image/StartTop.jpg
  "./usr/bin/ostrel-import -> ../../opt/ostrel-import/ostrel-import"
  "./usr/bin/ostrel-import-cli -> ../../opt/ostrel-import/ostrel-import-cli"
  ./usr/share/applications/ostrel-import.desktop
  ./usr/share/icons/hicolor/scalable/apps/ostrel-import.svg
  ./usr/share/man/man1/ostrel-import.1.gz
  ./usr/share/man/man1/ostrel-import-cli.1.gz
)
for size in 16 22 24 32 48 64 128 256; do
  expected+=("./usr/share/icons/hicolor/${size}x${size}/apps/ostrel-import.png")
done
for f in "${expected[@]}"; do
  grep -qxF "$f" "$work/files" || { cat "$work/files" >&2; fail "not in the package: $f"; }
done
fields=$(dpkg-deb -f "$deb" Depends Recommends)
for p in libqt6widgets6 libgsf-1-114 libqt6sql6-sqlite libqt6sql6-odbc odbc-postgresql tdsodbc qt6-translations-l10n; do
  [[ "$fields" == *"$p"* ]] || fail "neither Depends nor Recommends name $p: $fields"
done

root="$work/root"
dpkg-deb -x "$deb" "$root"
app="$root/opt/ostrel-import"
cli="$root/usr/bin/ostrel-import-cli"

step "menu entry, icons and manual page"
desktop-file-validate "$root/usr/share/applications/ostrel-import.desktop" || fail "desktop entry"
for page in ostrel-import ostrel-import-cli; do
  LANG=C.UTF-8 MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/$page.1.gz" >"$work/$page.txt" 2>"$work/man.err"
  [ ! -s "$work/man.err" ] || { cat "$work/man.err" >&2; fail "$page.1 renders with warnings"; }
  grep -q "^SYNOPSIS" "$work/$page.txt" || fail "$page.1 renders empty"
done
# The help and the manual page name the same commands and options.
manual=$(zcat "$root/usr/share/man/man1/ostrel-import-cli.1.gz" | sed 's/\\-/-/g')
help=$("$cli" --help) || fail "--help"
commands=$(sed -n '/^Commands:/,/^$/s/^  \([a-z-]*\) .*/\1/p' <<<"$help")
[ -n "$commands" ] || fail "--help lists no commands"
for c in $commands; do
  help+=$'\n'$("$cli" "$c" --help) || fail "$c --help"
done
helped=$(grep -o -- '--[a-z][a-z-]*' <<<"$help" | sort -u)
for word in $commands $helped; do
  grep -qF -- "$word" <<<"$manual" || fail "the manual page does not mention $word"
done
for option in $(grep -o -- '--[a-z][a-z-]*' <<<"$manual" | sort -u); do
  grep -qxF -- "$option" <<<"$helped" || fail "no --help mentions $option of the manual page"
done
ldd "$app/ostrel-import" "$app/ostrel-import-cli" | grep -q "not found" && fail "unresolved libraries"

# The clerk: the program folder read-only, nothing of theirs yet.
home="$work/home"
mkdir -p "$home"
chmod -R a-w "$root/opt"
as_clerk() { env -u XDG_CONFIG_HOME -u XDG_DATA_HOME HOME="$home" LANG=C.UTF-8 "$@"; }
map=$(seq -s, 1 31)
workbook="$src/examples/workers-sample.xls"
run_import() { as_clerk "$cli" import --workbook "$workbook" --map "$map" --user 0001 --password-stdin "$@" <<<demo; }
count() { sqlite3 "$1" "SELECT COUNT(*) FROM Hrp_workers"; }

step "a clerk's own settings and database"
db="$home/.local/share/Ostrel/Data/Wage.VRD"
mkdir -p "$(dirname "$db")"
as_clerk "$cli" init-db "$db" --demo >/dev/null
mkdir -p "$home/.config/Ostrel"
printf '[LocalDB]\r\nDBnames=\r\n' >"$home/.config/Ostrel/MyConnect.ini"
run_import 2>"$work/err" || { cat "$work/err" >&2; fail "import with the clerk's settings"; }
grep -q "已导入 20 人，未导入 0 人" "$work/err" || { cat "$work/err" >&2; fail "summary"; }
[ "$(count "$db")" = 20 ] || fail "20 rows in the clerk's database"
# The empty DBnames got the clerk's default database, written back.
grep -qF "DBnames=$db" "$home/.config/Ostrel/MyConnect.ini" || fail "default database path written back"
[ -e "$app/MyConnect.ini" ] && fail "wrote into the program folder"
[ -e "$home/.config/Ostrel/ostrel-import/date-formats.ini" ] || fail "date formats not in the clerk's folder"

step "a company-wide file beside the program wins, through the /usr/bin link"
company="$work/company.VRD"
as_clerk "$cli" init-db "$company" --demo >/dev/null
chmod u+w "$app"
printf '[LocalDB]\r\nDBnames=%s\r\n' "$company" >"$app/MyConnect.ini"
chmod 644 "$app/MyConnect.ini"
chmod a-w "$app"
run_import 2>"$work/err" || { cat "$work/err" >&2; fail "import with the company-wide file"; }
[ "$(count "$company")" = 20 ] || fail "20 rows in the company database"
[ "$(count "$db")" = 20 ] || fail "the clerk's database changed"

step "--settings-dir names the folder of the settings"
site="$work/site"
mkdir -p "$site"
as_clerk "$cli" init-db "$site/Wage.VRD" --demo >/dev/null
printf '[LocalDB]\r\nDBnames=%s\r\n' "$site/Wage.VRD" >"$site/MyConnect.ini"
run_import --settings-dir "$site" 2>"$work/err" || { cat "$work/err" >&2; fail "import with --settings-dir"; }
[ "$(count "$site/Wage.VRD")" = 20 ] || fail "20 rows in the --settings-dir database"
echo "package ok"
