#include "import/ImportTestSupport.h"
#include "support/ReadXlsx.h"
#include "support/RunCli.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <gtest/gtest.h>

namespace {
using Result = CliResult;
const QString kFullMap = QStringLiteral("1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31");

Result cli(const QStringList& args, const QByteArray& input = QByteArray())
{
    return runCli(args, input);
}

class ImportCommandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        db = dir.file(QStringLiteral("Wage.VRD"));
        ASSERT_EQ(cli({QStringLiteral("init-db"), db, QStringLiteral("--demo")}).code, 0);
    }
    qint64 count(const QString& sql)
    {
        qint64 n = -1;
        {
            QSqlDatabase c = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("cli-check"));
            c.setDatabaseName(db);
            c.open();
            QSqlQuery q(c);
            if (q.exec(sql) && q.next())
                n = q.value(0).toLongLong();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("cli-check"));
        return n;
    }
    QStringList importArgs(const char* fixture, const QString& map = kFullMap)
    {
        return {QStringLiteral("import"), QStringLiteral("--workbook"), importFixture(fixture), QStringLiteral("--map"), map,
                QStringLiteral("--db"), db, QStringLiteral("--user"), QStringLiteral("0001"), QStringLiteral("--password-stdin")};
    }
    TempDir dir;
    QString db;
};
} // namespace

TEST_F(ImportCommandTest, ImportsThenListsDuplicatesWithReasons)
{
    Result r = cli(importArgs("people.xls"), "DEMO\n");
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.err, QStringLiteral("已导入 5 人，未导入 0 人\n"));
    EXPECT_EQ(count(QStringLiteral("select count(*) from Hrp_workers")), 5);

    r = cli(importArgs("people.xls") << QStringLiteral("--check"), "demo\n");
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.out.count(u'\n'), 5);
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("W0001-张三丰-人事部-440102198001010000\t第 2 行 工号已存在（A列「W0001」）\n")));

    r = cli(importArgs("people.xls"), "demo\n");
    EXPECT_EQ(r.code, 3);
    EXPECT_TRUE(r.err.endsWith(QStringLiteral("已导入 0 人，未导入 5 人\n"))) << r.err.toStdString();
    EXPECT_EQ(r.out.count(u'\n'), 5);
    EXPECT_EQ(count(QStringLiteral("select count(*) from Hrp_workers")), 5);
}

TEST_F(ImportCommandTest, CheckWritesNothing)
{
    Result r = cli(importArgs("people.xls") << QStringLiteral("--check"), "demo\n");
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_EQ(count(QStringLiteral("select count(*) from Hrp_workers")), 0);
    EXPECT_EQ(count(QStringLiteral("select count(*) from Sys_SerialNo")), 0);
}

TEST_F(ImportCommandTest, NamedMapAndRefusals)
{
    Result r = cli(importArgs("unknown-dept.xls", QStringLiteral("workerid=1,WNAME=2,Edt17=17")), "demo\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("提示: 工号为：W0002-的,部门信息未能与软件中的部门对应上!!!")));
    r = cli(importArgs("people.xls", QStringLiteral("Workerid=1,Wname=2,DepName=x1")), "demo\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("请正确导入的对应的序号或已输入的序号不正确!")));
    r = cli(importArgs("people.xls", QStringLiteral("Nonsense=1")), "demo\n");
    EXPECT_EQ(r.code, 2);
    r = cli(importArgs("people.xls", QStringLiteral("1,2,3")), "demo\n");
    EXPECT_EQ(r.code, 2);
    r = cli({QStringLiteral("import"), QStringLiteral("--bogus")});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("用法：")));
}

