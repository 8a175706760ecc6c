"""A fresh personnel file for a benchmark: made by init-db, with the 50
departments the realistic workbooks name."""
import os
import sqlite3
import subprocess

DEPARTMENTS = [("%02d" % i, "部门%02d" % i) for i in range(1, 51)]


def new_database(cli, folder):
    db = os.path.join(folder, "Wage.VRD")
    subprocess.run([cli, "init-db", db], check=True, stdout=subprocess.DEVNULL)
    con = sqlite3.connect(db)
    con.executemany("insert into Sys_dept(DeptNO, DeptName) values (?, ?)", DEPARTMENTS)
    con.commit()
    con.close()
    return db
