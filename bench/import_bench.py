#!/usr/bin/python3
"""Import benchmark: three runs of ostrel-import-cli import per database and
size, each into a fresh database with 50 departments; prints the medians of
wall time, time per row, peak memory and the two passes.

Databases:
  init-db   a file made by ostrel-import-cli init-db (WAL)
  journal   a file made by the sqlite3 tool from sql/sqlite.sql without the
            WAL line: the rollback journal of a file the program did not make
  postgres  a live PostgreSQL on the loopback through psqlODBC, started with
            tests/server/pg-server.sh (skipped when it cannot start)

usage: import_bench.py BIN CACHE [SIZE ...] [--only NAME,...]"""
import os
import re
import shutil
import sqlite3
import statistics
import subprocess
import sys
import tempfile
import time

BIN = sys.argv[1]
CACHE = sys.argv[2]
ARGS = sys.argv[3:]
ONLY = None
if "--only" in ARGS:
    i = ARGS.index("--only")
    ONLY = ARGS[i + 1].split(",")
    del ARGS[i:i + 2]
SIZES = [int(s) for s in ARGS] or None
CLI = os.path.join(BIN, "ostrel-import-cli")
HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
MAP = ",".join(str(k) for k in range(1, 32))
DEPARTMENTS = [("%02d" % i, "部门%02d" % i) for i in range(1, 51)]


def workbook(rows):
    os.makedirs(CACHE, exist_ok=True)
    path = os.path.join(CACHE, "import-%d.xls" % rows)
    if not os.path.exists(path):
        print("writing %s ..." % path, flush=True)
        subprocess.run(["/usr/bin/python3", os.path.join(HERE, "make-import-workbook.py"), str(rows), path + ".tmp"], check=True)
        os.replace(path + ".tmp", path)
    return path


class SqliteFile:
    """A fresh local file per run; `journal` says which kind."""

    def __init__(self, journal):
        self.journal = journal

    def create(self, folder):
        self.db = os.path.join(folder, "Wage.VRD")
        if self.journal:
            with open(os.path.join(ROOT, "sql", "sqlite.sql"), encoding="utf-8") as f:
                schema = "".join(l for l in f if "journal_mode" not in l.lower())
            subprocess.run(["sqlite3", self.db], input=schema.encode("utf-8"), check=True)
        else:
            subprocess.run([CLI, "init-db", self.db], check=True, stdout=subprocess.DEVNULL)
        con = sqlite3.connect(self.db)
        con.executemany("insert into Sys_dept(DeptNO, DeptName) values (?, ?)", DEPARTMENTS)
        con.commit()
        mode = con.execute("PRAGMA journal_mode").fetchone()[0]
        con.close()
        if mode != ("delete" if self.journal else "wal"):
            sys.exit("unexpected journal mode %s" % mode)
        return ["--db", self.db]

    def stored(self):
        con = sqlite3.connect(self.db)
        n = con.execute("select count(*) from Hrp_workers").fetchone()[0]
        con.close()
        return n

    def drop(self):
        pass


