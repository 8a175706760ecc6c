#!/usr/bin/python3
"""The check (import --check) on a realistic 65,535-row workbook, with every
row check on (warnings only, and --strict-id) against a second program
without them: wall time, peak memory and the passes' own times, medians of three.

usage: check_bench.py CLI CACHE [BASELINE_CLI] [ROWS]"""
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time

import bench_db

HERE = os.path.dirname(os.path.abspath(__file__))
MAP = ",".join(str(k) for k in range(1, 32))


def workbook(cache, rows):
    path = os.path.join(cache, "check-%d.xlsx" % rows)
    if not os.path.exists(path):
        subprocess.run(["/usr/bin/python3", os.path.join(HERE, "make-format-workbooks.py"), "xlsx-shared", str(rows),
                        path + ".tmp"], check=True)
        os.rename(path + ".tmp", path)
    return path


def run(cli, book, flags):
    with tempfile.TemporaryDirectory() as folder:
        db = bench_db.new_database(cli, folder)
        start = time.perf_counter()
        p = subprocess.Popen([cli, "import", "--workbook", book, "--map", MAP, "--db", db, "--check", "--timings"]
                             + flags, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        err = p.stderr.read().decode("utf-8", "replace")
        _, status, usage = os.wait4(p.pid, 0)
        wall = time.perf_counter() - start
        code = os.waitstatus_to_exitcode(status)
        m = re.search(r"timings: rows (\d+), check pass (\d+) ms, write pass (\d+) ms", err)
        if not m:
            sys.exit("check failed (%d): %s" % (code, err[-2000:]))
        return wall, usage.ru_maxrss / 1024.0, int(m.group(2)), int(m.group(3)), code


def measure(title, cli, book, flags):
    runs = [run(cli, book, flags) for _ in range(3)]
    wall = statistics.median(r[0] for r in runs)
    print("%-34s %8.2f s %9.1f MB %8d ms %8d ms   exit %d" % (title, wall, max(r[1] for r in runs),
          statistics.median(r[2] for r in runs), statistics.median(r[3] for r in runs), runs[0][4]), flush=True)
    return wall


def main():
    cli, cache = sys.argv[1], sys.argv[2]
    baseline = sys.argv[3] if len(sys.argv) > 3 else None
    rows = int(sys.argv[4]) if len(sys.argv) > 4 else 65535
    book = workbook(cache, rows)
    print("import --check, %d rows (%s)" % (rows, os.path.basename(book)))
    print("%-34s %10s %12s %11s %11s" % ("", "wall", "peak", "dept pass", "write pass"))
    # Warnings only: every row goes on to the writer, the slower case.
    warned = measure("row checks, warnings only", cli, book, ["--fill-from-id"])
    strict = measure("row checks, --strict-id", cli, book, ["--strict-id", "--fill-from-id"])
    if baseline:
        before = measure("baseline program", baseline, book, [])
        print("ratio to the baseline: %.2f (warnings only), %.2f (--strict-id)" % (warned / before, strict / before))


if __name__ == "__main__":
    main()
