#include "platform/Errors.h"
#include "platform/db/Query.h"
#include "support/TempDir.h"

#include "DbTestSupport.h"

#include <QElapsedTimer>

#include <cstdio>
#include <functional>

#include <gtest/gtest.h>

namespace {

class QueryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        createLocalDatabase(tmp.file(QStringLiteral("q.VRD")), true);
        openLocal(conn, tmp.file(QStringLiteral("q.VRD")));
    }

    // The DbError text of running fn, or "" when it did not raise one.
    template <typename Fn>
    static QString dbError(Fn fn)
    {
        try {
            fn();
        } catch (const DbError& e) {
            return e.text();
        }
        return QString();
    }

    TempDir tmp;
    Connection conn;
};

} // namespace

TEST_F(QueryTest, MarkersEndAtEveryEndingCharacter)
{
    Query q(conn);
    q.add(QStringLiteral("SELECT :a,:b;:c)"));
    q.add(QStringLiteral(":d\r:e\t:f :g"));
    EXPECT_EQ(q.sql(), QStringLiteral("SELECT :a,:b;:c)\n:d\r:e\t:f :g"));
    EXPECT_EQ(q.preparedSql(), QStringLiteral("SELECT ?,?;?)\n?\r?\t? ?"));
    EXPECT_EQ(q.parameterNames(), (QStringList{"a", "b", "c", "d", "e", "f", "g"}));
}

TEST_F(QueryTest, WhatIsNotAMarker)
{
    Query q(conn);
    // A colon before an ending character or the end, "::", and quoted text.
    q.add(QStringLiteral("SELECT 'a :x' AS \":y\", 'it''s :z', x::int, a : b, c:"));
    EXPECT_TRUE(q.parameterNames().isEmpty());
    EXPECT_EQ(q.preparedSql(), q.sql());

    q.clear();
    q.add(QStringLiteral("WHERE n = 'it''s' AND m = :real AND t = 'x:'"));
    EXPECT_EQ(q.parameterNames(), QStringList{QStringLiteral("real")});
    EXPECT_EQ(q.preparedSql(), QStringLiteral("WHERE n = 'it''s' AND m = ? AND t = 'x:'"));
}

TEST_F(QueryTest, NamesIgnoreCaseAndRepeatedNameIsOneParameter)
{
    Query q(conn);
    q.add(QStringLiteral("SELECT :Val AS x, :VAL AS y, :val || :Other AS z"));
    EXPECT_EQ(q.parameterNames(), (QStringList{"Val", "Other"}));
    q.setText(QStringLiteral("vAl"), QStringLiteral("v"));
    q.setText(QStringLiteral("OTHER"), QStringLiteral("o"));
    q.open();
    EXPECT_EQ(q.fieldText(QStringLiteral("X")), QStringLiteral("v"));
    EXPECT_EQ(q.fieldText(QStringLiteral("y")), QStringLiteral("v"));
    EXPECT_EQ(q.fieldText(QStringLiteral("z")), QStringLiteral("vo"));
}

TEST_F(QueryTest, ClearDropsValuesAndAddKeepsThem)
{
    Query q(conn);
    q.add(QStringLiteral("INSERT INTO Sys_User (UserID, UserName, PassWd)"));
    q.add(QStringLiteral("VALUES (:id,"));
    q.setText(QStringLiteral("id"), QStringLiteral("0100"));
    q.add(QStringLiteral(":name, :pw)"));
    // The new markers start without a value; the missing one is named.
    q.setText(QStringLiteral("name"), QStringLiteral("N"));
    EXPECT_EQ(dbError([&] { q.execute(); }), QStringLiteral("No value given for parameter 'pw'."));
    q.setNull(QStringLiteral("pw"));
    q.execute();

    q.close();
    q.clear();
    q.add(QStringLiteral("SELECT UserName, PassWd FROM Sys_User WHERE UserID = :id"));
    EXPECT_EQ(dbError([&] { q.open(); }), QStringLiteral("No value given for parameter 'id'."));
    q.setText(QStringLiteral("id"), QStringLiteral("0100"));
    q.open();
    ASSERT_FALSE(q.isEmpty());
    EXPECT_EQ(q.fieldText(QStringLiteral("username")), QStringLiteral("N"));
    EXPECT_EQ(q.fieldText(QStringLiteral("passwd")), QString());
    EXPECT_EQ(q.fieldInteger(QStringLiteral("passwd")), 0);
}

