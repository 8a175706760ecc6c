#include "platform/Errors.h"
#include "platform/db/Query.h"
#include "support/TempDir.h"

#include "DbTestSupport.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

QString errorOf(Connection& c)
{
    try {
        c.setConnected(true);
    } catch (const DbError& e) {
        return e.text();
    }
    return QString();
}

} // namespace

TEST(ConnectionTest, OpensAnExistingFileReadWrite)
{
    TempDir tmp;
    // Characters a file URI must escape, and a ";" the provider string must quote.
    const QString path = tmp.file(QStringLiteral("数据 #1?%;x.VRD"));
    createLocalDatabase(path, true);
    Connection c;
    openLocal(c, path);
    ASSERT_TRUE(c.connected());
    EXPECT_EQ(c.driverName(), QStringLiteral("QSQLITE"));
    Query q(c);
    q.add(QStringLiteral("INSERT INTO Sys_User VALUES ('0002', 'B', 'pw')"));
    q.execute();
    q.clear();
    q.add(QStringLiteral("PRAGMA synchronous"));
    q.open();
    EXPECT_EQ(q.fieldInteger(QStringLiteral("synchronous")), 1) << "WAL file runs with synchronous=NORMAL";
    c.setConnected(false);
    EXPECT_FALSE(c.connected());
}

TEST(ConnectionTest, MissingFileFailsAndIsNotCreated)
{
    TempDir tmp;
    const QString path = tmp.file(QStringLiteral("Data/Wage.VRD"));
    Connection c;
    c.setConnectionString(jetString(path));
    EXPECT_EQ(errorOf(c), QStringLiteral("Could not find file '%1'.").arg(path));
    EXPECT_FALSE(c.connected());
    EXPECT_FALSE(QFile::exists(path));
}

TEST(ConnectionTest, FileThatIsNoDatabaseFails)
{
    TempDir tmp;
    const QString path = tmp.file(QStringLiteral("junk.VRD"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(4096, 'x'));
    f.close();
    Connection c;
    c.setConnectionString(jetString(path));
    EXPECT_EQ(errorOf(c), QStringLiteral("Unrecognized database format '%1'.").arg(path));
    EXPECT_FALSE(c.connected());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray(4096, 'x'));
}

TEST(ConnectionTest, UnknownProviderAndUnreachableServer)
{
    Connection c;
    c.setConnectionString(QStringLiteral("Provider=Nothing.1;Data Source=x"));
    EXPECT_EQ(errorOf(c), QStringLiteral("Provider cannot be found. It may not be properly installed."));

    c.setConnectionString(QStringLiteral("Provider=SQLOLEDB.1;Password=;Persist Security Info=True;User ID=sa;"
                                         "Initial Catalog=Wage;Data Source=127.0.0.1"));
    c.setOdbcDriver(QStringLiteral("No Such Ostrel Driver"));
    const QString text = errorOf(c);
    EXPECT_FALSE(text.isEmpty());
    EXPECT_FALSE(c.connected());
}

TEST(ConnectionTest, ReopeningKeepsQueriesUsable)
{
    TempDir tmp;
    const QString path = tmp.file(QStringLiteral("a.VRD"));
    createLocalDatabase(path, true);
    Connection c;
    openLocal(c, path);
    Query q(c);
    q.add(QStringLiteral("SELECT COUNT(*) AS n FROM Sys_dept"));
    q.open();
    EXPECT_EQ(q.fieldInteger(QStringLiteral("n")), 6);
    c.setConnected(false);
    EXPECT_THROW(q.open(), DbError);
    c.setConnected(true);
    q.open();
    EXPECT_EQ(q.fieldInteger(QStringLiteral("N")), 6);
}
