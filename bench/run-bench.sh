#!/usr/bin/env bash
# make bench: the workbook reader and the import, on cached workbooks.
set -euo pipefail
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
cache="$bin/../bench-cache"
mkdir -p "$cache"
# The reader alone: open the 65,536 x 31 workbook and read every cell.
cmake --build "$bin/.." --target bench-workbook >/dev/null
"$bin/ostrel-bench-xls" "$cache/staff-65536x31.xls"
# Every format through `cells`, and the two XML parsers side by side.
/usr/bin/python3 "$here/format_bench.py" "$bin" "$cache"
/usr/bin/python3 "$here/import_bench.py" "$bin" "$cache" "${@:2}"
# Realistic rows in every format, against sqlite3 .import of the same .csv.
/usr/bin/python3 "$here/realistic_bench.py" "$bin" "$cache"
# Choosing a workbook in the window: header, map and preview, on the
# 65,535-row workbook the import benchmark wrote.
if [ -f "$cache/import-65535.xls" ]; then
  "$bin/ostrel-bench-preview" "$cache/import-65535.xls"
  "$bin/ostrel-bench-map-change" "$cache/import-65535.xls"
fi
# The window against the tool, every row refused.
QT_QPA_PLATFORM=offscreen "$bin/ostrel-bench-refused-run"
