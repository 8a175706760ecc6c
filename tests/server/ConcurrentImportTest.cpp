// Rows in groups on a live PostgreSQL: several clerks importing at once into
// one database, and a check that rolls back around rows the server refuses.

#include "data/UserDMUnit.h"
#include "import/ImportTestSupport.h"
#include "platform/Shell.h"
#include "server/ServerTestSupport.h"
#include "services/userGlobal.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <iostream>
#include <memory>
#include <vector>

TEST(ServerConcurrentImport, FourImportersDrawDistinctKeysAndStoreTheSharedNumberOnce)
{
    REQUIRE_PG_SERVER();
    constexpr int kImporters = 4;
    constexpr int kRows = 500;  // each, besides the shared number
    ServerDatabase db;
    db.addDepartments();
    TempDir dir;
    db.writeSettings(dir.path(), PgServer::get()->password);
    QProcess make;
    make.start(QStringLiteral("/usr/bin/python3"),
               {QStringLiteral(OSTREL_TEST_SOURCE_DIR "/server/make_importer_workbooks.py"), dir.path(),
                QString::number(kImporters), QString::number(kRows)});
    ASSERT_TRUE(make.waitForFinished(60000) && make.exitCode() == 0) << make.readAllStandardError().toStdString();

    QElapsedTimer timer;
    timer.start();
    std::vector<std::unique_ptr<QProcess>> importers;
    for (int k = 1; k <= kImporters; ++k) {
        auto p = std::make_unique<QProcess>();
        p->start(QStringLiteral(OSTREL_BIN_DIR "/ostrel-import-cli"),
                 {QStringLiteral("import"), QStringLiteral("--workbook"), dir.file(QStringLiteral("importer-%1.xls").arg(k)),
                  QStringLiteral("--map"), QStringLiteral("Workerid=1,Wname=2,DepName=3"),
                  QStringLiteral("--settings-dir"), dir.path()});
        p->closeWriteChannel();
        importers.push_back(std::move(p));
    }
    QStringList listed;
    for (auto& p : importers) {
        ASSERT_TRUE(p->waitForFinished(110000));
        // One importer stores the shared number; the others list it.
        EXPECT_TRUE(p->exitCode() == 0 || p->exitCode() == 3) << p->readAllStandardError().toStdString();
        listed += QString::fromUtf8(p->readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    }
    const qint64 ms = timer.elapsed();

    const qint64 rows = db.count(QStringLiteral("select count(*) from hrp_workers"));
    const qint64 maxKey = db.count(QStringLiteral("select max(wkid) from hrp_workers"));
    const qint64 counter = db.count(QStringLiteral("select avalue from sys_serialno where serialname='WKID'"));
    std::cout << kImporters << " importers x " << kRows + 1 << " rows at once: " << ms << " ms, " << rows
              << " rows stored, keys up to " << maxKey << ", counter " << counter << ", " << listed.size()
              << " listed\n";
    EXPECT_EQ(rows, kImporters * kRows + 1);
    EXPECT_EQ(db.count(QStringLiteral("select count(distinct wkid) from hrp_workers")), rows);
    EXPECT_EQ(db.count(QStringLiteral("select count(*) from hrp_workers where workerid='SHARED'")), 1);
    EXPECT_EQ(db.count(QStringLiteral("select count(*) from sys_serialno")), 1);
    EXPECT_GT(counter, maxKey);
    // The three that came second list the shared number, as a duplicate or
    // as the unique key's refusal; nothing else is listed.
    ASSERT_EQ(listed.size(), kImporters - 1) << listed.join(u'\n').toStdString();
    for (const QString& line : listed)
        EXPECT_TRUE(line.startsWith(QStringLiteral("SHARED-"))) << line.toStdString();
}

namespace {
// The data module in this process on a database of its own.
class ServerWrites : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_PG_SERVER();
        db = std::make_unique<ServerDatabase>();
        db->addDepartments();
        db->writeSettings(dir.path(), PgServer::get()->password);
        Shell::overrideExecutableDirectory(dir.path());
        UserDM = &dm;
        dm.DataModuleCreate();
        ASSERT_TRUE(dm.ADOConnection1.connected());
    }
    void TearDown() override
    {
        UserDM = nullptr;
        Shell::overrideExecutableDirectory(QString());
        ResetGlobalRecords();
    }

    TempDir dir;
    std::unique_ptr<ServerDatabase> db;
    TUserDM dm;
};
} // namespace

// Every 120th row's birthday is refused: each refusal undoes the writes
// since the last savepoint, which are then made again.
TEST_F(ServerWrites, RefusedRowsInALongGroupKeepEveryRowBeforeThem)
{
    constexpr int kRows = 300;
    WorkerWriter writer;
    writer.beginRun();
    QStringList refused;
    for (int i = 1; i <= kRows; ++i) {
        ImportRow row;
        row.Workerid = QStringLiteral("L%1").arg(i, 4, 10, QChar(u'0'));
        row.Wname = QStringLiteral("张三丰");
        row.DepName = QStringLiteral("人事部");
        row.BIrThday = i % 120 == 0 ? QStringLiteral("不是日期") : QStringLiteral("1980-01-01");
        writer.SaveWorkerRow(row, 0);
        if (!row.RowWritten)
            refused << row.Workerid;
    }
    writer.endRun();
    EXPECT_EQ(refused, (QStringList{QStringLiteral("L0120"), QStringLiteral("L0240")}));
    EXPECT_EQ(db->count(QStringLiteral("select count(*) from hrp_workers")), kRows - 2);
    EXPECT_EQ(db->count(QStringLiteral("select count(distinct wkid) from hrp_workers")), kRows - 2);
    EXPECT_EQ(db->count(QStringLiteral("select count(*) from hrp_workers where workerid in ('L0119', 'L0121', 'L0300')")), 3);
    // Each refused row drew its key: the counter stands one past the last.
    EXPECT_EQ(db->count(QStringLiteral("select max(wkid) from hrp_workers")), kRows);
    EXPECT_EQ(db->count(QStringLiteral("select avalue from sys_serialno")), kRows + 1);
}

