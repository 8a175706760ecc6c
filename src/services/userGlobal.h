#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

// Process-wide records of the running program, and the small shared routines
// of the import: department lookup, named counters, pinyin initials and the
// computer name.

struct SetValueRecord {
    QString AppPath;       // directory of the executable, no trailing "/"
    QString DbFileName;    // local database file
    qint32 ConnectOption = 0; // 1 = local file, else server
    QString ComputerName;
    QString DbPost;
};

struct UserRecord {
    QString UserID;
    QString UserName;
    QString PassWd;
};

extern SetValueRecord TSetValue;
extern UserRecord TUser;
extern const QString DefaultDbFileName; // "Wage.VRD"

// Resets both records to their start values (tests run many start-ups).
void ResetGlobalRecords();

// Number of the department of that name, or "" when Sys_dept has none.
// Database errors reach the caller.
QString GetDeptNo(const QString& deptName);

// While one lives (an import run), GetDeptNo asks the database once per
// department name and answers repeats from memory.
class DeptNoCache {
public:
    DeptNoCache();
    ~DeptNoCache();
    DeptNoCache(const DeptNoCache&) = delete;
    DeptNoCache& operator=(const DeptNoCache&) = delete;

private:
    friend QString GetDeptNo(const QString& deptName);
    DeptNoCache* outer_;
    QHash<QString, QString> numbers_;
};

// Hands out the next value of a named counter kept in Sys_SerialNo: 1 and a
// new row holding 2 at first use, then 2, 3, ... The raise comes first and
// takes the row's lock until the transaction ends, so two importers never
// draw one value. Inside a write session's group, only the group's first
// draw runs statements; later draws count on in memory under that lock and
// the group raises the counter by as many before it commits.
qint64 GetSerialValue(const QString& serialName);
// Inside a write session's open group: takes the counter's row for the
// group before its rows are checked (on a server an update that changes
// nothing; a local file's group holds the write lock already), so that
// another importer's rows are either committed and seen by the group's
// duplicate checks, or wait for this group. Draws of the group then come
// from memory. Nothing outside a group, or when the group holds it. In a
// check (a session that rolls back) no statement at all: its draws come
// from memory, from far below any real key, and nothing is kept.
void HoldSerialValue(const QString& serialName);
// On a server, before a run's groups: makes the counter's row when it has
// none yet, in a transaction of its own, holding 1, which the first draw
// raises to 2 as the first use would. Every group then takes the row's lock
// with its first statement; a row made inside a group would be taken after
// the group's savepoint, and a rollback to it would let a second importer
// draw the same values. When two importers start at once, one makes the row
// and the other's insert is refused. Nothing on a local file (its groups
// hold the file's write lock) or inside a transaction.
void PrepareSerialRow(const QString& serialName);

// The letter of one double-byte GBK character (first two bytes; a lone byte
// is read with a second byte of 0), or a blank.
char GetPyChar(const QByteArray& bytes);
// Initials of GBK bytes, cut to the first count characters.
QByteArray GetPyString(const QByteArray& bytes, int count);
// The same for Unicode text: ASCII passes unchanged, other characters by
// their GBK code; where that gives a blank (or GBK lacks the character), a
// Chinese character gets the initial of its Mandarin reading.
QString GetPyString(const QString& text, int count);

// This computer's name, or "(未知)".
QString GetLocalComputerName();
