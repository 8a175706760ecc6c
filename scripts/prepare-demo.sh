#!/usr/bin/env bash
# Puts the demo database and a settings file pointing at it beside the program,
# leaving alone whatever is already there.
set -euo pipefail
bin=$(cd "$1" && pwd)

if [ ! -e "$bin/Data/Wage.VRD" ]; then
  mkdir -p "$bin/Data"
  "$bin/ostrel-import-cli" init-db "$bin/Data/Wage.VRD" --demo
fi
if [ ! -e "$bin/MyConnect.ini" ]; then
  umask 077
  printf '[LocalDB]\r\nDBnames=%s\r\n' "$bin/Data/Wage.VRD" > "$bin/MyConnect.ini"
fi