TEST_F(QueryTest, UnknownParameterAndFieldRaise)
{
    Query q(conn);
    q.add(QStringLiteral("SELECT DeptNO FROM Sys_dept WHERE DeptName = :name"));
    EXPECT_EQ(dbError([&] { q.setText(QStringLiteral("nam"), QString()); }), QStringLiteral("Parameter 'nam' not found"));
    q.setText(QStringLiteral("NAME"), QStringLiteral("财务部"));
    q.open();
    EXPECT_EQ(q.fieldText(QStringLiteral("deptno")), QStringLiteral("02"));
    EXPECT_EQ(q.fieldNames(), QStringList{QStringLiteral("DeptNO")});
    EXPECT_EQ(dbError([&] { q.fieldText(QStringLiteral("DeptName")); }), QStringLiteral("Field 'DeptName' not found"));
}

TEST_F(QueryTest, NullBindsAsNullAndValuesKeepTheirKind)
{
    Query q(conn);
    q.add(QStringLiteral("INSERT INTO Hrp_workers (Wkid, Workerid, BIrThday, BaseWage, Email)"));
    q.add(QStringLiteral("VALUES (:Wkid, :Workerid, :BIrThday, :BaseWage, :Email)"));
    q.setInteger(QStringLiteral("wkid"), 7);
    q.setText(QStringLiteral("workerid"), QStringLiteral("A01"));
    q.setNull(QStringLiteral("birthday"));
    q.setText(QStringLiteral("basewage"), QStringLiteral("3000.5"));
    q.setText(QStringLiteral("email"), QString());
    q.execute();

    q.clear();
    q.add(QStringLiteral("SELECT typeof(Wkid) AS k, typeof(BIrThday) AS b, typeof(BaseWage) AS w,"));
    q.add(QStringLiteral("  typeof(Email) AS e, BaseWage, Wkid, BIrThday FROM Hrp_workers"));
    q.open();
    EXPECT_EQ(q.fieldText(QStringLiteral("k")), QStringLiteral("integer"));
    EXPECT_EQ(q.fieldText(QStringLiteral("b")), QStringLiteral("null"));
    EXPECT_EQ(q.fieldText(QStringLiteral("w")), QStringLiteral("real"));
    EXPECT_EQ(q.fieldText(QStringLiteral("e")), QStringLiteral("text"));
    EXPECT_EQ(q.fieldInteger(QStringLiteral("wkid")), 7);
    EXPECT_EQ(q.fieldText(QStringLiteral("birthday")), QString());
    // A real reads as an integer rounded to the nearest.
    EXPECT_EQ(q.fieldInteger(QStringLiteral("basewage")), 3001);
}

TEST_F(QueryTest, FieldIntegerOfText)
{
    Query q(conn);
    q.add(QStringLiteral("SELECT '12' AS a, ' -3 ' AS b, '2.4' AS c, 'abc' AS d"));
    q.open();
    EXPECT_EQ(q.fieldInteger(QStringLiteral("a")), 12);
    EXPECT_EQ(q.fieldInteger(QStringLiteral("b")), -3);
    EXPECT_EQ(q.fieldInteger(QStringLiteral("c")), 2);
    EXPECT_THROW(q.fieldInteger(QStringLiteral("d")), DbError);
}

TEST_F(QueryTest, AllRowsAreFetchedAndTheStatementReleased)
{
    Query q(conn);
    q.add(QStringLiteral("SELECT DeptNO, DeptName FROM Sys_dept ORDER BY DeptNO"));
    q.open();
    EXPECT_TRUE(q.isOpen());
    EXPECT_EQ(q.rowCount(), 6);
    QStringList numbers;
    for (q.first(); !q.eof(); q.next())
        numbers << q.fieldText(QStringLiteral("deptno"));
    EXPECT_EQ(numbers, (QStringList{"01", "02", "03", "04", "05", "06"}));

    // With a statement still stepping over Sys_dept, SQLite would refuse this.
    Query other(conn);
    other.add(QStringLiteral("DROP TABLE Sys_dept"));
    other.execute();
    q.first();
    EXPECT_EQ(q.fieldText(QStringLiteral("DeptName")), QStringLiteral("人事部"));
}

