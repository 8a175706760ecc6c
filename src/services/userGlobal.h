#pragma once

#include <QByteArray>
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
// Hands out the next value of a named counter kept in Sys_SerialNo.
qint64 GetSerialValue(const QString& serialName);

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
