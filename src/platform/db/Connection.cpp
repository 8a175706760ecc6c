#include "platform/db/Connection.h"

#include "platform/Errors.h"
#include "platform/db/ConnectionString.h"
#include "platform/db/Query.h"

#include <QAtomicInt>
#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlDriver>
#include <QUrl>

#include <sqlite3.h>

namespace {

QAtomicInt g_counter;

QString providerText(const QSqlError& e)
{
    const QString db = e.databaseText().trimmed();
    return db.isEmpty() ? e.driverText().trimmed() : db;
}

} // namespace

Connection::Connection()
    : qtName_(QStringLiteral("ostrel-connection-%1").arg(g_counter.fetchAndAddRelaxed(1)))
{
}

Connection::~Connection()
{
    close();
    for (Query* q : std::as_const(queries_))
        q->connectionGone();
    if (QSqlDatabase::contains(qtName_))
        QSqlDatabase::removeDatabase(qtName_);
}

void Connection::attach(Query* query)
{
    queries_.append(query);
}

void Connection::detach(Query* query)
{
    queries_.removeAll(query);
}

void Connection::setConnectionString(const QString& connectionString)
{
    connectionString_ = connectionString;
}

bool Connection::connected() const
{
    return QSqlDatabase::contains(qtName_) && QSqlDatabase::database(qtName_, false).isOpen();
}

QSqlDatabase Connection::database() const
{
    return QSqlDatabase::database(qtName_, false);
}

QString Connection::driverName() const
{
    return driver_;
}

void Connection::close()
{
    sqlite_ = nullptr;
    for (Query* q : std::as_const(queries_))
        q->releaseStatements();
    if (QSqlDatabase::contains(qtName_)) {
        QSqlDatabase db = QSqlDatabase::database(qtName_, false);
        db.close();
    }
}

void Connection::setConnected(bool connected)
{
    if (!connected) {
        close();
        return;
    }
    if (this->connected())
        return;

    const ProviderString provider = ProviderString::parse(connectionString_);
    switch (providerKind(provider.value(QStringLiteral("Provider")))) {
    case ProviderKind::Jet:
        openJet(provider);
        break;
    case ProviderKind::SqlServer:
        openSqlServer(provider);
        break;
    case ProviderKind::Unknown:
        throw DbError(QStringLiteral("Provider cannot be found. It may not be properly installed."), QStringLiteral("IM002"));
    }
}

void Connection::openJet(const ProviderString& provider)
{
    const QString source = provider.value(QStringLiteral("Data Source"));
    const QFileInfo info(source);
    if (source.isEmpty() || !info.isFile())
        throw DbError(QStringLiteral("Could not find file '%1'.").arg(source), SQLITE_CANTOPEN);
    if (info.size() == 0)
        throw DbError(QStringLiteral("Unrecognized database format '%1'.").arg(source), SQLITE_NOTADB);

    // Open read-write through a URI with mode=rw: SQLite then never creates
    // the file, even if it vanished since the test above.
    const QString absolute = QDir::cleanPath(info.absoluteFilePath());
    const QString uri = QStringLiteral("file:")
        + QString::fromLatin1(QUrl::toPercentEncoding(absolute, "/")) + QStringLiteral("?mode=rw");

    if (QSqlDatabase::contains(qtName_) && database().driverName() != QLatin1String("QSQLITE"))
        QSqlDatabase::removeDatabase(qtName_);
    QSqlDatabase db = QSqlDatabase::contains(qtName_) ? database()
                                                      : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), qtName_);
    db.setDatabaseName(uri);
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=5000"));
    if (!db.open())
        throw DbError(QStringLiteral("Cannot open the file '%1': %2").arg(source, providerText(db.lastError())),
                      db.lastError().nativeErrorCode().toInt());
    driver_ = QStringLiteral("QSQLITE");

    {
        // A file that is not a database opens fine and fails at first read.
        QSqlQuery check(db);
        if (!check.exec(QStringLiteral("PRAGMA schema_version")) || !check.next()) {
            check.finish();
            check = QSqlQuery();
            db.close();
            throw DbError(QStringLiteral("Unrecognized database format '%1'.").arg(source), SQLITE_NOTADB);
        }
        check.finish();
        if (check.exec(QStringLiteral("PRAGMA journal_mode")) && check.next()
            && check.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0) {
            check.finish();
            check.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
            // Each checkpoint costs two disk syncs; a large import makes one
            // every few hundred rows at the default. The journal is cut back
            // to a few megabytes after each.
            check.finish();
            check.exec(QStringLiteral("PRAGMA wal_autocheckpoint=10000"));
            check.finish();
            check.exec(QStringLiteral("PRAGMA journal_size_limit=4194304"));
        }
        check.finish();
    }
}

