#pragma once

#include "records/RunRecords.h"

#include <QList>
#include <QString>

class Connection;

// Undoes one recorded import run on the database the program is connected
// to: an add run's rows are deleted while every column still holds what
// the run stored, an update run's fields get their old values back where
// they still hold what the run wrote. Anything changed since is kept and
// listed. All in one transaction: every undoable row, or none. The WKID
// counter is left alone (keys once drawn stay used).
//
// Refusals (no such run, already undone, an undo itself, another
// database) raise Error with a sentence for the clerk; so does a database
// failure, after rolling back.
class RunUndo {
public:
    struct Kept {
        int sheetRow = 0;
        QString workerid;
    };
    struct Plan {
        qint64 run = 0;
        int deleted = 0;         // people deleted (add run)
        int restoredPeople = 0;  // people with fields put back (update run)
        int restoredFields = 0;
        int missing = 0;         // rows no longer there, or already back
        QList<Kept> kept;        // changed since the import
        QString question() const;
        QStringList keptLines() const;
    };

    // What an undo would do now; changes nothing.
    static Plan plan(Connection& connection, const RunRecords& records, qint64 run);
    // Undoes it; then marks the run undone by the user and records the undo.
    static Plan apply(Connection& connection, RunRecords& records, qint64 run, const QString& userId);

    // Whether the run can be undone on this connection; "" when it can,
    // else why not.
    static QString refusal(const Connection& connection, const RunRecords::Run& run);
};

// The records window's "撤销本次导入": the summary in a confirmation box,
// then the undo, then one box with what was done or why nothing was. True
// when the run was undone.
bool undoAfterConfirmation(Connection& connection, RunRecords& records, qint64 run, const QString& userId);
