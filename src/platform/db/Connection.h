#pragma once

#include <QSqlDatabase>
#include <QString>

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

    // Connected := true opens (throws DbError on failure); false closes.
    void setConnected(bool connected);
    bool connected() const;

    // The Qt connection, for queries; valid while connected.
    QSqlDatabase database() const;
    // "QSQLITE" or "QODBC" once opened.
    QString driverName() const;

private:
    QString connectionString_;
    QString defaultDatabase_;
    QString qtName_;
};
