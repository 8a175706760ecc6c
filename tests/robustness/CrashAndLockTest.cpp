// The import killed in the middle, and a database another program holds
// locked: afterwards the file is sound, every stored row whole, and nothing
// imported twice or lost.
#include "data/UserDMUnit.h"
#include "import/ImportRun.h"
#include "import/ImportTestSupport.h"
#include "import/WorkerWriter.h"
#include "robustness/RobustnessSupport.h"
#include "support/ScriptedDialogs.h"
#include "support/TestDatabase.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {
const QString kCli = QStringLiteral(OSTREL_BIN_DIR "/ostrel-import-cli");
const QString kSmallMap = QStringLiteral("Workerid=1,Wname=2,DepName=3");

QStringList importArgs(const QString& workbook, const QString& db)
{
    return {QStringLiteral("import"), QStringLiteral("--workbook"), workbook, QStringLiteral("--map"), kSmallMap,
            QStringLiteral("--db"), db, QStringLiteral("--user"), QStringLiteral("0001"), QStringLiteral("--password-stdin")};
}

void startCli(QProcess& p, const QStringList& args)
{
    p.start(kCli, args);
    ASSERT_TRUE(p.waitForStarted());
    p.write("demo\n");
    // The caller may poll without an event loop: hand the password over now.
    p.waitForBytesWritten(5000);
    p.closeWriteChannel();
}

// A child process that takes the write lock of `file`, says so, holds it for
// `seconds` and lets it go.
class LockHolder {
public:
    LockHolder(const QString& file, double seconds)
    {
        const QString script = QStringLiteral(
            "import sqlite3, sys, time\n"
            "c = sqlite3.connect(sys.argv[1], isolation_level=None)\n"
            "c.execute('BEGIN IMMEDIATE')\n"
            "print('held', flush=True)\n"
            "time.sleep(float(sys.argv[2]))\n"
            "c.execute('COMMIT')\n");
        p_.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), script, file, QString::number(seconds)});
        EXPECT_TRUE(p_.waitForReadyRead(10000)) << p_.readAllStandardError().toStdString();
        EXPECT_EQ(p_.readAllStandardOutput().trimmed(), "held");
    }
    ~LockHolder() { p_.waitForFinished(20000); }

private:
    QProcess p_;
};
} // namespace

// The file init-db makes (WAL), and one in the rollback journal of a file
// the program did not make.
class CrashTest : public ::testing::TestWithParam<const char*> {};
INSTANTIATE_TEST_SUITE_P(Journal, CrashTest, ::testing::Values("wal", "delete"));

TEST_P(CrashTest, KilledImportLeavesWholeRowsAndTheSecondImportAddsTheRest)
{
    constexpr int kRows = 20000;
    TempDir dir;
    const QString db = dir.file(QStringLiteral("Wage.VRD"));
    const QString workbook = dir.file(QStringLiteral("rows.xls"));
    {
        QProcess init;
        init.start(kCli, {QStringLiteral("init-db"), db, QStringLiteral("--demo")});
        ASSERT_TRUE(init.waitForFinished(30000));
        ASSERT_EQ(init.exitCode(), 0);
    }
    ASSERT_TRUE(makeWorkbook(QStringLiteral("rows"), workbook, {QString::number(kRows)}));

    OutsideLook look(db);
    look.scalar(QStringLiteral("PRAGMA journal_mode=%1").arg(QString::fromLatin1(GetParam())));
    ASSERT_EQ(look.scalar(QStringLiteral("PRAGMA journal_mode")).toString(), QString::fromLatin1(GetParam()));
    QProcess p;
    startCli(p, importArgs(workbook, db));
    // Kill it once some rows are stored: no chance to finish what it does.
    QElapsedTimer waited;
    waited.start();
    while (look.scalar(QStringLiteral("select count(*) from Hrp_workers")).toInt() < 300
           && p.state() == QProcess::Running && waited.elapsed() < 60000)
        QThread::msleep(10);
    ASSERT_EQ(p.state(), QProcess::Running) << "finished before it could be killed";
    p.kill(); // SIGKILL
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitStatus(), QProcess::CrashExit);

    EXPECT_EQ(look.scalar(QStringLiteral("PRAGMA integrity_check")).toString(), "ok");
    const int stored = look.scalar(QStringLiteral("select count(*) from Hrp_workers")).toInt();
    ASSERT_GE(stored, 300);
    ASSERT_LT(stored, kRows);
    // Rows are stored in workbook order, each with all its columns.
    EXPECT_EQ(look.scalar(QStringLiteral("select max(Workerid) from Hrp_workers")).toString(),
              QStringLiteral("R%1").arg(stored, 5, 10, QChar(u'0')));
    EXPECT_EQ(look.scalar(QStringLiteral("select count(*) from Hrp_workers where %1 and Sex='' and BaseWage=0"
                                         " and BIrThday is null and Remarks=''")
                              .arg(QString::fromUtf8(kWholeRowCondition)))
                  .toInt(),
              stored);
    EXPECT_EQ(look.scalar(QStringLiteral("select count(*) from Hrp_workers w join Sys_dept d"
                                         " on d.DeptNO=w.DeptNo and d.DeptName=w.DepName"))
                  .toInt(),
              stored);
    EXPECT_GT(look.scalar(QStringLiteral("select AValue from Sys_SerialNo where SerialName='WKID'")).toLongLong(),
              look.scalar(QStringLiteral("select max(Wkid) from Hrp_workers")).toLongLong());

    // Again: the stored rows are listed as duplicates, the others stored.
    QProcess again;
    startCli(again, importArgs(workbook, db));
    ASSERT_TRUE(again.waitForFinished(110000));
    const QString err = QString::fromUtf8(again.readAllStandardError());
    EXPECT_EQ(again.exitCode(), 3) << err.toStdString();
    const QStringList lines = QString::fromUtf8(again.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), stored);
    EXPECT_TRUE(lines.first().startsWith(QStringLiteral("R00001-"))) << lines.first().toStdString();
    for (const QString& line : lines)
        ASSERT_TRUE(line.contains(QStringLiteral("\t第 ")) && line.contains(QStringLiteral(" 行 工号已存在（A列「"))) << line.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("已导入 %1 人，未导入 %2 人").arg(kRows - stored).arg(stored)));
    EXPECT_EQ(look.scalar(QStringLiteral("select count(*) from Hrp_workers")).toInt(), kRows);
    EXPECT_EQ(look.scalar(QStringLiteral("select count(distinct Workerid) from Hrp_workers")).toInt(), kRows);
    EXPECT_EQ(look.scalar(QStringLiteral("PRAGMA integrity_check")).toString(), "ok");
}

