#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// One stored value of Hrp_workers as the database gives it back: null, or
// its text. Compared as such, never converted.
class Query;

struct CellValue {
    bool null = true;
    QString text;

    friend bool operator==(const CellValue& a, const CellValue& b)
    {
        return a.null == b.null && (a.null || a.text == b.text);
    }
};

struct FieldChange {
    QString column;
    CellValue before;
    CellValue after;  // filled when the row's group is about to commit
};

// What the worker writer tells about the rows it stores during a run, so
// that the run can be kept on record and undone. Called only between the
// writer's beginRun and endRun of a run that commits; never raises.
class RowRecorder {
public:
    virtual ~RowRecorder() = default;
    // The write pass starts (before its first group commits).
    virtual void runStarts() = 0;
    // The next worksheet row, this one of the sheet, is handed to the writer.
    virtual void nextRow(int sheetRow) = 0;
    // An update is about to change these columns of the worker: their
    // values now (one indexed read).
    virtual QList<FieldChange> fieldsBefore(const QString& workerid, const QStringList& columns) = 0;
    virtual void rowAdded(qint64 wkid, const QString& workerid) = 0;
    // The same, with the insert just run: a recorder may take the stored
    // row from the values it bound instead of reading the row back.
    virtual void rowAdded(qint64 wkid, const QString& workerid, const Query& insert)
    {
        (void)insert;
        rowAdded(wkid, workerid);
    }
    virtual void rowUpdated(const QString& workerid, const QList<FieldChange>& changes) = 0;
};
