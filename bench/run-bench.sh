#!/usr/bin/env bash
# make bench: the workbook reader and the import, on cached workbooks.
set -euo pipefail
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
cache="$bin/../bench-cache"
mkdir -p "$cache"
if [ -x "$bin/ostrel-bench-xls" ]; then
  "$bin/ostrel-bench-xls" "$cache"
fi
/usr/bin/python3 "$here/import_bench.py" "$bin" "$cache" "${@:2}"
