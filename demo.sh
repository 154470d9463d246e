#!/usr/bin/env bash
# Builds a sample program folder in demo-run/ and starts the program there: an embedded sample
# database with one owner company and its service team, Db.Ini, Migracja.ini, a folder of small
# legacy DBF files and the sample definitions. Run ./setup.sh first.
#
#   ./demo.sh                 prepare demo-run/ and start the program in it
#   ./demo.sh --prepare-only  prepare demo-run/ only
#
# MIGRACJA_BUILD_DIR names another build folder than build/.
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)
bin="$root/${MIGRACJA_BUILD_DIR:-build}/bin"
start=1
[ "${1:-}" = "--prepare-only" ] && start=0

for tool in migracja migracja-cli; do
  if [ ! -x "$bin/$tool" ]; then
    echo "demo.sh: $bin/$tool is missing; run ./setup.sh first" >&2
    exit 1
  fi
done
for tool in isql-fb python3; do
  command -v "$tool" >/dev/null || { echo "demo.sh: $tool is not installed" >&2; exit 1; }
done

demo="$root/demo-run"
rm -rf "$demo"
mkdir -p "$demo"

# The database, embedded: dialect 1, WIN1250, the sample schema and the demo's own rows.
db="$demo/TARVIK.FDB"
cat >"$demo/create.sql" <<SQL
SET SQL DIALECT 1;
SET NAMES UTF8;
CREATE DATABASE '$db' USER 'SYSDBA' PAGE_SIZE 8192 DEFAULT CHARACTER SET WIN1250;
INPUT '$root/sample/schema.sql';
INPUT '$root/sample/demo-data.sql';
SQL
# Dialect 1 warns about every DATE column; anything else it says is shown.
if ! isql-fb -q -bail -i "$demo/create.sql" 2>"$demo/isql.log"; then
  cat "$demo/isql.log" >&2
  exit 1
fi
grep -v -e '^-\?SQL warning code = 301$' -e '^-DATE data type is now called TIMESTAMP$' \
  "$demo/isql.log" >&2 || true
rm "$demo/create.sql" "$demo/isql.log"

# The settings beside the program. Embedded access does not check the password.
echo masterkey | "$bin/migracja-cli" dbini write --dir "$demo" --location "$db" --password-stdin >/dev/null
python3 - "$demo/Migracja.ini" "$demo/DBF" <<'PY'
import sys
with open(sys.argv[1], "wb") as f:
    f.write(("[Old_Tarvik]\r\nPathToDbf=%s\r\n" % sys.argv[2]).encode("cp1250"))
PY
python3 "$root/sample/demo_dbf.py" "$demo/DBF"
mkdir -p "$demo/Definicje Migracji"
cp "$root"/sample/definitions/*.ini "$demo/Definicje Migracji/"

# A copy, not a link: the program directory is where the executable really lies.
cp "$bin/migracja" "$demo/migracja"

echo "demo-run/ is ready: $demo"
[ "$start" = 1 ] || exit 0
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  if command -v xvfb-run >/dev/null; then
    echo "No display: starting under xvfb-run, where nothing can be seen"
    exec xvfb-run -a "$demo/migracja"
  fi
  echo "demo.sh: no display; start $demo/migracja from a desktop session" >&2
  exit 1
fi
exec "$demo/migracja"
