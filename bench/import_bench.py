#!/usr/bin/python3
"""Import benchmark: for 1,000, 10,000 and 65,535 rows, three runs each of
ostrel-import-cli import into a fresh database with 50 departments; prints
the medians of wall time, rows per second, peak memory and the two passes."""
import os
import re
import sqlite3
import statistics
import subprocess
import sys
import tempfile
import time

BIN = sys.argv[1]
CACHE = sys.argv[2]
SIZES = [int(s) for s in (sys.argv[3:] or ["1000", "10000", "65535"])]
CLI = os.path.join(BIN, "ostrel-import-cli")
HERE = os.path.dirname(os.path.abspath(__file__))
MAP = ",".join(str(k) for k in range(1, 32))


def workbook(rows):
    os.makedirs(CACHE, exist_ok=True)
    path = os.path.join(CACHE, "import-%d.xls" % rows)
    if not os.path.exists(path):
        print("writing %s ..." % path, flush=True)
        subprocess.run(["/usr/bin/python3", os.path.join(HERE, "make-import-workbook.py"), str(rows), path + ".tmp"], check=True)
        os.replace(path + ".tmp", path)
    return path


def fresh_database(folder):
    db = os.path.join(folder, "Wage.VRD")
    subprocess.run([CLI, "init-db", db], check=True, stdout=subprocess.DEVNULL)
    con = sqlite3.connect(db)
    con.executemany("insert into Sys_dept(DeptNO, DeptName) values (?, ?)",
                    [("%02d" % i, "部门%02d" % i) for i in range(1, 51)])
    con.commit()
    con.close()
    return db


def run_once(path, rows):
    with tempfile.TemporaryDirectory() as folder:
        db = fresh_database(folder)
        start = time.perf_counter()
        p = subprocess.Popen([CLI, "import", "--workbook", path, "--map", MAP, "--db", db, "--timings"],
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        err = p.stderr.read().decode("utf-8", "replace")
        # wait4 gives this one process's peak memory, not that of every child so far.
        _, status, usage = os.wait4(p.pid, 0)
        wall = time.perf_counter() - start
        p.returncode = os.waitstatus_to_exitcode(status)
        if p.returncode != 0:
            sys.exit("import failed (%d): %s" % (p.returncode, err[-2000:]))
        m = re.search(r"timings: rows (\d+), check pass (\d+) ms, write pass (\d+) ms", err)
        stored = sqlite3.connect(db).execute("select count(*) from Hrp_workers").fetchone()[0]
        if stored != rows:
            sys.exit("expected %d rows stored, found %d" % (rows, stored))
        return wall, usage.ru_maxrss / 1024.0, int(m.group(2)), int(m.group(3))


def main():
    print("import benchmark (%s)" % CLI)
    print("%8s %10s %10s %12s %10s %10s %12s" % ("rows", "wall s", "rows/s", "peak MB", "check ms", "write ms", "us/row"))
    per_row = {}
    for rows in SIZES:
        path = workbook(rows)
        runs = [run_once(path, rows) for _ in range(3)]
        wall = statistics.median(r[0] for r in runs)
        peak = max(r[1] for r in runs)
        check = statistics.median(r[2] for r in runs)
        write = statistics.median(r[3] for r in runs)
        per_row[rows] = wall / rows * 1e6
        print("%8d %10.3f %10.0f %12.1f %10d %10d %12.1f" % (rows, wall, rows / wall, peak, check, write, per_row[rows]), flush=True)
    if 10000 in per_row and 65535 in per_row:
        print("time per row at 65,535 vs 10,000: %+.1f %%" % ((per_row[65535] / per_row[10000] - 1) * 100))


if __name__ == "__main__":
    main()
