#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QString>

class ProviderString;
class Query;

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

private:
    friend class Query;
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
    QString driver_;
    // Queries on this connection drop their prepared statements before it
    // closes, so that none outlives it.
    QList<Query*> queries_;
};