class Postgres:
    """Databases copied from the test server's template, one per run."""

    def __init__(self):
        self.env_file = os.path.join(CACHE, "bench-pg.env")
        script = os.path.join(ROOT, "tests", "server", "pg-server.sh")
        r = subprocess.run([script, "start", self.env_file, os.path.join(ROOT, "sql", "postgresql.sql")],
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.facts = {}
        if r.returncode != 0:
            self.error = r.stderr.decode("utf-8", "replace").strip().splitlines()[-1:] or ["?"]
            return
        with open(self.env_file) as f:
            self.facts = dict(l.rstrip("\n").split("=", 1) for l in f if "=" in l)
        self.serial = 0

    def available(self):
        return bool(self.facts)

    def psql(self, database, sql):
        env = dict(os.environ, PGPASSWORD=self.facts["PG_PASSWORD"])
        r = subprocess.run(["psql", "-X", "-q", "-tA", "-v", "ON_ERROR_STOP=1", "-h", self.facts["PG_HOST"],
                            "-p", self.facts["PG_PORT"], "-U", self.facts["PG_USER"], "-d", database, "-c", sql],
                           env=env, stdout=subprocess.PIPE, check=True)
        return r.stdout.decode("utf-8").strip()

    def create(self, folder):
        self.serial += 1
        self.name = "bench_%d_%d" % (os.getpid(), self.serial)
        self.psql("postgres", "CREATE DATABASE %s TEMPLATE %s" % (self.name, self.facts["PG_TEMPLATE"]))
        self.psql(self.name, "insert into Sys_dept values " + ",".join("('%s','%s')" % d for d in DEPARTMENTS))
        with open(os.path.join(folder, "MyConnect.ini"), "w") as f:
            f.write("[Connect]\nConnectOption=0\n[DataBase]\nServerName=%s\nDataBaseName=%s\nUserName=%s\n"
                    "Password=%s\nDriver=PostgreSQL Unicode\nOptions=Port=%s;\n"
                    % (self.facts["PG_HOST"], self.name, self.facts["PG_USER"], self.facts["PG_PASSWORD"],
                       self.facts["PG_PORT"]))
        return ["--settings-dir", folder]

    def stored(self):
        return int(self.psql(self.name, "select count(*) from Hrp_workers"))

    def drop(self):
        self.psql("postgres", "DROP DATABASE IF EXISTS %s WITH (FORCE)" % self.name)

    def stop(self):
        subprocess.run([os.path.join(ROOT, "tests", "server", "pg-server.sh"), "stop", self.env_file])


def run_once(database, path, rows):
    with tempfile.TemporaryDirectory() as folder:
        where = database.create(folder)
        try:
            start = time.perf_counter()
            p = subprocess.Popen([CLI, "import", "--workbook", path, "--map", MAP, "--timings"] + where,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
            err = p.stderr.read().decode("utf-8", "replace")
            # wait4 gives this one process's peak memory, not that of every child so far.
            _, status, usage = os.wait4(p.pid, 0)
            wall = time.perf_counter() - start
            code = os.waitstatus_to_exitcode(status)
            if code != 0:
                sys.exit("import failed (%d): %s" % (code, err[-2000:]))
            m = re.search(r"timings: rows (\d+), check pass (\d+) ms, write pass (\d+) ms", err)
            stored = database.stored()
            if stored != rows:
                sys.exit("expected %d rows stored, found %d" % (rows, stored))
            return wall, usage.ru_maxrss / 1024.0, int(m.group(2)), int(m.group(3))
        finally:
            database.drop()


def measure(title, database, sizes):
    print(title)
    print("%8s %10s %10s %12s %10s %10s %12s" % ("rows", "wall s", "rows/s", "peak MB", "check ms", "write ms", "us/row"))
    per_row = {}
    for rows in sizes:
        path = workbook(rows)
        runs = [run_once(database, path, rows) for _ in range(3)]
        wall = statistics.median(r[0] for r in runs)
        peak = max(r[1] for r in runs)
        check = statistics.median(r[2] for r in runs)
        write = statistics.median(r[3] for r in runs)
        per_row[rows] = wall / rows * 1e6
        print("%8d %10.3f %10.0f %12.1f %10d %10d %12.1f" % (rows, wall, rows / wall, peak, check, write, per_row[rows]), flush=True)
    if 10000 in per_row and 65535 in per_row:
        print("time per row at 65,535 vs 10,000: %+.1f %%" % ((per_row[65535] / per_row[10000] - 1) * 100))
    print()


def wanted(name):
    return ONLY is None or name in ONLY


def main():
    print("import benchmark (%s), medians of three\n" % CLI)
    if wanted("init-db"):
        measure("file made by init-db (WAL)", SqliteFile(False), SIZES or [1000, 10000, 65535])
    if wanted("journal"):
        if shutil.which("sqlite3"):
            measure("file made by the sqlite3 tool (rollback journal)", SqliteFile(True), SIZES or [10000, 65535])
        else:
            print("rollback journal: skipped, no sqlite3 tool\n")
    if wanted("postgres"):
        pg = Postgres()
        try:
            if pg.available():
                measure("PostgreSQL on the loopback through psqlODBC", pg, SIZES or [10000])
            else:
                print("PostgreSQL: skipped, the test server did not start: %s\n" % " ".join(pg.error))
        finally:
            pg.stop()


if __name__ == "__main__":
    main()
