#include "data/LocalDatabase.h"

#include "platform/Errors.h"

#include <QAtomicInt>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Only ISO dates (with or without a time) are kept. IS rather than =, so that
// text date() cannot read (which gives null) is refused; '+0 days' makes
// SQLite carry 30 February over into March, so it no longer matches.
QString dateColumn(const QString& name)
{
    return QStringLiteral("  %1 TEXT CHECK (%1 IS NULL OR %1 IS date(%1, '+0 days')"
                          " OR %1 IS datetime(%1, '+0 days'))").arg(name);
}

QString textColumns(const QStringList& names)
{
    QStringList lines;
    for (const QString& n : names)
        lines << QStringLiteral("  %1 TEXT").arg(n);
    return lines.join(QStringLiteral(",\n"));
}

// The text keys compare as Jet and SQL Server compare them, without regard
// to the case of A-Z (the letters the password compare folds too); their
// indexes take the column's collation.
QString keyColumn(const QString& name)
{
    return QStringLiteral("  %1 TEXT COLLATE NOCASE").arg(name);
}

QAtomicInt g_counter;

} // namespace

QStringList localDatabaseSchema()
{
    QStringList columns;
    // The key is the table's own row key: one b-tree less to write for
    // every employee, and unique all the same.
    columns << QStringLiteral("  Wkid INTEGER PRIMARY KEY")
            << keyColumn(QStringLiteral("Workerid"))
            << textColumns({QStringLiteral("Wname"), QStringLiteral("NamePy"),
                            QStringLiteral("DeptNo"), QStringLiteral("DepName"), QStringLiteral("Sex"),
                            QStringLiteral("Nation"), QStringLiteral("Politics")})
            << dateColumn(QStringLiteral("BIrThday"))
            << textColumns({QStringLiteral("IdNumber"), QStringLiteral("Birthplace"), QStringLiteral("marriage"),
                            QStringLiteral("Education"), QStringLiteral("Skill"), QStringLiteral("JobTitle")})
            << dateColumn(QStringLiteral("BeginDate"))
            << dateColumn(QStringLiteral("NorMalDate"))
            << textColumns({QStringLiteral("BankName"), QStringLiteral("BankId"), QStringLiteral("EmployType")})
            // NUMERIC turns numeric text into a number; other text stays text
            // and fails the check.
            << QStringLiteral("  BaseWage NUMERIC CHECK (BaseWage IS NULL OR typeof(BaseWage) IN ('integer', 'real'))")
            << textColumns({QStringLiteral("ContactAddr"), QStringLiteral("Worktel1"), QStringLiteral("Worktel2"),
                            QStringLiteral("Remarks"), QStringLiteral("CurativeId"), QStringLiteral("CustodyOldId"),
                            QStringLiteral("Profession"), QStringLiteral("SchoolName")})
            << dateColumn(QStringLiteral("GraduateDate"))
            << textColumns({QStringLiteral("WageLevel"), QStringLiteral("WorkStatus"), QStringLiteral("ALanguage"),
                            QStringLiteral("leye"), QStringLiteral("reye")})
            << QStringLiteral("  BodyHigh NUMERIC")
            << QStringLiteral("  BodyWeight NUMERIC")
            << textColumns({QStringLiteral("Email"), QStringLiteral("FamilyTel"), QStringLiteral("JobAsses")})
            << dateColumn(QStringLiteral("LeaveDate"));

    return {
        QStringLiteral("CREATE TABLE Hrp_workers (\n") + columns.join(QStringLiteral(",\n")) + QStringLiteral("\n)"),
        QStringLiteral("CREATE UNIQUE INDEX UX_Hrp_workers_Workerid ON Hrp_workers (Workerid)"),
        QStringLiteral("CREATE TABLE Sys_dept (\n  DeptNO TEXT,\n") + keyColumn(QStringLiteral("DeptName")) + QStringLiteral("\n)"),
        QStringLiteral("CREATE INDEX IX_Sys_dept_DeptName ON Sys_dept (DeptName)"),
        // Exactly two columns: counters are inserted without naming them.
        QStringLiteral("CREATE TABLE Sys_SerialNo (\n") + keyColumn(QStringLiteral("SerialName")) + QStringLiteral(",\n  AValue INTEGER\n)"),
        QStringLiteral("CREATE UNIQUE INDEX UX_Sys_SerialNo_SerialName ON Sys_SerialNo (SerialName)"),
        QStringLiteral("CREATE TABLE Sys_User (\n") + keyColumn(QStringLiteral("UserID")) + QStringLiteral(",\n  UserName TEXT,\n  PassWd TEXT\n)"),
        QStringLiteral("CREATE INDEX IX_Sys_User_UserID ON Sys_User (UserID)"),
    };
}

