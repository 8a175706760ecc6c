#pragma once

#include "records/PersonnelRows.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

class Connection;
class Query;

// The digest of a row just inserted into Hrp_workers of a local file, as
// PersonnelRows reads it back (`select *`), made from the values the insert
// bound instead of reading the row back: the record of a run then costs the
// import no second pass over its rows.
//
// It relies on nothing it has not seen in the file: the table's columns,
// their declared types (SQLite's affinity rules), their defaults, and that
// no trigger, hidden column or table option could make the row differ from
// what was bound. Where it cannot be sure of how a value is stored (text
// that SQLite might turn into a number other than a plain integer, a REAL
// column, a file in UTF-16), it gives nothing for that row, or for every
// row, and the caller reads the row back as before.
class InsertDigest {
public:
    // Learns the table on this connection and the insert statement's
    // columns and values (markers, quoted text, null). False, and nothing
    // more is given, when the rows must be read back. Raises DbError.
    bool prepare(Connection& connection, const Query& insert);
    // The columns as `select *` gives them (after prepare()).
    const QStringList& columns() const { return columns_; }
    // Adds to `into`, as its next row, the bytes of the row the last
    // execution of `insert` stored: their digest is the row's as read back.
    // False, and nothing added, when this row must be read back.
    bool rowBytes(const Query& insert, PersonnelRows::RowDigest& into);

    enum class Affinity { Text, Numeric, Integer, Real, Blob };
    static Affinity affinityOf(const QString& declaredType);

private:
    struct Column {
        Affinity affinity = Affinity::Blob;
        int param = -1;        // the parameter bound to it, or
        int literal = -1;      // a quoted text of the statement; else null
        bool literalText = false;  // that text is stored as text
    };
    bool ready_ = false;
    QString sql_;
    QStringList columns_;
    std::vector<Column> layout_;
    QList<QByteArray> literals_;  // UTF-8
    std::vector<QByteArrayView> bound_;
};
