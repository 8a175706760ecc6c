#!/usr/bin/env bash
# make fuzz: each libFuzzer target for a bounded time, starting from a copy of
# its committed corpus (new finds stay in the build folder).
set -euo pipefail
build=$(cd "$1" && pwd) # the fuzzers run from inside it
seconds=${2:-60}
src=$(cd "$(dirname "$0")/.." && pwd)
status=0
for bin in "$build"/bin/fuzz_*; do
  name=$(basename "$bin")
  corpus=${name#fuzz_}
  work="$build/corpus/$corpus"
  mkdir -p "$work"
  cp -n "$src/tests/fuzz/corpus/$corpus"/* "$work"/ 2>/dev/null || true
  echo "== $name for ${seconds}s"
  (cd "$build" && "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 "$work") || status=1
done
exit $status
