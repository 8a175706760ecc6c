#include "data/UserDMUnit.h"
#include "platform/Errors.h"
#include "services/userGlobal.h"
#include "support/TestDatabase.h"

#include <gtest/gtest.h>

TEST(GetDeptNo, FindsTheNumberByExactName)
{
    TestDatabase db(false);
    db.addDepartment(QStringLiteral("03"), QStringLiteral("技术部"));
    db.exec(QStringLiteral("insert into Sys_dept(DeptNO, DeptName) values (null, '空号部')"));
    EXPECT_EQ(GetDeptNo(QStringLiteral("技术部")), "03");
    EXPECT_EQ(GetDeptNo(QStringLiteral("技术")), "");
    EXPECT_EQ(GetDeptNo(QStringLiteral(" 技术部")), "");
    EXPECT_EQ(GetDeptNo(QStringLiteral("空号部")), "");
    EXPECT_EQ(GetDeptNo(QString()), "");
}

TEST(GetDeptNo, EmptyNameIsLookedUpAsEmptyText)
{
    TestDatabase db(false);
    db.addDepartment(QStringLiteral("09"), QStringLiteral(""));
    EXPECT_EQ(GetDeptNo(QString()), "09");
}

TEST(GetDeptNo, ErrorsReachTheCaller)
{
    TestDatabase db(false);
    db.exec(QStringLiteral("drop table Sys_dept"));
    EXPECT_THROW(GetDeptNo(QStringLiteral("x")), DbError);
}

TEST(GetDeptNo, ARunAsksTheDatabaseOncePerName)
{
    TestDatabase db(false);
    db.addDepartment(QStringLiteral("03"), QStringLiteral("技术部"));
    {
        DeptNoCache run;
        EXPECT_EQ(GetDeptNo(QStringLiteral("技术部")), "03");
        EXPECT_EQ(GetDeptNo(QStringLiteral("新部")), "");
        db.exec(QStringLiteral("update Sys_dept set DeptNO='04'"));
        db.addDepartment(QStringLiteral("05"), QStringLiteral("新部"));
        EXPECT_EQ(GetDeptNo(QStringLiteral("技术部")), "03");
        EXPECT_EQ(GetDeptNo(QStringLiteral("新部")), "");
    }
    EXPECT_EQ(GetDeptNo(QStringLiteral("技术部")), "04");
    EXPECT_EQ(GetDeptNo(QStringLiteral("新部")), "05");
}

TEST(GetSerialValue, CountsFromOneAndTheDatabaseRaisesIt)
{
    TestDatabase db(false);
    EXPECT_EQ(GetSerialValue(QStringLiteral("WKID")), 1);
    EXPECT_EQ(db.scalar(QStringLiteral("select AValue from Sys_SerialNo where SerialName='WKID'")).toLongLong(), 2);
    EXPECT_EQ(GetSerialValue(QStringLiteral("WKID")), 2);
    EXPECT_EQ(GetSerialValue(QStringLiteral("WKID")), 3);
    // Matched as the database compares: without regard to case in a file
    // made by init-db.
    EXPECT_EQ(GetSerialValue(QStringLiteral("wkid")), 4);
    EXPECT_EQ(db.scalar(QStringLiteral("select AValue from Sys_SerialNo where SerialName='WKID'")).toLongLong(), 5);
    db.exec(QStringLiteral("update Sys_SerialNo set AValue=100 where SerialName='WKID'"));
    EXPECT_EQ(GetSerialValue(QStringLiteral("WKID")), 100);
    EXPECT_FALSE(UserDM->QryFree.isOpen());
}

TEST(GetSerialValue, ThirdColumnRefusesANewCounter)
{
    TestDatabase db(false);
    db.exec(QStringLiteral("drop table Sys_SerialNo"));
    db.exec(QStringLiteral("create table Sys_SerialNo(SerialName text, AValue integer, Note text)"));
    EXPECT_THROW(GetSerialValue(QStringLiteral("WKID")), DbError);
    db.exec(QStringLiteral("insert into Sys_SerialNo values ('WKID', 5, '')"));
    EXPECT_EQ(GetSerialValue(QStringLiteral("WKID")), 5);
}

TEST(GetLocalComputerName, GivesTheHostName)
{
    const QString name = GetLocalComputerName();
    EXPECT_FALSE(name.isEmpty());
    EXPECT_FALSE(name.contains(QChar(0)));
}
