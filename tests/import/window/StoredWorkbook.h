#pragma once

#include "support/TestDatabase.h"

#include <QDir>
#include <QFile>

// A workbook of `rows` rows whose every row is already stored: an import
// refuses all of them ("工号已存在"), as re-importing a finished file does.
// Worker number, name and department in columns 1, 2 and 3.
inline QString writeStoredWorkbook(const QString& folder, TestDatabase& db, int rows)
{
    db.addDepartment(QStringLiteral("01"), QStringLiteral("人事部"));
    db.exec(QStringLiteral("with recursive n(i) as (select 1 union all select i + 1 from n where i < %1) "
                           "insert into Hrp_workers(Wkid, Workerid) select i, printf('W%05d', i) from n")
                .arg(rows));
    QByteArray csv = "工号,姓名,部门\n";
    csv.reserve(qsizetype(rows) * 24);
    for (int i = 1; i <= rows; ++i)
        csv += QStringLiteral("W%1,员工%2,人事部\n").arg(i, 5, 10, QChar(u'0')).arg(i).toUtf8();
    const QString path = QDir(folder).filePath(QStringLiteral("stored.csv"));
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(csv);
    return path;
}

// The three boxes that workbook needs, set through `set(box, text)`.
template <typename Set> void mapStoredWorkbook(Set set)
{
    set(1, QStringLiteral("1"));
    set(2, QStringLiteral("2"));
    set(17, QStringLiteral("3"));
}