TEST_F(ImportCommandTest, LoginRefusalsEndTheCommand)
{
    Result r = cli(importArgs("people.xls"), "wrong\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("提示: 密码输入错误!!!")));
    QStringList args = importArgs("people.xls");
    args[args.indexOf(QStringLiteral("0001"))] = QStringLiteral("9999");
    r = cli(args, "demo\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("提示: 不存在该工号的用户!!!")));
    EXPECT_EQ(count(QStringLiteral("select count(*) from Hrp_workers")), 0);
}

TEST_F(ImportCommandTest, SettingsDirectoryIsRequiredToHoldTheSettings)
{
    Result r = cli({QStringLiteral("import"), QStringLiteral("--workbook"), importFixture("people.xls"), QStringLiteral("--map"), kFullMap,
                    QStringLiteral("--settings-dir"), dir.path()});
    EXPECT_EQ(r.code, 1);
    QFile ini(dir.file(QStringLiteral("MyConnect.ini")));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[LocalDB]\nDBnames=" + db.toUtf8() + "\n");
    ini.close();
    r = cli({QStringLiteral("import"), QStringLiteral("--workbook"), importFixture("people.xls"), QStringLiteral("--map"), kFullMap,
             QStringLiteral("--settings-dir"), dir.path(), QStringLiteral("--user"), QStringLiteral("0001"), QStringLiteral("--password-stdin")},
            "demo\n");
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(count(QStringLiteral("select count(*) from Hrp_workers where BIrThday like '19__-__-__'")), 4);
}

TEST_F(ImportCommandTest, WorkbookThatCannotBeOpenedGivesItsReason)
{
    Result r = cli(importArgs("does-not-exist.xls"), "demo\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_FALSE(r.err.contains(QStringLiteral("Excel")));
    EXPECT_TRUE(r.err.contains(QStringLiteral("无法打开文件「")));
    EXPECT_TRUE(r.err.contains(QStringLiteral("does-not-exist.xls")));
}

TEST_F(ImportCommandTest, MapFromTheHeaderUpdatesAndRowsNotImported)
{
    // --map auto: the columns the header names.
    Result r = cli(importArgs("shuffled-header.xls", QStringLiteral("auto")), "demo\n");
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(count(QStringLiteral("select count(*) from Hrp_workers where BankId like '6222%'")), 3);
    r = cli(importArgs("people.xls", QStringLiteral("auto")).replaceInStrings(QStringLiteral("people.xls"), QStringLiteral("../xls/basic.xls")),
            "demo\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("表头中没有找到「员工编号」「姓名」「部门名称」这一列。")));

    // --mode update: known numbers change, unknown ones are listed.
    r = cli(importArgs("people.xls") << QStringLiteral("--mode") << QStringLiteral("update"), "demo\n");
    EXPECT_EQ(r.code, 3) << r.err.toStdString();
    EXPECT_EQ(r.out.count(QStringLiteral(" 工号不存在（A列「")), 2);
    EXPECT_TRUE(r.err.endsWith(QStringLiteral("已更新 3 人，未导入 2 人\n"))) << r.err.toStdString();
    EXPECT_EQ(count(QStringLiteral("select count(*) from Hrp_workers")), 3);
    EXPECT_EQ(count(QStringLiteral("select count(*) from Hrp_workers where JobTitle='职员'")), 3);
    EXPECT_EQ(cli(importArgs("people.xls") << QStringLiteral("--mode") << QStringLiteral("merge")).code, 2);

    // --rejects: the rows not imported, with their reasons, for another program.
    const QString rejects = dir.file(QStringLiteral("未导入.xlsx"));
    r = cli(importArgs("bad-values.xls") << QStringLiteral("--rejects") << rejects, "demo\n");
    EXPECT_EQ(r.code, 3) << r.err.toStdString();
    const XlsxContent x = readXlsx(rejects);
    ASSERT_EQ(x.rows.size(), 4); // W0001 exists by now, W0002 and W0003 bad
    EXPECT_EQ(x.rows[1].mid(0, 1) + x.rows[1].mid(31, 1), (QStringList{QStringLiteral("W0001"), QStringLiteral("第 2 行 工号已存在（A列「W0001」）")}));
}

TEST(MapAndTemplateCommands, PrintTheMapAndWriteTheTemplate)
{
    CliResult r = runCli({QStringLiteral("map"), QStringLiteral("--workbook"), importFixture("shuffled-header.xls")});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    const QStringList lines = r.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 9);
    EXPECT_EQ(lines[0], "Edt1\tWorkerid\tC\t工号");
    EXPECT_EQ(lines[1], "Edt2\tWname\tB\t姓名 *");
    r = runCli({QStringLiteral("map"), QStringLiteral("--workbook"), QStringLiteral(OSTREL_TEST_FIXTURES "/xls/basic.xls")});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(r.err.contains(QStringLiteral("「员工编号」「姓名」「部门名称」")));

    TempDir dir;
    const QString file = dir.file(QStringLiteral("t.xlsx"));
    EXPECT_EQ(runCli({QStringLiteral("template"), file}).code, 0);
    EXPECT_EQ(readXlsx(file).rows.value(0).value(1), "姓名*");
    r = runCli({QStringLiteral("template"), dir.file(QStringLiteral("no/such/folder/t.xlsx"))});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("无法保存文件"))) << r.err.toStdString();
}

// The clerk's own files are never written over: the database (and its
// journal), the workbook being imported, a link, an existing file without
// --force; nothing of them changes and nothing is imported.
TEST_F(ImportCommandTest, RejectsAndTemplateNeverOverwriteTheClerksFiles)
{
    const QString workbook = dir.file(QStringLiteral("people.xls"));
    ASSERT_TRUE(QFile::copy(importFixture("people.xls"), workbook));
    const QString existing = dir.file(QStringLiteral("old.xlsx"));
    const QString precious = dir.file(QStringLiteral("precious.txt"));
    const QString link = dir.file(QStringLiteral("link.xlsx"));
    for (const QString& f : {existing, precious}) {
        QFile file(f);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("keep");
    }
    ASSERT_TRUE(QFile::link(precious, link));
    const auto bytes = [](const QString& f) {
        QFile file(f);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray dbBefore = bytes(db), workbookBefore = bytes(workbook);
    const struct {
        const char* name;
        QString target;
        const char* says;
    } refused[] = {
        {"database", db, "数据库文件"},
        {"database through another path", dir.path() + QStringLiteral("/./Wage.VRD"), "数据库文件"},
        {"its journal", db + QStringLiteral("-wal"), "数据库文件"},
        {"the workbook", workbook, "正在导入的表格文件"},
        {"a link", link, "链接"},
        {"an existing file", existing, "--force"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.name);
        QStringList args = importArgs("people.xls") << QStringLiteral("--rejects") << c.target;
        args[2] = workbook;
        const Result r = cli(args, "demo\n");
        EXPECT_EQ(r.code, 1);
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.says))) << r.err.toStdString();
        EXPECT_EQ(count(QStringLiteral("select count(*) from Hrp_workers")), 0);
        const Result t = cli({QStringLiteral("template"), c.target});
        EXPECT_EQ(t.code, 1) << t.err.toStdString();
    }
    EXPECT_EQ(bytes(db), dbBefore);
    EXPECT_EQ(bytes(workbook), workbookBefore);
    EXPECT_EQ(bytes(existing), "keep");
    EXPECT_EQ(bytes(precious), "keep");

    // --force replaces a plain file, through a temporary one beside it.
    EXPECT_EQ(cli({QStringLiteral("template"), existing, QStringLiteral("--force")}).code, 0);
    EXPECT_EQ(readXlsx(existing).rows.value(0).value(1), "姓名*");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).filter(QStringLiteral(".old.xlsx.")), QStringList());
}

