#include "import/FieldValues.h"
#include "import/ImportTestSupport.h"
#include "support/ScriptedDialogs.h"
#include "support/TestDatabase.h"

#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

TEST(FieldValues, DatesInTheFormsTheServersReadAndNothingElse)
{
    const struct { const char* in; const char* out; } cases[] = {
        {"1990-5-12", "1990-05-12"}, {"1990/05/12", "1990-05-12"}, {"1990.5.2", "1990-05-02"},
        {"19900512", "1990-05-12"}, {"1990年5月12日", "1990-05-12"}, {"2000-2-29", "2000-02-29"},
        {"1990-05-12 8:30", "1990-05-12 08:30:00"}, {"1990/5/12  08:30:15", "1990-05-12 08:30:15"},
        {"1990年5月12日 23:59:59", "1990-05-12 23:59:59"},
        // Unchanged: no real date, a mixed or day-first form, a bad time.
        {"1990-13-45", "1990-13-45"}, {"1900-2-29", "1900-2-29"}, {"12/05/1990", "12/05/1990"},
        {"1990-5/12", "1990-5/12"}, {"1990-05-12 24:00", "1990-05-12 24:00"}, {"199005", "199005"},
        {"0000-01-01", "0000-01-01"}, {"不是日期", "不是日期"}, {" 1990-5-12", " 1990-5-12"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FieldValues::normalisedDate(QString::fromUtf8(c.in)), QString::fromUtf8(c.out)) << c.in;

    for (const char* lost : {"4.40102198001015E+17", "6.22202123456789E+15", "-1E+16", "1.5E-07"})
        EXPECT_TRUE(FieldValues::lostDigits(QString::fromLatin1(lost))) << lost;
    for (const char* kept : {"440102199005120011", "2E10", "W1E+17", "1.5e+17", "12E+17", "", "1.E+17", "1E+1234",
                             "1E+5", "--1E+17", "1.5E+17 "})
        EXPECT_FALSE(FieldValues::lostDigits(QString::fromLatin1(kept))) << kept;
}

// A workbook as a clerk has it, through the whole run: date forms as text
// and as date cells, digits lost to the number format, a worker number and
// departments in another case, names with rare characters.
TEST(FieldValues, WorkbookOfClerksValues)
{
    TestDatabase db;
    db.addDepartment(QStringLiteral("07"), QStringLiteral("IT部"));
    ImportHarness h;
    h.view.mapAll();
    h.view.path = importFixture("values.xls");
    EXPECT_EQ(h.run(), RunEnd::Succeeded);
    EXPECT_EQ(h.imported, 3);
    EXPECT_EQ(db.scalar(QStringLiteral("select group_concat(Workerid || ',' || NamePy || ',' || DeptNo || ',' "
                                       "|| ifnull(BIrThday,'') || ',' || ifnull(GraduateDate,'') || ',' "
                                       "|| ifnull(BeginDate,'') || ',' || ifnull(NorMalDate,''), ';') "
                                       "from (select * from Hrp_workers order by Wkid)")).toString(),
              QStringLiteral("W0001,WX,07,1990-05-12,2012-07-01,2010-03-01,2010-06-01;"
                             "W0003,ZY,07,1990-05-12 08:30:00,,2010-03-01 08:30:00,2010-06-01;"
                             "W0007,ZH,03,,2012-07-01 00:00:00,,"));
    // The database's refusals carry its text on a second line; the rows
    // refused for lost digits, and the date that is no date, drew no key
    // and asked nothing of it. A number an earlier row holds says which.
    EXPECT_EQ(h.view.reasons,
              (QStringList{QStringLiteral("第 3 行 工号与第 2 行重复（A列「w0001」）"),
                           QStringLiteral("第 5 行 出生日期(F列)「1990-13-45」不是有效日期"),
                           QStringLiteral("第 6 行 「身份证号码」「银行帐号」以数字格式保存，已丢失位数，请将该列设为文本后重新录入（I列「4.4010219900512E+17」）"),
                           QStringLiteral("第 7 行 基本工资「abc」不是数字（V列「abc」）\nCHECK constraint failed: BaseWage IS NULL OR typeof(BaseWage) "
                                          "IN ('integer', 'real')")}));
    EXPECT_EQ(db.scalar(QStringLiteral("select AValue from Sys_SerialNo")).toLongLong(), 5);
    ASSERT_EQ(scriptedDialogs().boxes.size(), 2);  // the duplicate's, then success
    EXPECT_EQ(scriptedDialogs().boxes[0].text, QStringLiteral("工号「w0001」与第 2 行重复，不能导入。\n第 3 行"));
}

// One table of widths, as every schema script declares them, and a value
// one past its width refused on a local file as a server would refuse it.
TEST(FieldValues, WidthsOfTheSchemaScriptsRefuseTooLongValuesEverywhere)
{
    for (const char* script : {"sqlserver.sql", "postgresql.sql"}) {
        QFile f(QStringLiteral(OSTREL_TEST_SOURCE_DIR "/../sql/") + QLatin1String(script));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << script;
        QString text = QString::fromUtf8(f.readAll());
        text = text.mid(text.indexOf(QStringLiteral("CREATE TABLE Hrp_workers")));
        text = text.left(text.indexOf(QStringLiteral(");")));
        const QRegularExpression column(QStringLiteral("^\\s*(\\w+)\\s+n?varchar\\((\\d+)\\)"),
                                        QRegularExpression::MultilineOption);
        int n = 0;
        for (auto m = column.globalMatch(text); m.hasNext(); ++n) {
            const auto c = m.next();
            EXPECT_EQ(FieldValues::columnWidth(c.captured(1)), c.captured(2).toInt()) << script << " " << c.captured(1).toStdString();
        }
        EXPECT_GT(n, 30) << script;
    }
    EXPECT_EQ(FieldValues::columnWidth(QStringLiteral("BIrThday")), 0);
    EXPECT_EQ(FieldValues::columnWidth(QStringLiteral("wname")), 50);

    TestDatabase db;
    ImportRow row;
    row.Workerid = QStringLiteral("W0001");
    row.DepName = QStringLiteral("人事部");
    row.Wname = QString(50, QChar(u'张'));
    EXPECT_EQ(FieldValues::tooLongReason(row, 0), QString());
    row.Wname += u'张';
    EXPECT_EQ(FieldValues::tooLongReason(row, 0), QStringLiteral("「姓名」过长（最多 50 个字符）"));
    EXPECT_EQ(FieldValues::tooLongReason(row, 1), QString());  // an update leaves the name
    row.Wname = QStringLiteral("张三");
    row.Remarks = QString(500, u'x') + QString::fromUtf8("😀");  // two code units, as nvarchar counts
    EXPECT_EQ(FieldValues::tooLongReason(row, 0), QStringLiteral("「备注」过长（最多 500 个字符）"));

    WorkerWriter writer;
    writer.SaveWorkerRow(row, 0);
    EXPECT_FALSE(row.RowWritten);
    EXPECT_EQ(writer.lastReason(), QStringLiteral("「备注」过长（最多 500 个字符）"));
    EXPECT_EQ(db.scalar(QStringLiteral("select count(*) from Hrp_workers")).toInt(), 0);
}
