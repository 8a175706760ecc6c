// The record of runs and the undo, through the command-line tool on a real
// local database file: what an undo leaves is the table as it was before the
// import (the counter aside), whatever was changed since is kept and listed,
// and a killed import's record matches what the database kept.
#include "import/ImportTestSupport.h"
#include "robustness/RobustnessSupport.h"
#include "support/RunCli.h"
#include "support/TempDir.h"

#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QSqlRecord>
#include <QThread>

#include <gtest/gtest.h>

namespace {
const QString kLook = QStringLiteral("records-look");
const QString kFullMap = QStringLiteral("1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31");

class RecordsCliTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        db = dir.file(QStringLiteral("Wage.VRD"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), dir.file(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.file(QStringLiteral("config")));
        ASSERT_EQ(cli({QStringLiteral("init-db"), db, QStringLiteral("--demo")}).code, 0);
        look = std::make_unique<OutsideLook>(db);
        QSqlDatabase c = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kLook);
        c.setDatabaseName(db);
        c.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        ASSERT_TRUE(c.open());
    }
    void TearDown() override
    {
        QSqlDatabase::database(kLook, false).close();
        QSqlDatabase::removeDatabase(kLook);
    }
    CliResult cli(const QStringList& args) { return runCli(args, "demo\n", env); }
    QStringList login() const
    {
        return {QStringLiteral("--db"), db, QStringLiteral("--user"), QStringLiteral("0001"), QStringLiteral("--password-stdin")};
    }
    CliResult import(const QString& workbook, const QString& map = kFullMap, const char* mode = "add")
    {
        return cli(QStringList{QStringLiteral("import"), QStringLiteral("--workbook"), workbook, QStringLiteral("--map"), map,
                               QStringLiteral("--mode"), QString::fromLatin1(mode)}
                   + login());
    }
    CliResult undo(const QString& run, bool check = false)
    {
        QStringList args = QStringList{QStringLiteral("undo"), QStringLiteral("--run"), run} + login();
        if (check)
            args << QStringLiteral("--check");
        return cli(args);
    }
    // The newest run's id, from history.
    QString lastRun()
    {
        const CliResult h = cli({QStringLiteral("history"), QStringLiteral("--limit"), QStringLiteral("1")});
        return h.out.section(u'\t', 0, 0);
    }
    // Every row and column of the personnel table, as text.
    QStringList workers()
    {
        QStringList out;
        QSqlQuery q(QSqlDatabase::database(kLook, false));
        EXPECT_TRUE(q.exec(QStringLiteral("select * from Hrp_workers order by Wkid")));
        while (q.next()) {
            QStringList cells;
            for (int i = 0; i < q.record().count(); ++i)
                cells << (q.value(i).isNull() ? QStringLiteral("<null>") : q.value(i).toString());
            out << cells.join(u'|');
        }
        return out;
    }
    qint64 counter() { return look->scalar(QStringLiteral("select AValue from Sys_SerialNo where SerialName='WKID'")).toLongLong(); }

    TempDir dir;
    QString db;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    std::unique_ptr<OutsideLook> look;
};
} // namespace

TEST_F(RecordsCliTest, AddRunUndoneLeavesTheTableAsBeforeButKeepsAnEditedRowAndTheCounter)
{
    ASSERT_EQ(import(importFixture("people.xls")).code, 0);  // rows that stay
    const QStringList before = workers();
    ASSERT_EQ(before.size(), 5);

    // The header taken a row lower: a record names the rows of the sheet.
    ASSERT_EQ(cli(QStringList{QStringLiteral("import"), QStringLiteral("--workbook"), importFixture("many.xls"), QStringLiteral("--map"),
                              QStringLiteral("Workerid=1,Wname=2,DepName=17"), QStringLiteral("--header-row"), QStringLiteral("2")}
                  + login())
                  .code,
              0);
    const QString run = lastRun();
    const CliResult history = cli({QStringLiteral("history")});
    const QStringList runs = history.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(runs.size(), 2);
    const QStringList fields = runs[0].split(u'\t');
    EXPECT_EQ(fields[0], run);
    EXPECT_TRUE(fields[3].endsWith(QStringLiteral("many.xls")));
    EXPECT_EQ(fields.mid(4, 4), (QStringList{QStringLiteral("增加导入"), QStringLiteral("599"), QStringLiteral("0"), QStringLiteral("完成")}));
    EXPECT_EQ(fields[9], db);
    const QStringList rows = cli({QStringLiteral("history"), QStringLiteral("--run"), run}).out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 599);
    EXPECT_TRUE(rows[0].startsWith(QStringLiteral("3\t6\tM0001"))) << rows[0].toStdString();

    // Changed after the import: a column the import wrote, and one it did not.
    look->scalar(QStringLiteral("update Hrp_workers set Remarks='调岗' where Workerid='M0007'"));
    look->scalar(QStringLiteral("update Hrp_workers set LeaveDate='2026-01-01' where Workerid='M0100'"));
    const qint64 counterAfterImport = counter();

    CliResult r = undo(run, true);
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("将删除 597 人，恢复 0 人的 0 项资料；2 人导入后已被修改，不会撤销。确定撤销吗？")))
        << r.err.toStdString();
    EXPECT_EQ(workers().size(), 604);  // --check changes nothing

    r = undo(run);
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("第 9 行 工号 M0007：导入后已被修改，未撤销\n第 102 行 工号 M0100：导入后已被修改，未撤销\n"));
    const QStringList after = workers();
    ASSERT_EQ(after.size(), 7);
    EXPECT_EQ(after.mid(0, 5), before);
    EXPECT_EQ(counter(), counterAfterImport);  // keys once drawn stay used

    // Once only; the undo is a record of its own.
    r = undo(run);
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("不能再撤销"))) << r.err.toStdString();
    const QStringList newest = cli({QStringLiteral("history")}).out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(newest.size(), 3);
    EXPECT_TRUE(newest[0].contains(QStringLiteral("撤销第 %1 次\t597\t2\t完成").arg(run))) << newest[0].toStdString();
    EXPECT_TRUE(newest[1].contains(QStringLiteral("已撤销（0001 "))) << newest[1].toStdString();
}