QString localDatabaseScript()
{
    QString s = QStringLiteral("-- The local personnel database: ostrel-import-cli init-db FILE creates it.\n"
                               "-- Written by ostrel-import-cli schema; regenerate it rather than edit it.\n"
                               "PRAGMA page_size=16384;\n"
                               "PRAGMA journal_mode=WAL;\n\n");
    s += QStringLiteral("BEGIN;\n\n");
    for (const QString& stmt : localDatabaseSchema())
        s += stmt + QStringLiteral(";\n\n");
    s += QStringLiteral("COMMIT;\n");
    return s;
}

void createLocalDatabase(const QString& path, bool demo)
{
    if (path.isEmpty())
        throw Error(QStringLiteral("No database file given."));
    const QFileInfo info(path);
    if (info.exists() || info.isSymLink())
        throw Error(QStringLiteral("%1 already exists; it was left as it is.").arg(path));

    // O_EXCL: a file that appears meanwhile is still never touched. SQLite
    // takes an empty file as a new database.
    const QByteArray native = QFile::encodeName(path);
    // Private: it holds identity numbers, accounts and the login table;
    // SQLite gives its -wal and -shm the mode of the file.
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        const int err = errno;
        if (err == EEXIST)
            throw Error(QStringLiteral("%1 already exists; it was left as it is.").arg(path));
        throw Error(QStringLiteral("Cannot create %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(err))));
    }
    ::close(fd);

    const QString name = QStringLiteral("ostrel-create-%1").arg(g_counter.fetchAndAddRelaxed(1));
    QString failure;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        const QString absolute = QFileInfo(path).absoluteFilePath();
        db.setDatabaseName(QStringLiteral("file:") + QString::fromLatin1(QUrl::toPercentEncoding(absolute, "/"))
                           + QStringLiteral("?mode=rw"));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=5000"));
        if (!db.open()) {
            failure = db.lastError().text();
        } else {
            QSqlQuery q(db);
            const auto exec = [&](const QString& sql) {
                if (failure.isEmpty() && !q.exec(sql))
                    failure = q.lastError().text();
            };
            // Pages of 16 KB before the first is written: a bulk import of
            // realistic rows writes a tenth fewer pages and commits faster.
            exec(QStringLiteral("PRAGMA page_size=16384"));
            exec(QStringLiteral("PRAGMA journal_mode=WAL"));
            q.finish();
            exec(QStringLiteral("BEGIN"));
            for (const QString& stmt : localDatabaseSchema())
                exec(stmt);
            if (demo && failure.isEmpty()) {
                for (const DemoDepartment& dept : DemoDepartments) {
                    q.prepare(QStringLiteral("INSERT INTO Sys_dept (DeptNO, DeptName) VALUES (?, ?)"));
                    q.addBindValue(QString::fromUtf8(dept.number));
                    q.addBindValue(QString::fromUtf8(dept.name));
                    if (!q.exec())
                        failure = q.lastError().text();
                }
                q.prepare(QStringLiteral("INSERT INTO Sys_User (UserID, UserName, PassWd) VALUES (?, ?, ?)"));
                q.addBindValue(QString::fromUtf8(DemoUserId));
                q.addBindValue(QString::fromUtf8(DemoUserName));
                q.addBindValue(QString::fromUtf8(DemoPassword));
                if (failure.isEmpty() && !q.exec())
                    failure = q.lastError().text();
            }
            exec(failure.isEmpty() ? QStringLiteral("COMMIT") : QStringLiteral("ROLLBACK"));
            q.finish();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    if (!failure.isEmpty()) {
        // The file is ours and half made: take it away again.
        QFile::remove(path);
        QFile::remove(path + QStringLiteral("-wal"));
        QFile::remove(path + QStringLiteral("-shm"));
        throw Error(QStringLiteral("Cannot create %1: %2").arg(path, failure));
    }
}