namespace {
class LockedDatabaseTest : public ::testing::Test, protected ImportHarness {
protected:
    LockedDatabaseTest()
        : db(true)
    {
        view.mapAll();
        view.path = importFixture("people.xls");
    }
    qint64 workers() { return db.scalar(QStringLiteral("select count(*) from Hrp_workers")).toLongLong(); }

    TestDatabase db;
};
} // namespace

TEST_F(LockedDatabaseTest, ShortLockIsWaitedFor)
{
    QElapsedTimer timer;
    timer.start();
    LockHolder lock(db.path(), 2);
    EXPECT_EQ(run(), RunEnd::Succeeded);
    EXPECT_GE(timer.elapsed(), 1500);
    EXPECT_TRUE(view.list.isEmpty()) << view.reasons.join(u'|').toStdString();
    EXPECT_EQ(imported, 5);
    EXPECT_EQ(workers(), 5);
}

TEST_F(LockedDatabaseTest, LockPastTheTimeoutStopsTheRunAtOnceAndSaysWhatWasStored)
{
    scriptedDialogs().reset();
    QElapsedTimer timer;
    {
        LockHolder lock(db.path(), 7);
        timer.start();
        EXPECT_EQ(run(), RunEnd::WritePassFailed);
        // One wait of the busy timeout, not one per row.
        EXPECT_LT(timer.elapsed(), 9000);
    }
    EXPECT_TRUE(view.list.isEmpty()) << view.reasons.join(u'|').toStdString();
    ASSERT_EQ(scriptedDialogs().boxes.size(), 1);
    const RecordedBox& box = scriptedDialogs().boxes[0];
    EXPECT_EQ(box.caption, QStringLiteral("导入未完成"));
    EXPECT_TRUE(box.text.startsWith(QStringLiteral("数据库被其他程序锁定：已导入前 0 行，第 2 行起未导入。请稍后重新导入本文件。\n")))
        << box.text.toStdString();
    EXPECT_EQ(imported, 0);
    EXPECT_EQ(workers(), 0);
    EXPECT_EQ(view.finishedImported, 0);
    EXPECT_EQ(db.scalar(QStringLiteral("PRAGMA integrity_check")).toString(), "ok");

    // Once the lock is gone, the same file goes in whole.
    view.path = importFixture("people.xls");
    EXPECT_EQ(run(), RunEnd::Succeeded);
    EXPECT_EQ(workers(), 5);
}

namespace {
// The import command as a user who is not root (root writes anything), on
// files that user reaches.
QProcess* startAsClerk(QProcess& p, const QStringList& args, const QString& home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home);
    p.setProcessEnvironment(env);
    if (::getuid() == 0)
        p.start(QStringLiteral("/usr/bin/setpriv"),
                QStringList{QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                            QStringLiteral("--clear-groups"), kCli} + args);
    else
        p.start(kCli, args);
    p.write("demo\n");
    p.closeWriteChannel();
    return &p;
}

