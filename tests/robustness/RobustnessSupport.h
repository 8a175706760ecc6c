#pragma once

#include "support/TempDir.h"

#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <QVariant>

#include <gtest/gtest.h>

// Writes a workbook of make_robust_workbook.py into `out` (at test time: the
// big ones are never committed).
inline bool makeWorkbook(const QString& kind, const QString& out, const QStringList& extra = {})
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            QStringList{QStringLiteral(OSTREL_TEST_SOURCE_DIR "/robustness/make_robust_workbook.py"), kind, out} + extra);
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        ADD_FAILURE() << "make_robust_workbook.py " << kind.toStdString() << ": "
                      << p.readAllStandardError().toStdString();
        return false;
    }
    return true;
}

// A connection of its own on a database file, for looking at it from outside
// the program (as another process would).
class OutsideLook {
public:
    explicit OutsideLook(const QString& file)
        : name_(QStringLiteral("outside-%1").arg(QUuid::createUuid().toString()))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
        db.setDatabaseName(file);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        EXPECT_TRUE(db.open());
    }
    ~OutsideLook()
    {
        QSqlDatabase::database(name_, false).close();
        QSqlDatabase::removeDatabase(name_);
    }
    QVariant scalar(const QString& sql) const
    {
        QSqlQuery q(QSqlDatabase::database(name_, false));
        if (!q.exec(sql) || !q.next())
            return QVariant();
        return q.value(0);
    }
    QStringList column(const QString& sql) const
    {
        QStringList out;
        QSqlQuery q(QSqlDatabase::database(name_, false));
        EXPECT_TRUE(q.exec(sql)) << sql.toStdString();
        while (q.next())
            out << q.value(0).toString();
        return out;
    }

private:
    QString name_;
};

// The columns the writer sets to constants, for every stored row.
inline const char* kWholeRowCondition =
    "WorkStatus='在职' and Email='' and leye is null and reye is null and BodyHigh is null"
    " and BodyWeight is null and FamilyTel is null and NamePy<>'' and Wkid is not null"
    " and Workerid<>'' and DeptNo<>'' and DepName<>''";
