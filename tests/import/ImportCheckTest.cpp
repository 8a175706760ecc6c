#include "import/ImportCheck.h"
#include "import/ImportTestSupport.h"
#include "support/ScriptedDialogs.h"
#include "support/TestDatabase.h"

#include <gtest/gtest.h>

namespace {
// Everything a run could change, as text.
QString dump(TestDatabase& db)
{
    return db.scalar(QStringLiteral("select group_concat(Wkid || '|' || Workerid || '|' || Wname || '|' || ifnull(BIrThday, '') "
                                    "|| '|' || ifnull(BaseWage, ''), ';') from (select * from Hrp_workers order by Wkid)"))
               .toString()
        + u'#'
        + db.scalar(QStringLiteral("select group_concat(SerialName || '=' || AValue) from Sys_SerialNo")).toString();
}
} // namespace

// The check finds what the import then does, row for row and reason for
// reason, and leaves the database as it was, its counter included.
TEST(ImportCheck, RefusesExactlyWhatTheImportRefusesAndChangesNothing)
{
    TestDatabase db(false);
    for (const char* d : {"人事部", "财务部", "技术部", "销售部", "生产部", "行政部", "IT部"})
        db.addDepartment(QString::fromUtf8(d), QString::fromUtf8(d));
    db.exec(QStringLiteral("insert into Hrp_workers(Wkid, Workerid, Wname) values (100, 'W0003', '先到')"));
    db.exec(QStringLiteral("insert into Sys_SerialNo(SerialName, AValue) values ('WKID', 101)"));

    // A number twice in the workbook and a date no database takes; every
    // refusal of values; a number already stored.
    for (const char* workbook : {"repeat-inside.xls", "values.xls", "people.xls"}) {
        SCOPED_TRACE(workbook);
        scriptedDialogs().reset();
        const QString before = dump(db);
        ImportHarness h;
        h.view.mapAll();
        h.view.path = importFixture(workbook);
        ImportCheck check(h.view, h.row);
        ASSERT_EQ(check.run(), RunEnd::Succeeded);
        EXPECT_EQ(dump(db), before);
        EXPECT_EQ(h.view.path, importFixture(workbook));
        const QStringList lines = h.view.list, reasons = h.view.reasons;
        ASSERT_FALSE(lines.isEmpty());
        const int canImport = check.lastRun().imported();
        EXPECT_EQ(scriptedDialogs().boxes,
                  QList<RecordedBox>{(RecordedBox{QStringLiteral("检查完成：可导入 %1 人，不能导入 %2 人").arg(canImport).arg(lines.size()),
                                                  QStringLiteral("提示"), MsgIcon::Information})});

        EXPECT_EQ(h.run(), RunEnd::Succeeded);
        EXPECT_EQ(h.view.list, lines);
        EXPECT_EQ(h.view.reasons, reasons);
        EXPECT_EQ(h.imported, canImport);
    }
    EXPECT_TRUE(dump(db).contains(QStringLiteral("W0001|张三丰")));
}