void chownTo(const QString& path, const char* user)
{
    if (::getuid() == 0)
        QProcess::execute(QStringLiteral("chown"), {QString::fromLatin1(user), path});
}
} // namespace

// A database that cannot be written stops the run at its first row, says
// which of the file and its folder is the cause, and exits 1; a full disk
// stops it with the counts of what is stored.
TEST(DatabaseFailures, ReadOnlyFileOrFolderAndFullDiskStopTheRunAndSayWhy)
{
    const struct {
        const char* name;
        bool fileWritable, folderWritable;
        const char* says;
    } cases[] = {
        {"read-only file", false, true, "只能读、不能写"},
        {"read-only folder", true, false, "不能写入（数据库要在其中建立临时文件）"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const QString folder = dir.file(QStringLiteral("data"));
        const QString db = folder + QStringLiteral("/Wage.VRD");
        ASSERT_TRUE(QDir().mkpath(folder));
        ASSERT_EQ(QProcess::execute(kCli, {QStringLiteral("init-db"), db, QStringLiteral("--demo")}), 0);
        QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7755));
        const QString workbook = dir.file(QStringLiteral("people.xls"));
        ASSERT_TRUE(QFile::copy(importFixture("people.xls"), workbook));
        QFile::setPermissions(workbook, QFileDevice::Permissions(0x6644));
        const QString home = dir.file(QStringLiteral("home"));
        ASSERT_TRUE(QDir().mkpath(home));
        chownTo(home, "nobody");
        // The clerk owns what is writable; root keeps the rest.
        if (c.fileWritable)
            chownTo(db, "nobody");
        else
            QFile::setPermissions(db, QFileDevice::Permissions(0x6644));
        if (c.folderWritable)
            chownTo(folder, "nobody");
        QFile::setPermissions(folder, QFileDevice::Permissions(0x7755));
        if (::getuid() != 0 && !c.fileWritable)
            QFile::setPermissions(db, QFileDevice::ReadOwner);

        QProcess p;
        QStringList args = importArgs(workbook, db);
        args[args.indexOf(kSmallMap)] = QStringLiteral("auto");
        startAsClerk(p, args, home);
        ASSERT_TRUE(p.waitForFinished(30000));
        const QString err = QString::fromUtf8(p.readAllStandardError());
        EXPECT_EQ(p.exitCode(), 1) << err.toStdString();
        EXPECT_TRUE(err.contains(QString::fromUtf8(c.says))) << err.toStdString();
        EXPECT_FALSE(err.contains(QStringLiteral("成功"))) << err.toStdString();
        EXPECT_FALSE(err.contains(QStringLiteral("不是数据库文件"))) << err.toStdString();
        EXPECT_TRUE(p.readAllStandardOutput().isEmpty());  // no row listed with it
        OutsideLook look(db);
        EXPECT_EQ(look.scalar(QStringLiteral("select count(*) from Hrp_workers")).toInt(), 0);
    }

    // A full disk: a small tmpfs, where the test may mount one.
    TempDir dir;
    const QString mount = dir.file(QStringLiteral("small"));
    ASSERT_TRUE(QDir().mkpath(mount));
    if (::getuid() != 0
        || QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                                       QStringLiteral("size=1m"), QStringLiteral("tmpfs"), mount})
               != 0)
        GTEST_SKIP() << "no tmpfs can be mounted here: the full disk is not tried";
    struct Unmount {
        QString path;
        ~Unmount() { QProcess::execute(QStringLiteral("umount"), {path}); }
    } unmount{mount};
    const QString db = mount + QStringLiteral("/Wage.VRD");
    const QString workbook = dir.file(QStringLiteral("rows.xls"));
    ASSERT_EQ(QProcess::execute(kCli, {QStringLiteral("init-db"), db, QStringLiteral("--demo")}), 0);
    ASSERT_TRUE(makeWorkbook(QStringLiteral("rows"), workbook, {QStringLiteral("20000")}));
    QProcess p;
    startCli(p, importArgs(workbook, db));
    ASSERT_TRUE(p.waitForFinished(60000));
    const QString err = QString::fromUtf8(p.readAllStandardError());
    EXPECT_EQ(p.exitCode(), 1) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("磁盘已满"))) << err.toStdString();
    EXPECT_FALSE(err.contains(QStringLiteral("请选择正确的文件"))) << err.toStdString();
    OutsideLook look(db);
    const int stored = look.scalar(QStringLiteral("select count(*) from Hrp_workers")).toInt();
    EXPECT_GT(stored, 0);
    EXPECT_LT(stored, 20000);
    // The counts are what the database holds.
    EXPECT_TRUE(err.contains(QStringLiteral("已导入 %1 人，未导入 %2 人").arg(stored).arg(20000 - stored))) << err.toStdString();
    EXPECT_EQ(look.scalar(QStringLiteral("PRAGMA integrity_check")).toString(), "ok");
}
