// Rows grouped into transactions on both journal modes of a local file,
// seen from a second connection as another program would see them.
#include "data/UserDMUnit.h"
#include "platform/Errors.h"
#include "platform/db/WriteSession.h"
#include "services/userGlobal.h"
#include "support/TestDatabase.h"

#include <QThread>

#include <gtest/gtest.h>

namespace {

class WriteSessionTest : public ::testing::TestWithParam<const char*> {
protected:
    WriteSessionTest()
        : db(false)
    {
        // A file the program did not make keeps its own journal mode.
        UserDM->ADOConnection1.setConnected(false);
        db.exec(QStringLiteral("PRAGMA journal_mode=%1").arg(QString::fromLatin1(GetParam())));
        UserDM->ADOConnection1.setConnected(true);
    }

    void insertRow(WriteSession& session, int n)
    {
        session.beginRow();
        Query& q = UserDM->QryFree;
        q.clear();
        q.add(QStringLiteral("insert into Sys_dept(DeptNO, DeptName) values (:No, 'x')"));
        q.setInteger(QStringLiteral("No"), n);
        q.execute();
    }
    qint64 seenOutside() { return db.scalar(QStringLiteral("select count(*) from Sys_dept")).toLongLong(); }
    QVariant counter() { return db.scalar(QStringLiteral("select AValue from Sys_SerialNo where SerialName='WKID'")); }

    TestDatabase db;
};

} // namespace

INSTANTIATE_TEST_SUITE_P(Journal, WriteSessionTest, ::testing::Values("wal", "delete"));

TEST_P(WriteSessionTest, GroupEndsAtCommitNowAfter250MsAfter5000RowsAndAtFinish)
{
    ASSERT_EQ(db.scalar(QStringLiteral("PRAGMA journal_mode")).toString(), QString::fromLatin1(GetParam()));
    WriteSession session(UserDM->ADOConnection1);
    insertRow(session, 1);
    session.rowDone();
    EXPECT_EQ(seenOutside(), 0);
    session.commitNow();
    EXPECT_EQ(seenOutside(), 1);

    insertRow(session, 2);
    QThread::msleep(WriteSession::MaxGroupMs + 20);
    session.rowDone();
    EXPECT_EQ(seenOutside(), 2);

    for (int n = 3; n < 3 + WriteSession::MaxGroupRows; ++n) {
        insertRow(session, n);
        session.rowDone();
    }
    EXPECT_EQ(seenOutside(), 2 + WriteSession::MaxGroupRows);

    insertRow(session, 0);
    session.rowDone();
    session.finish();
    EXPECT_EQ(seenOutside(), 3 + WriteSession::MaxGroupRows);
    EXPECT_EQ(db.scalar(QStringLiteral("PRAGMA journal_mode")).toString(), QString::fromLatin1(GetParam()));
}

// Draws of one group come from memory and reach the stored value when the
// group commits; a check leaves no trace, the counter's new row included.
// The file compares counter names without regard to case: "wkid" is the
// same row, and its draws follow on.
TEST_P(WriteSessionTest, CounterDrawsOfAGroupAndOfACheck)
{
    for (const auto end : {WriteSession::End::RollBack, WriteSession::End::Commit}) {
        const bool check = end == WriteSession::End::RollBack;
        WriteSession session(UserDM->ADOConnection1, end);
        // A check's keys lie far below any real key, one after another.
        qint64 first = 1;
        for (qint64 k = 0; k < 3; ++k) {
            insertRow(session, int(k + 1));
            HoldSerialValue(QStringLiteral("WKID"));
            const qint64 key = GetSerialValue(QStringLiteral("WKID"));
            if (k == 0 && check) {
                EXPECT_LT(key, -(qint64(1) << 30));
                first = key;
            }
            EXPECT_EQ(key, first + k);
            session.rowDone();
        }
        if (check) {
            EXPECT_LT(GetSerialValue(QStringLiteral("wkid")), 0);  // another name: drawn apart, in memory too
        } else {
            EXPECT_EQ(GetSerialValue(QStringLiteral("wkid")), 4);
            EXPECT_EQ(GetSerialValue(QStringLiteral("WKID")), 5);
        }
        session.commitNow();
        EXPECT_EQ(seenOutside(), check ? 0 : 3);
        session.finish();
        EXPECT_EQ(seenOutside(), check ? 0 : 3);
        EXPECT_EQ(counter(), check ? QVariant() : QVariant(6));
    }
    WriteSession next(UserDM->ADOConnection1);
    insertRow(next, 9);
    HoldSerialValue(QStringLiteral("WKID"));
    EXPECT_EQ(GetSerialValue(QStringLiteral("WKID")), 6);
    EXPECT_EQ(GetSerialValue(QStringLiteral("WKID")), 7);
    next.finish();
    EXPECT_EQ(counter(), QVariant(8));
}

TEST_P(WriteSessionTest, GroupTheDatabaseDroppedIsReportedNotLost)
{
    WriteSession session(UserDM->ADOConnection1);
    insertRow(session, 1);
    session.rowDone();
    // As SQLite does itself on a full disk.
    UserDM->ADOConnection1.rollbackTransaction();
    try {
        insertRow(session, 2);
        FAIL() << "a session whose group is gone writes nothing more";
    } catch (const Error& e) {
        EXPECT_TRUE(e.text().contains(QStringLiteral("请再导入一次这个文件"))) << e.text().toStdString();
    }
    EXPECT_THROW(session.rowDone(), Error);
    EXPECT_THROW(session.finish(), Error);
    EXPECT_EQ(seenOutside(), 0);
}
