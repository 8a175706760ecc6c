#include "data/LocalDatabase.h"
#include "platform/Errors.h"
#include "platform/db/Connection.h"
#include "platform/db/ConnectionString.h"
#include "platform/db/Query.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

class LocalDatabaseTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        path = tmp.file(QStringLiteral("Wage.VRD"));
        createLocalDatabase(path, true);
        conn.setConnectionString(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + path);
        conn.setConnected(true);
    }

    QStringList columns(const QString& table)
    {
        Query q(conn);
        q.add(QStringLiteral("SELECT name FROM pragma_table_info(:t) ORDER BY cid"));
        q.setText(QStringLiteral("t"), table);
        q.open();
        QStringList names;
        for (q.first(); !q.eof(); q.next())
            names << q.fieldText(QStringLiteral("name"));
        return names;
    }

    // True when the row goes in.
    bool insertWorker(const QString& workerId, const QString& column, const QVariant& value)
    {
        Query q(conn);
        q.add(QStringLiteral("INSERT INTO Hrp_workers (Workerid, %1) VALUES (:w, :v)").arg(column));
        q.setText(QStringLiteral("w"), workerId);
        if (value.isNull())
            q.setNull(QStringLiteral("v"));
        else if (value.typeId() == QMetaType::Int)
            q.setInteger(QStringLiteral("v"), value.toInt());
        else
            q.setText(QStringLiteral("v"), value.toString());
        try {
            q.execute();
            return true;
        } catch (const DbError&) {
            return false;
        }
    }

    TempDir tmp;
    QString path;
    Connection conn;
};

} // namespace

TEST_F(LocalDatabaseTest, TablesHaveEveryColumn)
{
    EXPECT_EQ(columns(QStringLiteral("Hrp_workers")),
              (QStringList{"Wkid", "Workerid", "Wname", "NamePy", "DeptNo", "DepName", "Sex", "Nation", "Politics",
                           "BIrThday", "IdNumber", "Birthplace", "marriage", "Education", "Skill", "JobTitle",
                           "BeginDate", "NorMalDate", "BankName", "BankId", "EmployType", "BaseWage", "ContactAddr",
                           "Worktel1", "Worktel2", "Remarks", "CurativeId", "CustodyOldId", "Profession", "SchoolName",
                           "GraduateDate", "WageLevel", "WorkStatus", "ALanguage", "leye", "reye", "BodyHigh",
                           "BodyWeight", "Email", "FamilyTel", "JobAsses", "LeaveDate"}));
    EXPECT_EQ(columns(QStringLiteral("Sys_dept")), (QStringList{"DeptNO", "DeptName"}));
    EXPECT_EQ(columns(QStringLiteral("Sys_SerialNo")), (QStringList{"SerialName", "AValue"}));
    EXPECT_EQ(columns(QStringLiteral("Sys_User")), (QStringList{"UserID", "UserName", "PassWd"}));

    Query q(conn);
    q.add(QStringLiteral("INSERT INTO Sys_SerialNo VALUES ('WKID', 2)"));
    q.execute();
    q.clear();
    q.add(QStringLiteral("PRAGMA journal_mode"));
    q.open();
    EXPECT_EQ(q.fieldText(QStringLiteral("journal_mode")), QStringLiteral("wal"));
}

TEST_F(LocalDatabaseTest, DemoContent)
{
    Query q(conn);
    q.add(QStringLiteral("SELECT DeptNO, DeptName FROM Sys_dept ORDER BY DeptNO"));
    q.open();
    ASSERT_EQ(q.rowCount(), int(std::size(DemoDepartments)));
    for (const DemoDepartment& d : DemoDepartments) {
        EXPECT_EQ(q.fieldText(QStringLiteral("deptno")), QString::fromUtf8(d.number));
        EXPECT_EQ(q.fieldText(QStringLiteral("deptname")), QString::fromUtf8(d.name));
        q.next();
    }
    q.clear();
    q.add(QStringLiteral("SELECT * FROM Sys_User"));
    q.open();
    ASSERT_EQ(q.rowCount(), 1);
    EXPECT_EQ(q.fieldText(QStringLiteral("UserID")), QStringLiteral("0001"));
    EXPECT_EQ(q.fieldText(QStringLiteral("UserName")), QStringLiteral("演示用户"));
    EXPECT_EQ(q.fieldText(QStringLiteral("PassWd")), QStringLiteral("demo"));
}

