#include "platform/DateFormats.h"
#include "platform/workbook/XlsTestFiles.h"
#include "support/RunCli.h"

#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// Runs the tool with its own configuration folder holding `dateFormat`.
CliResult runCells(const QStringList& args, const QString& dateFormat = QStringLiteral("yyyy-MM-dd"))
{
    QTemporaryDir config;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    // The tool finds the same settings file as the program under this home.
    const QString ini = config.path() + QStringLiteral("/Ostrel/ostrel-import/date-formats.ini");
    QDir().mkpath(QFileInfo(ini).absolutePath());
    QFile f(ini);
    if (f.open(QIODevice::WriteOnly))
        f.write("[International]\nsShortDate=" + dateFormat.toUtf8() + "\n");
    f.close();
    return runCli(QStringList{QStringLiteral("cells")} + args, QByteArray(), env, 30000);
}

} // namespace

TEST(CellsCommand, PrintsTheActiveSheetTabSeparated)
{
    const CliResult run = runCells({QStringLiteral("--workbook"), xlsFixture("crafted8.xls"), QStringLiteral("--rows"),
                              QStringLiteral("3"), QStringLiteral("--cols"), QStringLiteral("6")});
    EXPECT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QStringLiteral("#ERROR\tTrue\t42\t公式text\tFalse\t#ERROR\n"
                                      "100\t1.5\t0.5\t-7\tlabel\tABCDEF中文字\n"
                                      "\t\t\t\t2020-01-05\t2020-01-05 12:00:00\n"));
}

TEST(CellsCommand, DefaultsToTheUsedRangeAndPrintsDatesAsTheImportReadsThem)
{
    // Whatever the user's own format: the login sets yyyy-MM-dd for the import.
    const CliResult run = runCells({QStringLiteral("--workbook"), xlsFixture("biff5-gbk.xls")}, QStringLiteral("d/M/yyyy"));
    EXPECT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QStringLiteral("张三\t2020-01-05\t7\t部门\n研发部\t2000-01-01\t\t\n"));
}

TEST(CellsCommand, ExitCodesForUnopenableFilesAndUsageErrors)
{
    const CliResult missing = runCells({QStringLiteral("--workbook"), xlsFixture("missing.xls")});
    EXPECT_EQ(missing.code, 1);
    EXPECT_EQ(missing.out, QString());
    EXPECT_TRUE(missing.err.startsWith(QStringLiteral("文件不存在: "))) << missing.err.toStdString();

    EXPECT_EQ(runCells({QStringLiteral("--workbook"), xlsFixture("zip.xls")}).code, 1);
    EXPECT_EQ(runCells({}).code, 2);
    EXPECT_EQ(runCells({QStringLiteral("--workbook"), xlsFixture("basic.xls"), QStringLiteral("--rows"),
                        QStringLiteral("x")}).code, 2);
    EXPECT_EQ(runCells({QStringLiteral("--workbook"), xlsFixture("basic.xls"), QStringLiteral("--bogus")}).code, 2);
}

TEST(CellsCommand, EveryFormatAndItsFailures)
{
    // The sheet read is named on standard error: the active one, or the
    // first worksheet where the active tab is a chart.
    const struct {
        const char* name;
        const char* sheet;
    } files[] = {{"basic.xlsx", "人员"}, {"basic.ods", "人员"}, {"gbk.csv", "gbk"}, {"crafted.xlsx", "数据"}};
    for (const auto& f : files) {
        const QString path = workbookFixture(QString::fromLatin1(f.name));
        const CliResult run = runCells({QStringLiteral("--workbook"), path});
        EXPECT_EQ(run.code, 0) << f.name << run.err.toStdString();
        EXPECT_EQ(run.out, fixtureText(path + QStringLiteral(".cells"))) << f.name;
        EXPECT_EQ(run.err, QStringLiteral("读取工作表「%1」\n").arg(QString::fromUtf8(f.sheet))) << f.name;
    }
    const QString bad = workbookFixture(QStringLiteral("html.xls"));
    const CliResult refused = runCells({QStringLiteral("--workbook"), bad});
    EXPECT_EQ(refused.code, 1);
    EXPECT_EQ(refused.out, QString());
    EXPECT_TRUE(refused.err.startsWith(fixtureText(bad + QStringLiteral(".bad")))) << refused.err.toStdString();
}
