#include "data/UserDMUnit.h"
#include "import/WorkerWriter.h"
#include "support/ScriptedDialogs.h"
#include "support/TestDatabase.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>

#include <gtest/gtest.h>

namespace {
class WorkerWriterTest : public ::testing::Test {
protected:
    WorkerWriterTest()
        : db(false)
    {
        db.addDepartment(QStringLiteral("03"), QStringLiteral("技术部"));
        row.Workerid = QStringLiteral("W1");
        row.Wname = QStringLiteral("张三丰");
        row.DepName = QStringLiteral("技术部");
    }

    QVariant value(const QString& column, const QString& workerid = QStringLiteral("W1"))
    {
        return db.scalar(QStringLiteral("select %1 from Hrp_workers where Workerid='%2'").arg(column, workerid));
    }
    QString type(const QString& column) { return db.scalar(QStringLiteral("select typeof(%1) from Hrp_workers").arg(column)).toString(); }

    TestDatabase db;
    ImportRow row;
    WorkerWriter writer;
};
} // namespace

TEST_F(WorkerWriterTest, InsertBindsEveryColumnAsTheTableSays)
{
    row.Sex = QStringLiteral("男");
    row.BIrThday = QStringLiteral("1980-01-05");
    row.IdNumber = QStringLiteral("440102198001050011");
    row.BaseWage = QStringLiteral("3500.5");
    row.JobAsses = QStringLiteral("工程师");
    writer.SaveWorkerRow(row, 0);
    ASSERT_TRUE(row.RowWritten) << writer.lastReason().toStdString();
    EXPECT_EQ(row.DeptNo, "03");
    EXPECT_EQ(value("Wkid").toLongLong(), 1);
    EXPECT_EQ(value("NamePy").toString(), "ZSF");
    EXPECT_EQ(value("DeptNo").toString(), "03");
    EXPECT_EQ(value("BIrThday").toString(), "1980-01-05");
    EXPECT_EQ(value("BaseWage").toDouble(), 3500.5);
    EXPECT_EQ(value("WorkStatus").toString(), "在职");
    EXPECT_EQ(value("JobAsses").toString(), "工程师");
    // Empty dates are null, an empty wage the integer 0, other empties text.
    for (const char* c : {"BeginDate", "NorMalDate", "GraduateDate", "leye", "reye", "BodyHigh", "BodyWeight", "FamilyTel"})
        EXPECT_EQ(type(QString::fromLatin1(c)), "null") << c;
    for (const char* c : {"Nation", "Politics", "Birthplace", "marriage", "Education", "Skill", "JobTitle", "BankName",
                          "BankId", "EmployType", "ContactAddr", "Worktel1", "Worktel2", "Remarks", "CurativeId",
                          "CustodyOldId", "Profession", "SchoolName", "WageLevel", "ALanguage", "Email"})
        EXPECT_EQ(type(QString::fromLatin1(c)), "text") << c;
    EXPECT_EQ(db.scalar(QStringLiteral("select AValue from Sys_SerialNo where SerialName='WKID'")).toLongLong(), 2);

    ImportRow second;
    second.Workerid = QStringLiteral("W2");
    second.Wname = QStringLiteral("李");
    second.DepName = QStringLiteral("不存在");
    writer.SaveWorkerRow(second, 0);
    ASSERT_TRUE(second.RowWritten);
    EXPECT_EQ(value("Wkid", "W2").toLongLong(), 2);
    EXPECT_EQ(value("NamePy", "W2").toString(), "L");
    EXPECT_EQ(value("DeptNo", "W2").toString(), "");
    EXPECT_EQ(db.scalar(QStringLiteral("select typeof(BaseWage) from Hrp_workers where Workerid='W2'")).toString(), "integer");
    EXPECT_EQ(value("BaseWage", "W2").toInt(), 0);
}

TEST_F(WorkerWriterTest, DuplicateIsRefusedWithItsBoxAndTheCounterUntouched)
{
    writer.SaveWorkerRow(row, 0);
    ASSERT_TRUE(row.RowWritten);
    row.DeptNo = QStringLiteral("keep");
    writer.SaveWorkerRow(row, 0);
    EXPECT_FALSE(row.RowWritten);
    EXPECT_EQ(row.DeptNo, "keep");
    EXPECT_EQ(scriptedDialogs().boxes,
              QList<RecordedBox>{(RecordedBox{QStringLiteral("工号「W1」已存在，不能导入。"), QStringLiteral("提示"), MsgIcon::Error,
                                              QStringLiteral("本次导入不再提示重复工号")})});
    EXPECT_EQ(db.scalar(QStringLiteral("select AValue from Sys_SerialNo")).toLongLong(), 2);
}

