#include "data/UserDMUnit.h"
#include "import/FieldValues.h"
#include "import/ImportTestSupport.h"
#include "support/ScriptedDialogs.h"
#include "support/TestDatabase.h"

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
    for (const char* kept : {"440102199005120011", "2E10", "W1E+17", "1.5e+17", "12E+17", ""})
        EXPECT_FALSE(FieldValues::lostDigits(QString::fromLatin1(kept))) << kept;
}

namespace {
const QString kSerial = QStringLiteral("select AValue from Sys_SerialNo where SerialName='WKID'");
}

// Each value through the real writer into a file made by init-db: stored as
// the server would store it, or refused with a reason naming field and value.
TEST(FieldValues, TheWriterStoresOrSaysWhy)
{
    TestDatabase db;
    WorkerWriter writer;
    const struct {
        const char* column;
        const char* value;
        const char* stored;  // null: refused with this reason
        const char* reason;
    } cases[] = {
        {"BIrThday", "1990/5/12", "1990-05-12", nullptr},
        {"BeginDate", "2010年3月1日 8:30", "2010-03-01 08:30:00", nullptr},
        {"NorMalDate", "20100601", "2010-06-01", nullptr},
        {"BIrThday", "1990-13-45", nullptr, "出生日期「1990-13-45」不是有效日期"},
        {"GraduateDate", "12/05/2012", nullptr, "毕业日期「12/05/2012」不是有效日期"},
        {"BaseWage", "abc", nullptr, "基本工资「abc」不是数字"},
        {"IdNumber", "4.40102198001015E+17", nullptr, "「身份证号码」以数字格式保存，已丢失位数，请将该列设为文本后重新录入"},
        {"Worktel2", "1.38000000001E+16", nullptr, "「联系电话」以数字格式保存，已丢失位数，请将该列设为文本后重新录入"},
    };
    int n = 0;
    for (const auto& c : cases) {
        ImportRow row;
        row.Workerid = QStringLiteral("V%1").arg(++n);
        row.Wname = QStringLiteral("王鑫");
        row.DepName = QStringLiteral("技术部");
        for (const ImportSlot& s : importSlots())
            if (qstrcmp(s.column, c.column) == 0)
                row.field(s.slot) = QString::fromUtf8(c.value);
        const qint64 counter = db.scalar(kSerial).toLongLong();
        writer.SaveWorkerRow(row, 0);
        EXPECT_EQ(row.RowWritten, c.stored != nullptr) << c.value;
        if (c.stored) {
            EXPECT_EQ(db.scalar(QStringLiteral("select %1 || '|' || NamePy from Hrp_workers where Workerid='%2'")
                                    .arg(QLatin1String(c.column), row.Workerid)).toString(),
                      QString::fromUtf8(c.stored) + QStringLiteral("|WX"));
            continue;
        }
        const QStringList lines = writer.lastReason().split(u'\n');
        EXPECT_EQ(lines[0], QString::fromUtf8(c.reason)) << c.value;
        // A refusal of the database also gives its own text; one of ours
        // draws no key.
        const bool ours = QByteArray(c.reason).contains("丢失位数");
        EXPECT_EQ(lines.size(), ours ? 1 : 2) << writer.lastReason().toStdString();
        EXPECT_EQ(db.scalar(kSerial).toLongLong() - counter, ours ? 0 : 1) << c.value;
    }
    EXPECT_TRUE(scriptedDialogs().boxes.isEmpty());

    db.exec(QStringLiteral("drop table Sys_dept"));
    ImportRow row;
    row.Workerid = QStringLiteral("V99");
    writer.SaveWorkerRow(row, 0);
    EXPECT_EQ(writer.lastReason(), QStringLiteral("数据库缺少表 Sys_dept\nno such table: Sys_dept"));
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
    QStringList firstLines;
    for (const QString& r : h.view.reasons)
        firstLines << r.section(u'\n', 0, 0);
    EXPECT_EQ(firstLines, (QStringList{QStringLiteral("工号为：w0001-的已存在，不能导入！"),
                                       QStringLiteral("出生日期「1990-13-45」不是有效日期"),
                                       QStringLiteral("「身份证号码」「银行帐号」以数字格式保存，已丢失位数，请将该列设为文本后重新录入"),
                                       QStringLiteral("基本工资「abc」不是数字")}));
    // The duplicate box for w0001 only; the refused rows show none.
    EXPECT_EQ(scriptedDialogs().boxes.size(), 2);
}