TEST_F(QueryTest, EmptyResultReadsAsEmpty)
{
    Query q(conn);
    q.add(QStringLiteral("SELECT DeptNO FROM Sys_dept WHERE DeptName = :n"));
    q.setText(QStringLiteral("n"), QStringLiteral("无此部门"));
    q.open();
    EXPECT_TRUE(q.isEmpty());
    EXPECT_EQ(q.fieldText(QStringLiteral("DeptNO")), QString());
    EXPECT_EQ(q.fieldInteger(QStringLiteral("DeptNO")), 0);
}

TEST_F(QueryTest, ProviderErrorsCarryItsTextAndTheQueryGoesOn)
{
    Query q(conn);
    q.add(QStringLiteral("SELECT * FROM NoSuchTable"));
    EXPECT_TRUE(dbError([&] { q.open(); }).contains(QStringLiteral("no such table")));
    EXPECT_FALSE(q.isOpen());

    q.clear();
    q.add(QStringLiteral("INSERT INTO Hrp_workers (Workerid, BIrThday) VALUES (:w, :d)"));
    q.setText(QStringLiteral("w"), QStringLiteral("A1"));
    q.setText(QStringLiteral("d"), QStringLiteral("not a date"));
    EXPECT_TRUE(dbError([&] { q.execute(); }).contains(QStringLiteral("CHECK constraint failed")));
    q.setText(QStringLiteral("d"), QStringLiteral("2001-02-03"));
    q.execute();
    q.setText(QStringLiteral("w"), QStringLiteral("A1"));
    EXPECT_TRUE(dbError([&] { q.execute(); }).contains(QStringLiteral("UNIQUE")));

    q.clear();
    q.add(QStringLiteral("SELECT COUNT(*) AS n FROM Hrp_workers"));
    q.open();
    EXPECT_EQ(q.fieldInteger(QStringLiteral("n")), 1);
}

// What one statement costs, by kind. Not a check: run it with
// --gtest_also_run_disabled_tests to see the numbers.
TEST_F(QueryTest, DISABLED_CostPerStatement)
{
    Query q(conn);
    const int rows = 20000;
    const auto measure = [&](const char* what, const std::function<void(int)>& statement) {
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < rows; ++i) {
            q.close();
            q.clear();
            statement(i);
        }
        std::printf("%-8s %.1f us\n", what, double(t.nsecsElapsed()) / 1000.0 / rows);
    };
    measure("lookup", [&](int) {
        q.add(QStringLiteral("SELECT DeptNO FROM Sys_dept WHERE DeptName = :DeptName"));
        q.setText(QStringLiteral("DeptName"), QStringLiteral("技术部"));
        q.open();
    });
    measure("update", [&](int) {
        q.add(QStringLiteral("UPDATE Sys_dept SET DeptNO = DeptNO WHERE DeptName = :DeptName"));
        q.setText(QStringLiteral("DeptName"), QStringLiteral("技术部"));
        q.execute();
    });
    measure("insert", [&](int i) {
        q.add(QStringLiteral("INSERT INTO Hrp_workers (Wkid, Workerid, Wname, DeptNo, BIrThday, BaseWage)"));
        q.add(QStringLiteral("VALUES (:Wkid, :Workerid, :Wname, :DeptNo, :BIrThday, :BaseWage)"));
        q.setInteger(QStringLiteral("Wkid"), i);
        q.setText(QStringLiteral("Workerid"), QString::number(i));
        q.setText(QStringLiteral("Wname"), QStringLiteral("张三"));
        q.setText(QStringLiteral("DeptNo"), QStringLiteral("03"));
        q.setNull(QStringLiteral("BIrThday"));
        q.setText(QStringLiteral("BaseWage"), QStringLiteral("1000"));
        q.execute();
    });
}
