#include "support/RunCli.h"
#include "support/TempDir.h"

#include <QFile>

#include <gtest/gtest.h>

// How the tool reads a command line, whatever the command.
TEST(CommandTest, CommandLinesAnsweredAsOnLinux)
{
    TempDir tmp;
    const QString db = tmp.file(QStringLiteral("Wage.VRD"));
    const QString csv = tmp.file(QStringLiteral("a.csv"));
    {
        QFile f(csv);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("工号,姓名\nW1,张三\n");
    }
    struct Case {
        QStringList args;
        int code;
        const char* out; // in standard output
        const char* err; // in standard error
    };
    const Case cases[] = {
        {{QStringLiteral("--help")}, 0, "  template  Writes an empty workbook", ""},
        {{QStringLiteral("--version")}, 0, "ostrel-import-cli 0.1", ""},
        {{}, 2, "", "Run 'ostrel-import-cli COMMAND --help'"},
        {{QStringLiteral("frob")}, 2, "", "没有「frob」这个命令。"},
        {{QStringLiteral("--frob")}, 2, "", "没有「--frob」这个选项。"},
        {{QStringLiteral("import"), QStringLiteral("--help")}, 0, "--rejects <FILE.xlsx>", ""},
        {{QStringLiteral("import"), QStringLiteral("-h")}, 0, "Usage: ostrel-import-cli import --workbook FILE", ""},
        {{QStringLiteral("import"), QStringLiteral("--bogus"), QStringLiteral("--help")}, 0, "--password-stdin", ""},
        {{QStringLiteral("init-db"), QStringLiteral("--help")}, 0, "--demo", ""},
        {{QStringLiteral("import"), QStringLiteral("--bogus")}, 2, "", "未知选项“bogus”。\n用法：ostrel-import-cli import --workbook"},
        {{QStringLiteral("import"), QStringLiteral("--workbook")}, 2, "", "“--workbook”之后缺少值。"},
        {{QStringLiteral("init-db"), db, QStringLiteral("--demo=yes")}, 2, "", "“--demo”之后的异常值。"},
        {{QStringLiteral("cells"), QStringLiteral("--workbook=") + csv, QStringLiteral("--rows=1")}, 0, "工号\t姓名\n", ""},
        {{QStringLiteral("cells"), QStringLiteral("--workbook"), csv, QStringLiteral("--rows"), QStringLiteral("-1")}, 2, "",
         "--rows needs a whole number"},
    };
    for (const Case& c : cases) {
        const CliResult r = runCli(c.args);
        const std::string what = c.args.join(u' ').toStdString() + "\nout: " + r.out.toStdString() + "\nerr: " + r.err.toStdString();
        EXPECT_EQ(r.code, c.code) << what;
        EXPECT_TRUE(r.out.contains(QString::fromUtf8(c.out))) << what;
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.err))) << what;
    }
    EXPECT_FALSE(QFile::exists(db));
}
