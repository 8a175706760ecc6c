#pragma once

#include "records/RowRecorder.h"

#include <QStringList>

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <vector>

class Connection;

// Reads of Hrp_workers for the record and the undo, keeping null apart from
// empty text. Column names come from the records file, which is not
// trusted: only the columns an update may change are ever named in a
// statement. `lock` takes a row lock on the rows read (FOR UPDATE on
// PostgreSQL, UPDLOCK on SQL Server; a local file is locked whole by its
// write transaction). Errors raise DbError.
namespace PersonnelRows {

// The bytes of a row's values in column order and their 128-bit digest:
// null, or an integer, a real, or text (or blob) bytes with their length,
// so that no two rows run together into the same stream. It is there to
// tell a row changed by someone since, not to withstand one who crafts a
// row to match. The same bytes give the same digest in every process.
//
// It may also gather the bytes of many rows one after another, each begun
// with next(), for their digests to be made later (by a pack, elsewhere).
class RowDigest {
public:
    // A row of its own, or (gathering) forgets every row, keeping the room.
    void start() { n_ = begin_ = 0; }
    // Another row after those already here; bytes() is then its alone.
    void next() { begin_ = n_; }
    // Forgets the row begun with next().
    void drop() { n_ = begin_; }
    void null() { typed('\0', nullptr, 0); }
    void integer(qint64 v) { typed('i', &v, sizeof v); }
    void real(double v) { typed('f', &v, sizeof v); }
    void text(const char* data, qsizetype size)
    {
        const quint32 n = quint32(size);
        room(sizeof n + size_t(size));
        char* at = buf_.data() + n_;
        at[0] = 't';
        std::memcpy(at + 1, &n, sizeof n);
        if (size > 0) // an empty text may come as a null pointer
            std::memcpy(at + 1 + sizeof n, data, size_t(size));
        n_ += 1 + sizeof n + size_t(size);
    }
    QByteArray result() const;
    // The row's bytes, whose digest result() gives.
    QByteArrayView bytes() const { return QByteArrayView(buf_.data() + begin_, qsizetype(n_ - begin_)); }
    // Every row's bytes so far.
    QByteArrayView all() const { return QByteArrayView(buf_.data(), qsizetype(n_)); }
    // The 16-byte digest of such bytes, written to `out`.
    static void digestOf(QByteArrayView bytes, char* out);

private:
    void room(size_t more)
    {
        if (n_ + 1 + more > buf_.size())
            buf_.resize(std::max(2 * buf_.size(), n_ + 1 + more + 256));
    }
    void typed(char type, const void* data, size_t size)
    {
        room(size);
        buf_[n_] = type;
        if (size)
            std::memcpy(buf_.data() + n_ + 1, data, size);
        n_ += 1 + size;
    }
    std::vector<char> buf_;  // the first n_ bytes are the rows'
    size_t n_ = 0;
    size_t begin_ = 0;  // where the last row begins
};

// The columns an update run may change.
const QStringList& updateColumns();
bool isUpdateColumn(const QString& column);

CellValue cellOf(const QVariant& value);

// The named columns of the (first) row with the worker number; empty when
// there is none.
QList<CellValue> fields(Connection& connection, const QString& workerid, const QStringList& columns, bool lock);
// A digest of every column of each row whose Wkid lies in [lo, hi], by
// Wkid; `columns` gets the columns' names. Two rows with the same digest
// hold the same values (null apart from empty text) in the same columns.
// On a local file the values are taken straight from SQLite, as text.
std::map<qint64, QByteArray> digestsByWkidRange(Connection& connection, qint64 lo, qint64 hi, QStringList& columns);
// The digest of the row with this Wkid and worker number, taken the same
// way; empty when the table's columns are no longer `columns`.
std::optional<QByteArray> rowDigest(Connection& connection, qint64 wkid, const QString& workerid, bool lock,
                                    const QStringList& columns);

} // namespace PersonnelRows
