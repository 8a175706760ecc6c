#include "support/TempDir.h"

#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <gtest/gtest.h>

namespace {

struct CliRun {
    int status;
    QString out;
    QString err;
};

CliRun cli(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral(OSTREL_BIN_DIR "/ostrel-import-cli"), args);
    EXPECT_TRUE(p.waitForFinished(30000));
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

} // namespace

TEST(InitDbTest, CreatesRefusesAndExplains)
{
    TempDir tmp;
    const QString path = tmp.file(QStringLiteral("Wage.VRD"));
    const auto made = cli({QStringLiteral("init-db"), path, QStringLiteral("--demo")});
    EXPECT_EQ(made.status, 0) << made.err.toStdString();
    EXPECT_EQ(made.out.trimmed(), path);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("init-db-test"));
        db.setDatabaseName(path);
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec(QStringLiteral("SELECT COUNT(*) FROM Sys_dept")) && q.next());
        EXPECT_EQ(q.value(0).toInt(), 6);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("init-db-test"));

    const QString other = tmp.file(QStringLiteral("keep.VRD"));
    {
        QFile f(other);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("precious");
    }
    const auto refused = cli({QStringLiteral("init-db"), other});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.err.contains(other)) << refused.err.toStdString();
    EXPECT_TRUE(refused.out.isEmpty());
    QFile f(other);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "precious");

    EXPECT_EQ(cli({QStringLiteral("init-db")}).status, 2);
    EXPECT_EQ(cli({QStringLiteral("init-db"), path, QStringLiteral("second")}).status, 2);
    EXPECT_EQ(cli({QStringLiteral("init-db"), tmp.file(QStringLiteral("n.VRD")), QStringLiteral("--bogus")}).status, 2);
    EXPECT_FALSE(QFile::exists(tmp.file(QStringLiteral("n.VRD"))));
}