TEST_F(ImportCommandTest, IdentityFlagsAndTheReportOfACheck)
{
    // Numbers whose check character is computed here from the standard's weights.
    const auto id = [](const QString& first17) {
        static const int weights[17] = {7, 9, 10, 5, 8, 4, 2, 1, 6, 3, 7, 9, 10, 5, 8, 4, 2};
        int sum = 0;
        for (int i = 0; i < 17; ++i)
            sum += first17[i].digitValue() * weights[i];
        return first17 + QChar::fromLatin1("10X98765432"[sum % 11]);
    };
    QString withX;
    for (int d = 0; d < 10 && !withX.endsWith(u'X'); ++d)
        withX = id(QStringLiteral("1101051990051210%1").arg(d));
    ASSERT_TRUE(withX.endsWith(u'X'));
    const QString woman = id(QStringLiteral("11010519850303002"));
    const QString badCheck = woman.left(17) + (woman[17] == u'5' ? u'6' : u'5');
    const QString book = dir.file(QStringLiteral("ids.xlsx"));
    editXlsx(QStringLiteral("-"), book,
             {QStringLiteral("A1=工号"), QStringLiteral("B1=姓名"), QStringLiteral("C1=性别"), QStringLiteral("D1=出生日期"),
              QStringLiteral("E1=身份证号码"), QStringLiteral("F1=部门名称"),
              QStringLiteral("A2=C1"), QStringLiteral("B2=张三"), QStringLiteral("E2=") + withX.left(17) + u'x',
              QStringLiteral("F2=人事部"),
              QStringLiteral("A3=C2"), QStringLiteral("B3=李四"), QStringLiteral("C3=女"), QStringLiteral("D3=1985-03-03"),
              QStringLiteral("E3=") + badCheck, QStringLiteral("F3=人事部"),
              QStringLiteral("A4=C1"), QStringLiteral("B4=王五"), QStringLiteral("F4=人事部")});
    QStringList args = importArgs("people.xls", QStringLiteral("Workerid=1,Wname=2,Sex=3,BIrThday=4,IdNumber=5,DepName=6"));
    args.replaceInStrings(importFixture("people.xls"), book);

    // The check's report: every row as read, problem cells filled, 问题 last.
    const QString report = dir.file(QStringLiteral("report.xlsx"));
    Result r = cli(QStringList(args) << QStringLiteral("--check") << QStringLiteral("--report") << report, "demo\n");
    EXPECT_EQ(r.code, 3) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("C1-王五-人事部-\t第 4 行 工号与第 2 行重复（A列「C1」）\n"));
    const XlsxContent x = readXlsx(report);
    ASSERT_EQ(x.rows.size(), 4);
    EXPECT_EQ(x.rows[0].value(6), QStringLiteral("问题"));
    EXPECT_EQ(x.rows[2].value(4), badCheck);
    EXPECT_EQ(x.rows[2].value(6), QStringLiteral("身份证号码校验位应为 %2，表中为 %3（E列「%1」）")
                                      .arg(badCheck, woman.right(1), badCheck.right(1)));
    EXPECT_EQ(x.fills.toVariantMap(), (QVariantMap{{QStringLiteral("E3"), QStringLiteral("FFEB9C")},
                                                   {QStringLiteral("A4"), QStringLiteral("FFC7CE")}}));

    // --strict-id refuses the wrong number; --fill-from-id fills the blanks
    // and stores the number's X in capitals.
    r = cli(QStringList(args) << QStringLiteral("--strict-id") << QStringLiteral("--fill-from-id"), "demo\n");
    EXPECT_EQ(r.code, 3) << r.err.toStdString();
    EXPECT_EQ(r.out.count(u'\n'), 2);
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("C2-李四-人事部-%1\t第 3 行 身份证号码校验位应为").arg(badCheck))) << r.out.toStdString();
    const QString sex = withX[16].digitValue() % 2 == 1 ? QStringLiteral("男") : QStringLiteral("女");
    EXPECT_EQ(count(QStringLiteral("select count(*) from Hrp_workers where Workerid='C1' and Sex='%1' "
                                   "and BIrThday like '1990-05-12%' and IdNumber='%2'").arg(sex, withX)), 1);
}
