#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QString>

#include <map>
#include <memory>

class ProviderString;
class QSqlQuery;
class Query;
class WalCheckpointer;
class WriteSession;

// The one database connection. It is given a provider connection string
// (Jet file or SQL Server, as the settings build it) and maps it onto Qt SQL:
// the Jet provider opens an existing SQLite file, the SQL Server provider an
// ODBC connection. Opening failures raise DbError with the provider's text.
class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void setConnectionString(const QString& connectionString);
    QString connectionString() const { return connectionString_; }

    // Catalogue made current right after the next opening (server mode).
    void setDefaultDatabase(const QString& name) { defaultDatabase_ = name; }
    QString defaultDatabase() const { return defaultDatabase_; }

    // ODBC driver name and extra attributes for the SQL Server provider
    // (MyConnect.ini DataBase/Driver and DataBase/Options).
    void setOdbcDriver(const QString& driver) { odbcDriver_ = driver; }
    QString odbcDriver() const { return odbcDriver_; }
    void setOdbcOptions(const QString& options) { odbcOptions_ = options; }
    QString odbcOptions() const { return odbcOptions_; }

    // Connected := true opens (throws DbError on failure); false closes.
    void setConnected(bool connected);
    bool connected() const;

    // The Qt connection, for queries; valid while connected.
    QSqlDatabase database() const;
    // "QSQLITE" or "QODBC" once opened.
    QString driverName() const;

    // The local database file as opened, or "" on a server.
    QString localFile() const { return dbms_ == Dbms::Sqlite ? localFile_ : QString(); }

    // The SQLite handle of a local file (sqlite3*), or null.
    void* sqliteHandle() const;
    // The ODBC driver's connection handle (SQLHDBC) on a server, or null.
    void* odbcHandle() const;

    // What answers behind the connection once opened.
    enum class Dbms { None, Sqlite, PostgreSql, SqlServer, OtherOdbc };
    Dbms dbms() const { return dbms_; }

    // One transaction at a time: on a local file straight on SQLite (a
    // write transaction takes the write lock at once, waiting up to the busy
    // timeout), on a server through the driver's manual-commit mode. Each
    // raises DbError with the provider's text; a failed commit rolls back.
    bool inTransaction() const;
    void beginTransaction(bool write);
    void commitTransaction();
    void rollbackTransaction();  // never raises
    // A statement without parameters or result, sent as it stands.
    void executeDirect(const QString& sql);

    // The session grouping this connection's writes, or null.
    WriteSession* writeSession() const { return session_; }
    // From now until the connection closes (or this is turned off), a
    // WAL-mode local file is checkpointed in the background after each
    // commit (WalCheckpointer); elsewhere this does nothing.
    void backgroundCheckpoints(bool on);

private:
    friend class Query;
    friend class WriteSession;
    void attach(Query* query);
    void detach(Query* query);
    void close();
    void openJet(const ProviderString& provider);
    void openSqlServer(const ProviderString& provider);

    QString connectionString_;
    QString defaultDatabase_;
    QString odbcDriver_ = QStringLiteral("FreeTDS");
    QString odbcOptions_;
    QString qtName_;
    QString localFile_;
    QString driver_;
    // Queries on this connection drop their prepared statements before it
    // closes, so that none outlives it.
    QList<Query*> queries_;
    mutable void* sqlite_ = nullptr;
    mutable void* odbc_ = nullptr;
    Dbms dbms_ = Dbms::None;
    std::map<QString, std::unique_ptr<QSqlQuery>> direct_;  // executeDirect on a server
    bool odbcTransaction_ = false;
    WriteSession* session_ = nullptr;
    bool wal_ = false;  // a local file in WAL mode
    std::unique_ptr<WalCheckpointer> checkpointer_;
};

// A few statements as one transaction, committed when the scope ends, also
// after a failed statement, so that what was done stays done as it would
// without the transaction (on PostgreSQL a failed statement undoes the
// whole scope: nothing that failed half-way stays). A write scope on a local
// file takes the write lock once instead of at every statement; a read scope
// takes none. Inside a transaction that is already open (a write session's
// group) it does nothing.
class Transaction {
public:
    enum Kind { Read, Write };
    Transaction(Connection* connection, Kind kind);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // Commits now (for example before a box waits for the user); raises
    // DbError when the commit fails.
    void commit();

private:
    Connection* connection_ = nullptr;  // set while this scope owns a transaction
};
