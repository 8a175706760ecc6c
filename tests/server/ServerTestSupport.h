#pragma once

#include "platform/db/ConnectionString.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

#include <unistd.h>

#include <gtest/gtest.h>

// The throwaway PostgreSQL server that the test fixture started
// (tests/server/pg-server.sh); its facts come from OSTREL_PG_ENV.
struct PgServer {
    QString host, port, user, password, templateName;

    // Null when no server was started (the binary run outside ctest).
    static const PgServer* get()
    {
        static const PgServer* server = [] () -> const PgServer* {
            QFile f(QStringLiteral(OSTREL_PG_ENV));
            if (!f.open(QIODevice::ReadOnly))
                return nullptr;
            auto* s = new PgServer;
            for (const QByteArray& raw : f.readAll().split('\n')) {
                const QString line = QString::fromUtf8(raw);
                const qsizetype eq = line.indexOf(u'=');
                if (eq < 0)
                    continue;
                const QString key = line.left(eq), value = line.mid(eq + 1);
                if (key == QLatin1String("PG_HOST")) s->host = value;
                else if (key == QLatin1String("PG_PORT")) s->port = value;
                else if (key == QLatin1String("PG_USER")) s->user = value;
                else if (key == QLatin1String("PG_PASSWORD")) s->password = value;
                else if (key == QLatin1String("PG_TEMPLATE")) s->templateName = value;
            }
            if (s->port.isEmpty()) {
                delete s;
                return nullptr;
            }
            return s;
        }();
        return server;
    }
};

// psqlODBC options for MyConnect.ini: the port, plus the extra options of
// the test. With the driver's defaults text parameters go to the server as
// untyped values of a prepared statement; UseServerSidePrepare=0 puts them
// into the statement as quoted literals. Either way PostgreSQL converts them
// to the column's date or numeric type, as SQL Server does.
inline QString pgOptions(const QString& port, const QString& extra = QString())
{
    return QStringLiteral("Port=%1;").arg(port) + extra;
}

#define REQUIRE_PG_SERVER()                                                                \
    do {                                                                                   \
        if (!PgServer::get())                                                              \
            GTEST_SKIP() << "no PostgreSQL server: run through ctest (pg-server fixture)"; \
    } while (0)

// A database of its own for one test, copied from the schema template and
// dropped afterwards; exec and scalar reach it directly, not through the
// program.
class ServerDatabase {
public:
    ServerDatabase()
    {
        static int counter = 0;
        const PgServer& s = *PgServer::get();
        name_ = QStringLiteral("t_%1_%2").arg(::getpid()).arg(++counter);
        admin(QStringLiteral("CREATE DATABASE %1 TEMPLATE %2").arg(name_, s.templateName));
        qtName_ = QStringLiteral("check-") + name_;
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), qtName_);
        db.setDatabaseName(odbcString(name_));
        if (!db.open())
            ADD_FAILURE() << db.lastError().text().toStdString();
    }
    ~ServerDatabase()
    {
        QSqlDatabase::database(qtName_, false).close();
        QSqlDatabase::removeDatabase(qtName_);
        admin(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(name_));
    }

    QString name() const { return name_; }

    static QString odbcString(const QString& database)
    {
        const PgServer& s = *PgServer::get();
        return QStringLiteral("DRIVER={PostgreSQL Unicode};SERVER=%1;DATABASE=%2;UID=%3;PWD=%4;")
                   .arg(s.host, database, s.user, odbcValue(s.password))
            + pgOptions(s.port);
    }

    void exec(const QString& sql)
    {
        QSqlQuery q(QSqlDatabase::database(qtName_, false));
        if (!q.exec(sql))
            ADD_FAILURE() << sql.toStdString() << ": " << q.lastError().text().toStdString();
    }
    QVariant scalar(const QString& sql)
    {
        QSqlQuery q(QSqlDatabase::database(qtName_, false));
        if (!q.exec(sql) || !q.next()) {
            ADD_FAILURE() << sql.toStdString() << ": " << q.lastError().text().toStdString();
            return {};
        }
        return q.value(0);
    }
    QString text(const QString& sql) { return scalar(sql).toString(); }
    qint64 count(const QString& sql) { return scalar(sql).toLongLong(); }

    void addDepartments()
    {
        exec(QStringLiteral("insert into Sys_dept values ('01','人事部'),('02','财务部'),('03','技术部'),"
                            "('04','销售部'),('05','生产部'),('06','行政部')"));
    }
    void addUser(const QString& id, const QString& name, const QString& password)
    {
        exec(QStringLiteral("insert into Sys_User values ('%1','%2','%3')").arg(id, name, password));
    }

    // MyConnect.ini in server mode pointing at this database.
    void writeSettings(const QString& dir, const QString& password, const QString& server = QString(),
                       const QString& port = QString(), const QString& extraOptions = QString()) const
    {
        const PgServer& s = *PgServer::get();
        QFile f(dir + QStringLiteral("/MyConnect.ini"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        const QString text = QStringLiteral("[Connect]\nConnectOption=0\n[DataBase]\nServerName=%1\nDataBaseName=%2\n"
                                            "UserName=%3\nPassword=%4\nDriver=PostgreSQL Unicode\nOptions=%5\n")
                                 .arg(server.isEmpty() ? s.host : server, name_, s.user, password,
                                      pgOptions(port.isEmpty() ? s.port : port, extraOptions));
        f.write(text.toUtf8());  // ASCII, so the same bytes in GBK
    }

private:
    static void admin(const QString& sql)
    {
        const QString conn = QStringLiteral("pg-admin");
        {
            QSqlDatabase db = QSqlDatabase::contains(conn) ? QSqlDatabase::database(conn, false)
                                                           : QSqlDatabase::addDatabase(QStringLiteral("QODBC"), conn);
            if (!db.isOpen()) {
                db.setDatabaseName(odbcString(QStringLiteral("postgres")));
                if (!db.open()) {
                    ADD_FAILURE() << db.lastError().text().toStdString();
                    return;
                }
            }
            QSqlQuery q(db);
            if (!q.exec(sql))
                ADD_FAILURE() << sql.toStdString() << ": " << q.lastError().text().toStdString();
        }
    }

    QString name_;
    QString qtName_;
};
