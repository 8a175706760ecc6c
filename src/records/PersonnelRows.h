#pragma once

#include "records/RowRecorder.h"

#include <QStringList>

#include <map>
#include <optional>

class Connection;

// Reads of Hrp_workers for the record and the undo, keeping null apart from
// empty text. Column names come from the records file, which is not
// trusted: only the columns an update may change are ever named in a
// statement. `lock` takes a row lock on the rows read (FOR UPDATE on
// PostgreSQL, UPDLOCK on SQL Server; a local file is locked whole by its
// write transaction). Errors raise DbError.
namespace PersonnelRows {

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