TEST_F(LocalDatabaseTest, ColumnsKeepOnlyWhatTheyMayHold)
{
    for (const char* col : {"BIrThday", "BeginDate", "NorMalDate", "GraduateDate", "LeaveDate"}) {
        const QString c = QString::fromLatin1(col);
        EXPECT_TRUE(insertWorker(c + "1", c, QStringLiteral("1990-05-17"))) << col;
        EXPECT_TRUE(insertWorker(c + "2", c, QStringLiteral("1990-05-17 08:30:00"))) << col;
        EXPECT_TRUE(insertWorker(c + "3", c, QVariant())) << col;
        EXPECT_FALSE(insertWorker(c + "4", c, QStringLiteral("1990-5-17"))) << col;
        EXPECT_FALSE(insertWorker(c + "5", c, QStringLiteral("1990-02-30"))) << col;
        EXPECT_FALSE(insertWorker(c + "8", c, QStringLiteral("1990-05-17 25:00:00"))) << col;
        EXPECT_FALSE(insertWorker(c + "6", c, QStringLiteral("张三"))) << col;
        EXPECT_FALSE(insertWorker(c + "7", c, QString())) << col;
    }
    EXPECT_TRUE(insertWorker(QStringLiteral("W1"), QStringLiteral("BaseWage"), QStringLiteral("3000.50")));
    EXPECT_TRUE(insertWorker(QStringLiteral("W2"), QStringLiteral("BaseWage"), 0));
    EXPECT_FALSE(insertWorker(QStringLiteral("W3"), QStringLiteral("BaseWage"), QStringLiteral("三千")));
    for (const char* col : {"leye", "reye", "BodyHigh", "BodyWeight", "FamilyTel"})
        EXPECT_TRUE(insertWorker(QStringLiteral("N-") + QLatin1String(col), QLatin1String(col), QVariant())) << col;
    EXPECT_TRUE(insertWorker(QStringLiteral("E1"), QStringLiteral("Email"), QString()));
    // One worker number, one key.
    EXPECT_FALSE(insertWorker(QStringLiteral("W1"), QStringLiteral("Wname"), QStringLiteral("again")));
    EXPECT_TRUE(insertWorker(QStringLiteral("K1"), QStringLiteral("Wkid"), 1000000));
    EXPECT_FALSE(insertWorker(QStringLiteral("K2"), QStringLiteral("Wkid"), 1000000));

    Query q(conn);
    q.add(QStringLiteral("INSERT INTO Sys_SerialNo VALUES ('WKID', 2)"));
    q.execute();
    EXPECT_THROW(q.execute(), DbError);
}

TEST_F(LocalDatabaseTest, ExistingPathIsRefusedAndLeftAlone)
{
    const QString other = tmp.file(QStringLiteral("keep.VRD"));
    QFile f(other);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("precious");
    f.close();
    for (const QString& p : {other, path}) {
        const QByteArray before = [&] { QFile g(p); g.open(QIODevice::ReadOnly); return g.readAll(); }();
        EXPECT_THROW(createLocalDatabase(p, false), Error);
        QFile g(p);
        ASSERT_TRUE(g.open(QIODevice::ReadOnly));
        EXPECT_EQ(g.readAll(), before);
    }
    EXPECT_THROW(createLocalDatabase(tmp.file(QStringLiteral("no-such-dir/x.VRD")), false), Error);
    EXPECT_FALSE(QFile::exists(tmp.file(QStringLiteral("no-such-dir/x.VRD"))));
}

// The text keys compare without regard to the case of A-Z (and only those
// letters) in a file made by init-db. A peer file made with the sqlite3
// tool from the schema as it was, without the collation, keeps comparing
// case by case: the program does not change a database it did not make.
TEST_F(LocalDatabaseTest, KeysIgnoreTheCaseOfLatinLettersPeersKeepTheirOwn)
{
    QString oldSchema = localDatabaseScript();
    oldSchema.remove(QStringLiteral(" COLLATE NOCASE"));
    const QString peerPath = tmp.file(QStringLiteral("Peer.VRD"));
    QProcess tool;
    tool.start(QStringLiteral("sqlite3"), {peerPath});
    tool.write(oldSchema.toUtf8());
    tool.closeWriteChannel();
    ASSERT_TRUE(tool.waitForFinished() && tool.exitCode() == 0) << tool.readAllStandardError().toStdString();
    Connection peer;
    peer.setConnectionString(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + peerPath);
    peer.setConnected(true);

    for (Connection* c : {&conn, &peer}) {
        const bool folds = c == &conn;
        const auto run = [c](const char* sql) {
            Query q(*c);
            q.add(QString::fromUtf8(sql));
            try {
                q.open();
                return q.isEmpty() ? -1 : int(q.fieldInteger(q.fieldNames().value(0)));
            } catch (const DbError&) {
                return -2;  // refused
            }
        };
        run("insert into Sys_dept values ('07', 'IT部'), ('08', 'équipe')");
        run("insert into Sys_User values ('ZH', '张华', 'pw')");
        run("insert into Sys_SerialNo values ('WKID', 2)");
        run("insert into Hrp_workers (Workerid) values ('W0001')");
        EXPECT_EQ(run("insert into Hrp_workers (Workerid) values ('w0001')"), folds ? -2 : -1);
        EXPECT_EQ(run("select count(*) from Sys_dept where DeptName = 'it部'"), folds ? 1 : 0);
        EXPECT_EQ(run("select count(*) from Sys_dept where DeptName = 'ÉQUIPE'"), 0);
        EXPECT_EQ(run("select count(*) from Sys_User where UserID = 'zh'"), folds ? 1 : 0);
        EXPECT_EQ(run("select count(*) from Sys_SerialNo where SerialName = 'wkid'"), folds ? 1 : 0);
        EXPECT_EQ(run("insert into Sys_SerialNo values ('Wkid', 5)"), folds ? -2 : -1);
    }
}

TEST(LocalDatabaseScriptTest, CommittedScriptMatchesTheSchema)
{
    QFile f(QDir::cleanPath(QStringLiteral(OSTREL_TEST_FIXTURES "/../../sql/sqlite.sql")));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << "sql/sqlite.sql is missing";
    EXPECT_EQ(QString::fromUtf8(f.readAll()), localDatabaseScript())
        << "regenerate it: ostrel-import-cli schema > sql/sqlite.sql";
}
