#!/usr/bin/python3
"""Reader benchmark over every workbook format: `ostrel-import-cli cells
--workbook F > /dev/null` on 65,535 employees x 31 columns as .xls, .xlsx
(inline strings, as openpyxl writes them, and with a shared-string table),
.csv and .ods, and on a 1,048,576 x 4 .xlsx. Three runs each; prints the
median wall time and the peak memory of the tool alone (wait4). Then the
same files opened and read in-process under each XML parser."""
import os
import statistics
import subprocess
import sys
import time

BIN = sys.argv[1]
CACHE = sys.argv[2]
HERE = os.path.dirname(os.path.abspath(__file__))
CLI = os.path.join(BIN, "ostrel-import-cli")

# (file, how make-format-workbooks.py writes it, rows, target seconds, target MB)
FILES = [
    ("staff-65536x31.xls", None, 0, None, None),
    ("staff-65535x31.xlsx", "xlsx-inline", 65535, 1.2, 300),
    ("staff-65535x31-shared.xlsx", "xlsx-shared", 65535, 1.0, 300),
    ("staff-65535x31.csv", "csv", 65535, 0.5, 300),
    ("staff-65535x31.ods", "ods", 65535, 3.0, 300),
    ("staff-1048576x4.xlsx", "xlsx-max", 1048575, 15.0, 1024),
]


def workbook(name, kind, rows):
    path = os.path.join(CACHE, name)
    if kind and not os.path.exists(path):
        print("writing %s (once; minutes for the large ones) ..." % path, flush=True)
        subprocess.run(["/usr/bin/python3", os.path.join(HERE, "make-format-workbooks.py"), kind, str(rows), path], check=True)
    return path


def run_once(path):
    start = time.perf_counter()
    with open(os.devnull, "wb") as null:
        p = subprocess.Popen([CLI, "cells", "--workbook", path], stdout=null, stderr=subprocess.PIPE)
        err = p.stderr.read()
        _, status, usage = os.wait4(p.pid, 0)
    wall = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit("cells failed on %s: %s" % (path, err.decode("utf-8", "replace")))
    # Processor time too: other builds on the machine stretch the wall time.
    return wall, usage.ru_maxrss / 1024.0, usage.ru_utime + usage.ru_stime


def main():
    print("reader benchmark: %s cells --workbook F > /dev/null, median of 3" % CLI)
    print("%-28s %10s %10s %10s %10s %10s" % ("file", "wall s", "cpu s", "target s", "peak MB", "target MB"))
    for name, kind, rows, target_s, target_mb in FILES:
        path = workbook(name, kind, rows)
        if not os.path.exists(path):
            continue
        runs = [run_once(path) for _ in range(3)]
        wall = statistics.median(r[0] for r in runs)
        peak = max(r[1] for r in runs)
        cpu = statistics.median(r[2] for r in runs)
        print("%-28s %10.2f %10.2f %10s %10.1f %10s" % (name, wall, cpu, target_s or "-", peak, target_mb or "-"), flush=True)
    print("in-process open and read of every cell, by XML parser (ostrel-bench-xls FILE 1 PARSER):")
    for name, kind, _, _, _ in FILES[1:]:
        path = os.path.join(CACHE, name)
        if kind == "csv" or not os.path.exists(path):
            continue
        for parser in ("libxml2", "expat"):
            out = subprocess.run([os.path.join(BIN, "ostrel-bench-xls"), path, "1", parser], check=True,
                                 capture_output=True, text=True).stdout.strip()
            print("  %-28s %-8s %s" % (name, parser, out), flush=True)


if __name__ == "__main__":
    main()
