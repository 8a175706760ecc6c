#include "support/RunCli.h"
#include "support/TempDir.h"

#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

CliResult cli(const QStringList& args)
{
    return runCli(args);
}

} // namespace

TEST(InitDbTest, CreatesRefusesAndExplains)
{
    TempDir tmp;
    const QString path = tmp.file(QStringLiteral("Wage.VRD"));
    const auto made = cli({QStringLiteral("init-db"), path, QStringLiteral("--demo")});
    EXPECT_EQ(made.code, 0) << made.err.toStdString();
    EXPECT_EQ(made.out.trimmed(), path);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("init-db-test"));
        db.setDatabaseName(path);
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec(QStringLiteral("SELECT COUNT(*) FROM Sys_dept")) && q.next());
        EXPECT_EQ(q.value(0).toInt(), 6);
        // Private, journal files included, whatever the umask.
        for (const QString& suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")}) {
            struct stat st {};
            ASSERT_EQ(::stat(QFile::encodeName(path + suffix).constData(), &st), 0) << suffix.toStdString();
            EXPECT_EQ(st.st_mode & 0777, 0600u) << suffix.toStdString();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("init-db-test"));

    const QString other = tmp.file(QStringLiteral("keep.VRD"));
    {
        QFile f(other);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("precious");
    }
    const auto refused = cli({QStringLiteral("init-db"), other});
    EXPECT_EQ(refused.code, 1);
    EXPECT_TRUE(refused.err.contains(other)) << refused.err.toStdString();
    EXPECT_TRUE(refused.out.isEmpty());
    QFile f(other);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "precious");

    EXPECT_EQ(cli({QStringLiteral("init-db")}).code, 2);
    EXPECT_EQ(cli({QStringLiteral("init-db"), path, QStringLiteral("second")}).code, 2);
    EXPECT_EQ(cli({QStringLiteral("init-db"), tmp.file(QStringLiteral("n.VRD")), QStringLiteral("--bogus")}).code, 2);
    EXPECT_FALSE(QFile::exists(tmp.file(QStringLiteral("n.VRD"))));
}
