// The import through the command-line tool takes every workbook format: the
// sample saved as .xls, .xlsx and .csv stores the same employees.
#include "support/RunCli.h"
#include "support/TempDir.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>

#include <gtest/gtest.h>

namespace {
const QString kFullMap = QStringLiteral("1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31");

// Every stored employee, all columns, one line each.
QStringList storedRows(const QString& db)
{
    QStringList rows;
    {
        QSqlDatabase c = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("formats-check"));
        c.setDatabaseName(db);
        EXPECT_TRUE(c.open());
        QSqlQuery q(c);
        EXPECT_TRUE(q.exec(QStringLiteral("select * from Hrp_workers order by Workerid")));
        while (q.next()) {
            QStringList cells;
            for (int i = 0; i < q.record().count(); ++i)
                cells << q.value(i).toString();
            rows << cells.join(u'|');
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("formats-check"));
    return rows;
}
} // namespace

TEST(ImportFormats, TheSampleInEveryFormatStoresTheSameRows)
{
    TempDir dir;
    QStringList reference;
    for (const char* sample : {"workers-sample.xls", "workers-sample.xlsx", "workers-sample.csv"}) {
        SCOPED_TRACE(sample);
        const QString db = dir.file(QString::fromLatin1(sample) + QStringLiteral(".VRD"));
        ASSERT_EQ(runCli({QStringLiteral("init-db"), db, QStringLiteral("--demo")}).code, 0);
        const CliResult r = runCli({QStringLiteral("import"), QStringLiteral("--workbook"),
                                    QStringLiteral(OSTREL_TEST_SOURCE_DIR "/../examples/") + QString::fromLatin1(sample),
                                    QStringLiteral("--map"), kFullMap, QStringLiteral("--db"), db, QStringLiteral("--user"),
                                    QStringLiteral("0001"), QStringLiteral("--password-stdin")},
                                   "demo\n");
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
        const QStringList rows = storedRows(db);
        EXPECT_EQ(rows.size(), 20);
        if (reference.isEmpty())
            reference = rows;
        else
            EXPECT_EQ(rows, reference);
    }
}