TEST_F(RecordsCliTest, UpdateRunUndonePutsBackOldValuesWhereTheyStillHoldTheRunsValues)
{
    ASSERT_EQ(import(importFixture("people.xls")).code, 0);
    const QStringList added = workers();
    // Skill and BankName take the name's column: five changes each.
    ASSERT_EQ(import(importFixture("people.xls"), QStringLiteral("Workerid=1,Wname=2,DepName=17,Skill=2,BankName=2,JobAsses=3"), "update")
                  .code,
              0);
    const QString run = lastRun();
    EXPECT_TRUE(cli({QStringLiteral("history"), QStringLiteral("--run"), run}).out.contains(QStringLiteral("Skill: 编程 → 张三丰")));
    look->scalar(QStringLiteral("update Hrp_workers set BankName='建设银行' where Workerid='W0002'"));

    const CliResult r = undo(run);
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("删除 0 人，恢复 5 人的 14 项资料；1 人导入后已被修改"))) << r.err.toStdString();
    QStringList after = workers();
    ASSERT_EQ(after.size(), 5);
    // W0002 keeps the clerk's bank, and gets its skill and title back.
    EXPECT_TRUE(after[1].contains(QStringLiteral("|建设银行|")));
    after[1].replace(QStringLiteral("|建设银行|"), QStringLiteral("|工商银行|"));
    EXPECT_EQ(after, added);
}

TEST_F(RecordsCliTest, KilledImportsRecordMatchesWhatTheDatabaseKeptAndItsUndoRemovesExactlyThose)
{
    constexpr int kRows = 20000;
    const QString workbook = dir.file(QStringLiteral("rows.xls"));
    ASSERT_TRUE(makeWorkbook(QStringLiteral("rows"), workbook, {QString::number(kRows)}));
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(OSTREL_BIN_DIR "/ostrel-import-cli"),
            QStringList{QStringLiteral("import"), QStringLiteral("--workbook"), workbook, QStringLiteral("--map"),
                        QStringLiteral("Workerid=1,Wname=2,DepName=3")}
                + login());
    ASSERT_TRUE(p.waitForStarted());
    p.write("demo\n");
    p.waitForBytesWritten(5000);
    p.closeWriteChannel();
    QElapsedTimer waited;
    waited.start();
    while (look->scalar(QStringLiteral("select count(*) from Hrp_workers")).toInt() < 300 && p.state() == QProcess::Running
           && waited.elapsed() < 60000)
        QThread::msleep(10);
    ASSERT_EQ(p.state(), QProcess::Running) << "finished before it could be killed";
    p.kill();
    ASSERT_TRUE(p.waitForFinished(10000));

    const QString run = lastRun();
    const QStringList history = cli({QStringLiteral("history")}).out.split(u'\t');
    ASSERT_GE(history.size(), 8);
    EXPECT_EQ(history[7], QStringLiteral("中断（程序未正常结束）"));
    QStringList recorded;
    for (const QString& line : cli({QStringLiteral("history"), QStringLiteral("--run"), run}).out.split(u'\n', Qt::SkipEmptyParts))
        recorded << line.section(u'\t', 2, 2);
    QStringList kept;
    QSqlQuery q(QSqlDatabase::database(kLook, false));
    ASSERT_TRUE(q.exec(QStringLiteral("select Workerid from Hrp_workers order by Wkid")));
    while (q.next())
        kept << q.value(0).toString();
    ASSERT_GE(kept.size(), 300);
    EXPECT_EQ(recorded, kept);

    const CliResult r = undo(run);
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("删除 %1 人").arg(kept.size()))) << r.err.toStdString();
    EXPECT_EQ(look->scalar(QStringLiteral("select count(*) from Hrp_workers")).toInt(), 0);
}

TEST_F(RecordsCliTest, DamagedRecordsFileNeverStopsAnImport)
{
    QDir().mkpath(dir.file(QStringLiteral("data/Ostrel")));
    QFile garbage(dir.file(QStringLiteral("data/Ostrel/records.sqlite")));
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write(QByteArray(8192, 'x'));
    garbage.close();

    const CliResult r = import(importFixture("people.xls"));
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(look->scalar(QStringLiteral("select count(*) from Hrp_workers")).toInt(), 5);
    EXPECT_EQ(r.err.count(QStringLiteral("导入记录没有保存")), 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("records.sqlite"))) << r.err.toStdString();
}