TEST_F(ServerWrites, RollBackWriterGoesPastRefusedRowsAndLeavesTheDatabaseAsItWas)
{
    // bad-values: row 2's birthday and row 3's wage are refused by the server.
    RecordingView view;
    view.mapAll();
    view.path = importFixture("bad-values.xls");
    ImportRow row;
    WorkerWriter check(WriteSession::End::RollBack);
    EXPECT_EQ(ImportRun(view, row, check).SBSaveClick(), RunEnd::Succeeded);
    EXPECT_EQ(view.finishedImported, 1);
    ASSERT_EQ(view.list.size(), 2);
    EXPECT_TRUE(view.reasons[0].contains(QStringLiteral("不是日期"))) << view.reasons[0].toStdString();
    EXPECT_TRUE(view.reasons[1].contains(QStringLiteral("面议"))) << view.reasons[1].toStdString();
    EXPECT_EQ(db->count(QStringLiteral("select count(*) from hrp_workers")), 0);
    EXPECT_EQ(db->count(QStringLiteral("select count(*) from sys_serialno")), 0);
}

// A check rolls back everything it does: it takes no lock on the key
// counter, so an importer started beside a long check does not wait for it.
TEST(ServerConcurrentImport, ImportBesideALongCheckDoesNotWaitForIt)
{
    REQUIRE_PG_SERVER();
    ServerDatabase db;
    db.addDepartments();
    TempDir dir, small;
    db.writeSettings(dir.path(), PgServer::get()->password);
    const auto make = [](const QString& into, int count, int rows) {
        QProcess p;
        p.start(QStringLiteral("/usr/bin/python3"),
                {QStringLiteral(OSTREL_TEST_SOURCE_DIR "/server/make_importer_workbooks.py"), into,
                 QString::number(count), QString::number(rows), QStringLiteral("--no-shared")});
        return p.waitForFinished(60000) && p.exitCode() == 0;
    };
    ASSERT_TRUE(make(dir.path(), 1, 30000));
    ASSERT_TRUE(make(small.path(), 5, 2));  // numbers 2- to 5-: none in the check's
    const auto args = [&dir](const QString& workbook) {
        return QStringList{QStringLiteral("import"), QStringLiteral("--workbook"), workbook, QStringLiteral("--map"),
                           QStringLiteral("Workerid=1,Wname=2,DepName=3"), QStringLiteral("--settings-dir"), dir.path()};
    };
    const auto timedImport = [&args](const QString& workbook) {
        QElapsedTimer timer;
        timer.start();
        QProcess p;
        p.start(QStringLiteral(OSTREL_BIN_DIR "/ostrel-import-cli"), args(workbook));
        p.closeWriteChannel();
        EXPECT_TRUE(p.waitForFinished(30000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        return timer.elapsed();
    };
    // Alone, once the counter exists (as it does beside a check).
    // The slower of two: on shared cores one run alone may be lucky.
    timedImport(small.file(QStringLiteral("importer-2.xls")));
    const qint64 alone = qMax(timedImport(small.file(QStringLiteral("importer-3.xls"))),
                              timedImport(small.file(QStringLiteral("importer-4.xls"))));

    QElapsedTimer checkTimer;
    checkTimer.start();
    QProcess check;
    // At the lowest priority: the question is whether the import waits for
    // a lock, not how two processes share the cores.
    check.start(QStringLiteral("nice"), QStringList{QStringLiteral("-n"), QStringLiteral("19"),
                                                    QStringLiteral(OSTREL_BIN_DIR "/ostrel-import-cli")}
                                            + (args(dir.file(QStringLiteral("importer-1.xls"))) << QStringLiteral("--check")));
    ASSERT_TRUE(check.waitForStarted());
    check.closeWriteChannel();
    // Into its write pass: it has drawn keys by then.
    QThread::msleep(1000);
    const qint64 beside = timedImport(small.file(QStringLiteral("importer-5.xls")));
    const bool checkStillRunning = !check.waitForFinished(0);
    // At the lowest priority beside other tests (or a sanitizer build) the
    // check may wait minutes for a core; the import beside it is what counts.
    if (check.state() != QProcess::NotRunning) {
        ASSERT_TRUE(check.waitForFinished(300000));
    }
    std::cout << "check " << checkTimer.elapsed() << " ms\n";
    EXPECT_EQ(check.exitCode(), 0) << check.readAllStandardError().toStdString();
    std::cout << "2-row import alone " << alone << " ms, beside a 30,000-row check " << beside << " ms\n";
    ASSERT_TRUE(checkStillRunning) << "the check ended before the import: make its workbook longer";
    // Waiting for the check would take its whole length (seconds); a busy
    // neighbour on the cores may cost a little.
    EXPECT_LT(beside, 2 * alone + 1500);
    EXPECT_EQ(db.count(QStringLiteral("select count(*) from hrp_workers")), 8);
    EXPECT_EQ(db.count(QStringLiteral("select avalue from sys_serialno")), 9);
}
