#include "platform/DateFormats.h"
#include "platform/workbook/XlsTestFiles.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct CliRun {
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs the tool with its own configuration folder holding `dateFormat`.
CliRun runCells(const QStringList& args, const QString& dateFormat = QStringLiteral("yyyy-MM-dd"))
{
    QTemporaryDir config;
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    p.setProcessEnvironment(env);
    // The tool finds the same settings file as the program under this home.
    const QString ini = config.path() + QStringLiteral("/Ostrel/ostrel-import/date-formats.ini");
    QDir().mkpath(QFileInfo(ini).absolutePath());
    QFile f(ini);
    if (f.open(QIODevice::WriteOnly))
        f.write("[International]\nsShortDate=" + dateFormat.toUtf8() + "\n");
    f.close();
    p.start(QStringLiteral(OSTREL_BIN_DIR "/ostrel-import-cli"), QStringList{QStringLiteral("cells")} + args);
    p.waitForFinished(30000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

} // namespace

TEST(CellsCommand, PrintsTheActiveSheetTabSeparated)
{
    const CliRun run = runCells({QStringLiteral("--workbook"), xlsFixture("crafted8.xls"), QStringLiteral("--rows"),
                              QStringLiteral("3"), QStringLiteral("--cols"), QStringLiteral("6")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QStringLiteral("#ERROR\tTrue\t42\t公式text\tFalse\t#ERROR\n"
                                      "100\t1.5\t0.5\t-7\tlabel\tABCDEF中文字\n"
                                      "\t\t\t\t2020-01-05\t2020-01-05 12:00:00\n"));
}

TEST(CellsCommand, DefaultsToTheUsedRangeAndKeepsTheUsersDateFormat)
{
    const CliRun run = runCells({QStringLiteral("--workbook"), xlsFixture("biff5-gbk.xls")}, QStringLiteral("d/M/yyyy"));
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QStringLiteral("张三\t5/1/2020\t7\t部门\n研发部\t1/1/2000\t\t\n"));
}

TEST(CellsCommand, ExitCodesForUnopenableFilesAndUsageErrors)
{
    const CliRun missing = runCells({QStringLiteral("--workbook"), xlsFixture("missing.xls")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.out, QString());
    EXPECT_TRUE(missing.err.startsWith(QStringLiteral("文件不存在: "))) << missing.err.toStdString();

    EXPECT_EQ(runCells({QStringLiteral("--workbook"), xlsFixture("zip.xls")}).exitCode, 1);
    EXPECT_EQ(runCells({}).exitCode, 2);
    EXPECT_EQ(runCells({QStringLiteral("--workbook"), xlsFixture("basic.xls"), QStringLiteral("--rows"),
                        QStringLiteral("x")}).exitCode, 2);
    EXPECT_EQ(runCells({QStringLiteral("--workbook"), xlsFixture("basic.xls"), QStringLiteral("--bogus")}).exitCode, 2);
}

TEST(CellsCommand, EveryFormatAndItsFailures)
{
    for (const char* name : {"basic.xlsx", "basic.ods", "gbk.csv"}) {
        const QString path = workbookFixture(QString::fromLatin1(name));
        const CliRun run = runCells({QStringLiteral("--workbook"), path});
        EXPECT_EQ(run.exitCode, 0) << name << run.err.toStdString();
        EXPECT_EQ(run.out, fixtureText(path + QStringLiteral(".cells"))) << name;
    }
    const QString bad = workbookFixture(QStringLiteral("html.xls"));
    const CliRun refused = runCells({QStringLiteral("--workbook"), bad});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.out, QString());
    EXPECT_TRUE(refused.err.startsWith(fixtureText(bad + QStringLiteral(".bad")))) << refused.err.toStdString();
}