void Connection::openSqlServer(const ProviderString& provider)
{
    if (QSqlDatabase::contains(qtName_) && database().driverName() != QLatin1String("QODBC"))
        QSqlDatabase::removeDatabase(qtName_);
    QSqlDatabase db = QSqlDatabase::contains(qtName_) ? database()
                                                      : QSqlDatabase::addDatabase(QStringLiteral("QODBC"), qtName_);
    if (!db.isValid())
        throw DbError(QStringLiteral("Provider cannot be found. It may not be properly installed."), QStringLiteral("IM002"));
    const QString driver = odbcDriver_.isEmpty() ? QStringLiteral("FreeTDS") : odbcDriver_;
    db.setDatabaseName(odbcConnectionString(provider, driver, odbcOptions_));
    db.setConnectOptions(QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=5"));
    if (!db.open())
        throw DbError(providerText(db.lastError()), QStringLiteral("08001"));
    driver_ = QStringLiteral("QODBC");

    // DATABASE= already selects the catalogue; only a different default
    // needs a statement of its own.
    const QString catalogue = provider.value(QStringLiteral("Initial Catalog"));
    if (!defaultDatabase_.isEmpty() && defaultDatabase_.compare(catalogue, Qt::CaseInsensitive) != 0) {
        QString name = defaultDatabase_;
        name.replace(u']', QStringLiteral("]]"));
        QSqlQuery use(db);
        if (!use.exec(QStringLiteral("USE [%1]").arg(name))) {
            const QString text = providerText(use.lastError());
            use = QSqlQuery();
            db.close();
            throw DbError(text, QStringLiteral("08001"));
        }
    }
}

void* Connection::sqliteHandle() const
{
    // Looked up once per opening: the lookup takes a global lock.
    if (sqlite_)
        return sqlite_;
    if (driver_ != QLatin1String("QSQLITE") || !connected())
        return nullptr;
    const QVariant h = database().driver()->handle();
    if (!h.isValid() || qstrcmp(h.typeName(), "sqlite3*") != 0)
        return nullptr;
    sqlite_ = *static_cast<sqlite3* const*>(h.constData());
    return sqlite_;
}

Transaction::Transaction(Connection* connection, Kind kind)
{
    auto* db = static_cast<sqlite3*>(connection ? connection->sqliteHandle() : nullptr);
    // Inside someone else's transaction there is nothing to group.
    if (!db || !sqlite3_get_autocommit(db))
        return;
    if (sqlite3_exec(db, kind == Write ? "BEGIN IMMEDIATE" : "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
        throw DbError(QString::fromUtf8(sqlite3_errmsg(db)), sqlite3_extended_errcode(db));
    db_ = db;
}

Transaction::~Transaction()
{
    auto* db = static_cast<sqlite3*>(db_);
    if (!db || sqlite3_get_autocommit(db))
        return;
    if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaction::commit()
{
    auto* db = static_cast<sqlite3*>(db_);
    db_ = nullptr;
    if (!db || sqlite3_get_autocommit(db))
        return;
    if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        const DbError error(QString::fromUtf8(sqlite3_errmsg(db)), sqlite3_extended_errcode(db));
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw error;
    }
}
