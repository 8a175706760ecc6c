// The digest a run records from what its insert bound must be the digest of
// the row read back, or nothing (and the row is read back): on the
// program's own table and on tables whose types, defaults or triggers make
// the stored row differ from what was bound.
#include "data/UserDMUnit.h"
#include "platform/db/Query.h"
#include "records/InsertDigest.h"
#include "records/PersonnelRows.h"
#include "support/TestDatabase.h"

#include <gtest/gtest.h>

namespace {
const QString kInsert = QStringLiteral(
    "insert into hrp_workers(Wkid,Workerid,Wname,BaseWage,WorkStatus,leye)\n"
    " Values(:wkid,:Workerid, :Wname, :BaseWage,'在职',null) ");

struct Value {
    const char* wname;
    const char* baseWage;  // nullptr: the integer 0
    bool bound;            // the digest comes from the bound values
};
} // namespace

TEST(InsertDigest, GivesTheReadBackDigestOrNothing)
{
    const struct {
        const char* name;
        const char* change;  // statements run on the program's own table first, split at |
        bool prepared;
        std::vector<Value> values;
    } cases[] = {
        {"own table", "", true,
         {{"张三", "3000", true}, {"123", "-12", true}, {"李四", nullptr, true}, {"", "0", true},
          {"王五", "3000.5", false}, {"赵六", "03000", false}, {"孙七", " 3000", false}, {"周八", "1e3", false}}},
        {"other types",
         "drop table Hrp_workers|create table Hrp_workers(Wkid INTEGER PRIMARY KEY, Workerid TEXT, Wname INT,"
         " BaseWage REAL, WorkStatus, leye VARCHAR(10), LeaveDate DATE)",
         true,
         {{"张三", "abc", true}, {"123", "x1", true}, {"0123", "y", false}, {"吴九", "3000", false}, {"郑十", nullptr, false}}},
        {"a default", "alter table Hrp_workers add column Extra TEXT default 'x'", false, {{"张三", "3000", false}}},
        {"a trigger",
         "create trigger t after insert on Hrp_workers begin update Hrp_workers set Skill='s' where Wkid=new.Wkid; end",
         false, {{"张三", "3000", false}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestDatabase db;
        for (const QString& sql : QString::fromUtf8(c.change).split(u'|', Qt::SkipEmptyParts))
            db.exec(sql);
        Connection& conn = UserDM->ADOConnection1;
        Query q(conn);
        q.add(kInsert);
        InsertDigest digest;
        bool prepared = false;
        qint64 wkid = 0;
        for (const Value& v : c.values) {
            SCOPED_TRACE(v.wname);
            ++wkid;
            const QString workerid = QStringLiteral("W%1").arg(wkid);
            q.setInteger(QStringLiteral("Wkid"), wkid);
            q.setText(QStringLiteral("Workerid"), workerid);
            q.setText(QStringLiteral("Wname"), QString::fromUtf8(v.wname));
            if (v.baseWage)
                q.setText(QStringLiteral("BaseWage"), QString::fromUtf8(v.baseWage));
            else
                q.setInteger(QStringLiteral("BaseWage"), 0);
            q.execute();
            if (wkid == 1)
                prepared = digest.prepare(conn, q);
            PersonnelRows::RowDigest bytes;
            const bool given = digest.rowBytes(q, bytes);
            EXPECT_EQ(given, v.bound);
            if (given) {
                const std::optional<QByteArray> read = PersonnelRows::rowDigest(conn, wkid, workerid, false, digest.columns());
                ASSERT_TRUE(read.has_value());
                QByteArray made(16, Qt::Uninitialized);
                PersonnelRows::RowDigest::digestOf(bytes.bytes(), made.data());
                EXPECT_EQ(made, *read);
            }
        }
        EXPECT_EQ(prepared, c.prepared);
    }
}
