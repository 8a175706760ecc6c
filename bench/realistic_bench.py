#!/usr/bin/python3
"""The import on realistic rows: 65,535 employees x 31 filled columns
(Chinese names and addresses, 18-digit identity numbers, dates, phone and
bank numbers) in each format, three runs each into a fresh file made by
init-db with the workbook's 50 departments. Prints the medians of the whole
import, of reading alone (`cells`), of the two passes, and the peak memory;
then `sqlite3 .import` of the same .csv into one table, in the same run, as
the reference the .csv import is measured against, and what the record of
the run costs (paired runs of the .csv with and without it). The records
go to a folder of the benchmark's own, so that they do not pile up in the
user's.

With --large it also imports the 1,048,575-row .csv and .xlsx (written
under /tmp once, about 600 MB) and reports time per row against the
65,535-row figure and the peak memory.

usage: realistic_bench.py BIN CACHE [--large]"""
import os
import re
import sqlite3
import statistics
import subprocess
import sys
import tempfile
import time

import bench_db

BIN = sys.argv[1]
CACHE = sys.argv[2]
LARGE = "--large" in sys.argv[3:]
CLI = os.path.join(BIN, "ostrel-import-cli")
HERE = os.path.dirname(os.path.abspath(__file__))
MAP = ",".join(str(k) for k in range(1, 32))
ROWS = 65535
LARGE_ROWS = 1048575

# (format, script, kind, target seconds for the whole import)
FORMATS = [
    ("xls", "make-large-workbooks.py", "xls", 1.0),
    ("xlsx", "make-format-workbooks.py", "xlsx-inline", 2.0),
    ("ods", "make-format-workbooks.py", "ods", 3.0),
    ("csv", "make-format-workbooks.py", "csv", 1.2),
]


def workbook(folder, fmt, script, kind, rows):
    path = os.path.join(folder, "realistic-%d.%s" % (rows, fmt))
    if not os.path.exists(path):
        print("writing %s (once) ..." % path, flush=True)
        subprocess.run(["/usr/bin/python3", os.path.join(HERE, script), kind, str(rows), path], check=True)
    return path


def timed(args, **kw):
    start = time.perf_counter()
    p = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, **kw)
    err = p.stderr.read().decode("utf-8", "replace")
    _, status, usage = os.wait4(p.pid, 0)
    wall = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit("%s failed: %s" % (" ".join(args), err[-2000:]))
    return wall, usage.ru_maxrss / 1024.0, usage.ru_utime + usage.ru_stime, err


def import_once(path, rows, records=True):
    with tempfile.TemporaryDirectory() as folder:
        db = bench_db.new_database(CLI, folder)
        env = dict(os.environ)
        if not records:
            env["OSTREL_BENCH_NO_RECORDS"] = "1"
        wall, peak, cpu, err = timed([CLI, "import", "--workbook", path, "--map", MAP, "--timings", "--db", db], env=env)
        m = re.search(r"timings: rows (\d+), check pass (\d+) ms, write pass (\d+) ms", err)
        con = sqlite3.connect(db)
        stored = con.execute("select count(*) from Hrp_workers").fetchone()[0]
        con.close()
        if stored != rows:
            sys.exit("%s: expected %d rows stored, found %d" % (path, rows, stored))
        return wall, peak, cpu, int(m.group(2)), int(m.group(3))


def sqlite_import_once(csv):
    with tempfile.TemporaryDirectory() as folder:
        db = os.path.join(folder, "bulk.db")
        return timed(["sqlite3", db, ".mode csv", ".import %s staff" % csv])[0]


def median(runs, k):
    return statistics.median(r[k] for r in runs)


# Paired imports with and without the record of the run.
RECORD_PAIRS = 11

# The workbook's columns in box order, as the map 1..31 feeds them.
FED = ["Workerid", "Wname", "Sex", "Nation", "marriage", "BIrThday", "Politics", "Worktel1", "IdNumber",
       "Education", "Birthplace", "Worktel2", "JobAsses", "GraduateDate", "Profession", "SchoolName",
       "DepName", "JobTitle", "EmployType", "Skill", "WageLevel", "BaseWage", "BeginDate", "NorMalDate",
       "ALanguage", "BankName", "BankId", "CustodyOldId", "CurativeId", "Remarks", "ContactAddr"]


def sqlite_alone_once(csv_path):
    """SQLite's own share of the write pass: the rows, already in a table of
    the same file, copied into Hrp_workers of a file made by init-db by one
    INSERT ... SELECT in one transaction (its key index and date checks, no
    binding, nothing of ours), as the sqlite3 shell times it."""
    with tempfile.TemporaryDirectory() as folder:
        db = bench_db.new_database(CLI, folder)
        script = "\n".join([
            "create table t(%s);" % ",".join("c%d" % k for k in range(1, 32)),
            ".mode csv", ".import --skip 1 %s t" % csv_path,
            "pragma synchronous=normal;", "pragma cache_size=-32768;", ".timer on", "begin;",
            "insert into Hrp_workers(Wkid,%s,WorkStatus,NamePy,DeptNo) select rowid,%s,'在职','ZS','01' from t;"
            % (",".join(FED), ",".join("c%d" % k for k in range(1, 32))),
            "commit;", ""])
        out = subprocess.run(["sqlite3", db], input=script, capture_output=True, text=True, check=True).stdout
        times = [float(t) for t in re.findall(r"Run Time: real ([0-9.]+)", out)]
        return sum(times[-3:])  # begin, insert, commit


