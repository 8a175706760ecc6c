// A run's rows come back from the records file as they went in: from the
// packs written now, from the larger packs older versions wrote, and as
// far as a damaged pack allows.
#include "records/RunRecords.h"
#include "support/TempDir.h"

#include <QDataStream>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <gtest/gtest.h>

namespace {
QByteArray digestOf(const PersonnelRows::RowDigest& row)
{
    QByteArray out(16, Qt::Uninitialized);
    PersonnelRows::RowDigest::digestOf(row.bytes(), out.data());
    return out;
}

void insertPack(const QString& path, qint64 run, const QByteArray& pack)
{
    {
        QSqlDatabase c = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
        c.setDatabaseName(path);
        ASSERT_TRUE(c.open());
        QSqlQuery q(c);
        q.prepare(QStringLiteral("insert into rows(run, data) values (?, ?)"));
        q.addBindValue(run);
        q.addBindValue(pack);
        ASSERT_TRUE(q.exec());
    }
    QSqlDatabase::removeDatabase(QStringLiteral("raw"));
}
} // namespace

TEST(RunRecordsPacks, RowsComeBackFromNewAndOldPacksAndAsFarAsADamagedOneAllows)
{
    TempDir dir;
    const QString path = dir.file(QStringLiteral("records.sqlite"));
    RunRecords records(path);
    RunRecords::Run header;
    header.kind = QStringLiteral("导入");
    const qint64 run = records.startRun(header);

    // Added rows as an import adds them (their digests made as the pack is
    // written), then a row read back and an update, in one pack.
    struct Added {
        int sheetRow;
        qint64 wkid;
        QString workerid;
        QByteArray text;
    };
    const QList<Added> added{{2, 100, QStringLiteral("C001"), "甲"},
                             {3, 101, QStringLiteral("工号７"), ""},
                             {9, 7, QStringLiteral("x"), QByteArray(300, 'a')},
                             {70000, 1LL << 40, QStringLiteral("C002"), "乙"}};
    RunRecords::Pack pack;
    QList<QByteArray> digests;
    for (const Added& a : added) {
        PersonnelRows::RowDigest& row = pack.rowBytes();
        row.next();
        row.integer(a.wkid);
        row.text(a.text.constData(), a.text.size());
        row.null();
        digests << digestOf(row);
        pack.addDigestOf(a.sheetRow, a.wkid, a.workerid);
    }
    const RunRecords::Row readBack{70001, 5, QStringLiteral("C003"), QByteArray(16, 'd'), {}};
    const RunRecords::Row update{70002, 0, QStringLiteral("C004"), {},
                                 {FieldChange{QStringLiteral("Skill"), CellValue{}, CellValue{false, QStringLiteral("焊工")}}}};
    pack.add(readBack);
    pack.add(update);
    records.addPack(run, pack.bytes());

    QList<RunRecords::Row> rows = records.rows(run);
    ASSERT_EQ(rows.size(), added.size() + 2);
    for (qsizetype i = 0; i < added.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(rows[i].sheetRow, added[i].sheetRow);
        EXPECT_EQ(rows[i].wkid, added[i].wkid);
        EXPECT_EQ(rows[i].workerid, added[i].workerid);
        EXPECT_EQ(rows[i].digest, digests[i]);
    }
    EXPECT_EQ(rows[4].digest, readBack.digest);
    EXPECT_EQ(rows[4].wkid, 5);
    ASSERT_EQ(rows[5].changes.size(), 1);
    EXPECT_EQ(rows[5].changes[0].after.text, QStringLiteral("焊工"));
    EXPECT_TRUE(rows[5].changes[0].before.null);

    // A pack as older versions wrote it still reads.
    const qint64 older = records.startRun(header);
    QByteArray old;
    {
        QDataStream s(&old, QIODevice::WriteOnly);
        s.setVersion(QDataStream::Qt_6_0);
        s << quint32(1) << qint32(4) << qint64(55) << QStringLiteral("W55") << ('D' + QByteArray(16, 'o'));
    }
    insertPack(path, older, old);
    rows = records.rows(older);
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].wkid, 55);
    EXPECT_EQ(rows[0].workerid, QStringLiteral("W55"));
    EXPECT_EQ(rows[0].digest, QByteArray(16, 'o'));

    // Damaged packs of the present form: what comes before the damage.
    const QByteArray mark("\xFF\xFF\xFF\x02", 4);
    const QByteArray good = QByteArray("\x04\x02\x03W1\x11", 6) + 'D' + QByteArray(16, 'g');
    const struct {
        const char* name;
        QByteArray pack;
        int rows;
    } damaged[] = {
        {"no rows", mark, 0},
        {"cut short", mark + good + good.left(9), 1},
        {"a length past the end", mark + good + QByteArray("\x02\x02\x7F", 3), 1},
        {"a number that never ends", mark + QByteArray(11, '\xFF'), 0},
        {"a sheet row out of range", mark + QByteArray("\xFE\xFF\xFF\xFF\x1F\x02\x01\x00", 8), 0},
    };
    for (const auto& d : damaged) {
        SCOPED_TRACE(d.name);
        const qint64 id = records.startRun(header);
        insertPack(path, id, d.pack);
        rows = records.rows(id);
        EXPECT_EQ(rows.size(), d.rows);
        if (!rows.isEmpty()) {
            EXPECT_EQ(rows[0].workerid, QStringLiteral("W1"));
        }
    }
}