TEST_F(WorkerWriterTest, RejectedDateIsSwallowedAndLeavesAGapInTheKeys)
{
    row.BIrThday = QStringLiteral("不是日期");
    writer.SaveWorkerRow(row, 0);
    EXPECT_FALSE(row.RowWritten);
    EXPECT_FALSE(writer.lastReason().isEmpty());
    EXPECT_TRUE(scriptedDialogs().boxes.isEmpty());
    EXPECT_EQ(db.scalar(QStringLiteral("select count(*) from Hrp_workers")).toLongLong(), 0);
    EXPECT_EQ(db.scalar(QStringLiteral("select AValue from Sys_SerialNo")).toLongLong(), 2);

    row.BIrThday.clear();
    row.BaseWage = QStringLiteral("面议");
    writer.SaveWorkerRow(row, 0);
    EXPECT_FALSE(row.RowWritten);
    row.BaseWage.clear();
    writer.SaveWorkerRow(row, 0);
    EXPECT_TRUE(row.RowWritten);
    EXPECT_EQ(value("Wkid").toLongLong(), 3);
}

TEST_F(WorkerWriterTest, MissingCounterTableFailsEveryInsert)
{
    db.exec(QStringLiteral("drop table Sys_SerialNo"));
    db.exec(QStringLiteral("create table Sys_SerialNo(SerialName text, AValue integer, Extra text)"));
    writer.SaveWorkerRow(row, 0);
    EXPECT_FALSE(row.RowWritten);
    db.exec(QStringLiteral("insert into Sys_SerialNo values('WKID', 7, 'x')"));
    writer.SaveWorkerRow(row, 0);
    EXPECT_TRUE(row.RowWritten);
    EXPECT_EQ(value("Wkid").toLongLong(), 7);
}

TEST_F(WorkerWriterTest, UpdateChangesOnlyTheGivenMarkedFields)
{
    row.ContactAddr = QStringLiteral("旧地址");
    row.JobAsses = QStringLiteral("助工");
    row.BankId = QStringLiteral("111");
    writer.SaveWorkerRow(row, 0);
    ASSERT_TRUE(row.RowWritten);

    ImportRow update;
    update.Workerid = QStringLiteral("w1");  // found without case, stored as it was
    update.JobAsses = QStringLiteral("工程师");
    update.BaseWage = QStringLiteral("4000");
    update.ContactAddr = QStringLiteral("新地址"); // never updated
    writer.SaveWorkerRow(update, 1);
    EXPECT_TRUE(update.RowWritten);
    EXPECT_EQ(value("JobAsses").toString(), "工程师");
    EXPECT_EQ(value("BaseWage").toInt(), 4000);
    EXPECT_EQ(value("ContactAddr").toString(), "旧地址");
    EXPECT_EQ(value("BankId").toString(), "111");
    EXPECT_EQ(value("Workerid").toString(), "W1");

    ImportRow none;
    none.Workerid = QStringLiteral("W1");
    writer.SaveWorkerRow(none, 1);
    EXPECT_TRUE(none.RowWritten);
    ImportRow missing;
    missing.Workerid = QStringLiteral("W9");
    missing.Skill = QStringLiteral("x");
    writer.SaveWorkerRow(missing, 1);
    EXPECT_FALSE(missing.RowWritten);
    EXPECT_EQ(writer.lastReason(), "工号不存在");
    EXPECT_EQ(db.scalar(QStringLiteral("select count(*) from Hrp_workers")).toLongLong(), 1);
}

TEST_F(WorkerWriterTest, OtherModesWriteNothingAndCountAsStored)
{
    writer.SaveWorkerRow(row, -1);
    EXPECT_TRUE(row.RowWritten);
    writer.SaveWorkerRow(row, 2);
    EXPECT_TRUE(row.RowWritten);
    EXPECT_EQ(db.scalar(QStringLiteral("select count(*) from Hrp_workers")).toLongLong(), 0);
    EXPECT_TRUE(scriptedDialogs().boxes.isEmpty());
}

TEST_F(WorkerWriterTest, HostileTextsAreStoredAsTheyAre)
{
    const QString evil = QStringLiteral("'; drop table Hrp_workers; --\"");
    row.Remarks = evil;
    row.Wname = QStringLiteral("O'Brien \x01\t");
    row.ContactAddr = QStringLiteral("𠀀 emoji 😀");
    writer.SaveWorkerRow(row, 0);
    ASSERT_TRUE(row.RowWritten);
    EXPECT_EQ(value("Remarks").toString(), evil);
    EXPECT_EQ(value("Wname").toString(), QStringLiteral("O'Brien \x01\t"));
    EXPECT_EQ(value("ContactAddr").toString(), QStringLiteral("𠀀 emoji 😀"));
    EXPECT_EQ(value("NamePy").toString(), "O'B");
}

TEST_F(WorkerWriterTest, NoLockIsHeldWhileTheDuplicateBoxWaits)
{
    writer.SaveWorkerRow(row, 0);
    ASSERT_TRUE(row.RowWritten);
    bool wrote = false;
    scriptedDialogs().onBox = [this, &wrote](const RecordedBox&) {
        // Another program writes while the user reads the box.
        db.exec(QStringLiteral("insert into Sys_dept(DeptNO, DeptName) values ('99', '外来部')"));
        wrote = db.scalar(QStringLiteral("select count(*) from Sys_dept where DeptNO='99'")).toInt() == 1;
    };
    writer.SaveWorkerRow(row, 0);
    EXPECT_FALSE(row.RowWritten);
    EXPECT_TRUE(wrote);
}