def schema_floor_once(csv_path):
    """The rows inserted by Python's sqlite3 into Hrp_workers of a file made by
    init-db, in one transaction, with none of the import's work: what a
    script that binds every value from Python takes."""
    import csv as csvmod
    with open(csv_path, encoding="utf-8") as f:
        rows = list(csvmod.reader(f))[1:]
    with tempfile.TemporaryDirectory() as folder:
        db = bench_db.new_database(CLI, folder)
        con = sqlite3.connect(db)
        con.execute("pragma synchronous=normal")
        cols = [r[1] for r in con.execute("pragma table_info(Hrp_workers)")]
        at = [cols.index(c) for c in FED]
        data = []
        for i, r in enumerate(rows):
            v = [None] * len(cols)
            v[cols.index("Wkid")] = i + 1
            v[cols.index("WorkStatus")] = "在职"
            for k, c in enumerate(at):
                v[c] = r[k] if k < len(r) else ""
            data.append(v)
        start = time.perf_counter()
        con.execute("begin")
        con.executemany("insert into Hrp_workers values(%s)" % ",".join("?" * len(cols)), data)
        con.commit()
        wall = time.perf_counter() - start
        con.close()
        return wall


def main():
    os.makedirs(CACHE, exist_ok=True)
    print("realistic import benchmark (%s), %d rows x 31 columns, medians of three; load %s"
          % (CLI, ROWS, " ".join("%.2f" % x for x in os.getloadavg())))
    print("%-6s %8s %8s %8s %9s %9s %8s %8s %9s" % ("format", "import s", "cpu s", "read s", "check ms", "write ms",
                                                    "peak MB", "target s", "us/row"))
    figures = {}
    for fmt, script, kind, target in FORMATS:
        path = workbook(CACHE, fmt, script, kind, ROWS)
        runs = [import_once(path, ROWS) for _ in range(3)]
        reads = [timed([CLI, "cells", "--workbook", path]) for _ in range(3)]
        wall = median(runs, 0)
        figures[fmt] = wall
        if fmt == "csv":
            write_csv = median(runs, 4)
        print("%-6s %8.2f %8.2f %8.2f %9d %9d %8.1f %8.1f %9.1f" % (
            fmt, wall, median(runs, 2), median(reads, 0), median(runs, 3), median(runs, 4),
            max(r[1] for r in runs), target, wall / ROWS * 1e6), flush=True)
    csv = workbook(CACHE, "csv", "make-format-workbooks.py", "csv", ROWS)
    bulk = statistics.median(sqlite_import_once(csv) for _ in range(3))
    print("reference: sqlite3 .import of the same .csv into one table, no checks: %.2f s; "
          "the .csv import takes %.1fx that (target 3x)" % (bulk, figures["csv"] / bulk))
    alone = statistics.median(sqlite_alone_once(csv) for _ in range(3))
    print("SQLite alone: the same rows copied into Hrp_workers of a file made by init-db by one INSERT ... SELECT, "
          "one transaction: %.2f s (the write pass above takes %.2fx that)" % (alone, write_csv / 1000 / alone))
    floor = statistics.median(schema_floor_once(csv) for _ in range(3))
    print("a script: the same rows inserted by Python's sqlite3 executemany, one transaction, no checks: %.2f s"
          % floor)
    # A few per cent against a machine whose speed swings by a fifth: many
    # pairs, each in turn run the other way round, and the median of their
    # ratios.
    pairs = []
    for k in range(RECORD_PAIRS):
        first, second = import_once(csv, ROWS, records=k % 2 == 0), import_once(csv, ROWS, records=k % 2 == 1)
        pairs.append((first, second) if k % 2 == 0 else (second, first))
    kept = statistics.median(p[0][0] for p in pairs)
    left = statistics.median(p[1][0] for p in pairs)
    ratio = statistics.median(p[0][0] / p[1][0] for p in pairs)
    print("the record of the run: .csv import %.2f s with it, %.2f s without (%+.1f%% by the median of %d paired "
          "ratios; write pass %d against %d ms)" % (kept, left, (ratio - 1) * 100, RECORD_PAIRS,
                                                    statistics.median(p[0][4] for p in pairs),
                                                    statistics.median(p[1][4] for p in pairs)))
    if LARGE:
        print("\nto the sheet limit: %d rows, one run each (written under /tmp)" % LARGE_ROWS)
        print("%-6s %8s %8s %9s %9s %8s %14s" % ("format", "import s", "cpu s", "check ms", "write ms", "peak MB",
                                               "per row vs 65k"))
        for fmt in ("csv", "xlsx"):
            path = workbook("/tmp", fmt, "make-large-workbooks.py", fmt, LARGE_ROWS)
            wall, peak, cpu, check, write = import_once(path, LARGE_ROWS)
            print("%-6s %8.2f %8.2f %9d %9d %8.1f %+13.1f%%" % (
                fmt, wall, cpu, check, write, peak, (wall / LARGE_ROWS) / (figures[fmt] / ROWS) * 100 - 100), flush=True)
        big_csv = os.path.join("/tmp", "realistic-%d.csv" % LARGE_ROWS)
        print("reference: sqlite3 .import of the %d-row .csv: %.2f s" % (LARGE_ROWS, sqlite_import_once(big_csv)))


if __name__ == "__main__":
    with tempfile.TemporaryDirectory() as records:
        os.environ["XDG_DATA_HOME"] = records
        main()
