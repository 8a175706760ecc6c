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
// Every column of the rows whose Wkid lies in [lo, hi], by Wkid; `columns`
// gets their names.
std::map<qint64, QList<CellValue>> byWkidRange(Connection& connection, qint64 lo, qint64 hi, QStringList& columns);
// Every column of the row with this Wkid and worker number, by name.
std::optional<std::map<QString, CellValue>> row(Connection& connection, qint64 wkid, const QString& workerid, bool lock);

} // namespace PersonnelRows
