#include "platform/db/Connection.h"

#include "platform/Errors.h"
#include "platform/db/ConnectionString.h"
#include "platform/db/DbFailures.h"
#include "platform/db/Query.h"
#include "platform/db/WalCheckpointer.h"
#include "platform/db/WriteSession.h"

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

// psqlODBC by default wraps every statement of a transaction in a savepoint
// of its own, one more round trip each; a write session sets savepoints
// only where a later failure needs one (WriteSession.h). The last
// occurrence of a key counts, so this overrides the settings' Options.
// (isPsqlOdbc tells the driver: ConnectionString.h.)
QString withNoDriverRollback(QString options)
{
    if (!options.isEmpty() && !options.endsWith(u';'))
        options += u';';
    return options + QStringLiteral("Protocol=7.4-0;");
}

} // namespace

Connection::Connection()
    : qtName_(QStringLiteral("ostrel-connection-%1").arg(g_counter.fetchAndAddRelaxed(1)))
{
}

Connection::~Connection()
{
    close();
    if (session_)
        session_->connectionGone();
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
    if (session_)
        session_->connectionClosing();
    // Before the file closes: the writer's connection must be the last.
    checkpointer_.reset();
    wal_ = false;
    sqlite_ = nullptr;
    odbc_ = nullptr;
    dbms_ = Dbms::None;
    odbcTransaction_ = false;
    direct_.clear();
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
    dbms_ = Dbms::Sqlite;
    localFile_ = absolute;

    {
        // A file that is not a database opens fine and fails at first read.
        QSqlQuery check(db);
        if (!check.exec(QStringLiteral("PRAGMA schema_version")) || !check.next()) {
            auto* handle = static_cast<sqlite3*>(sqliteHandle());
            const int code = handle ? sqlite3_extended_errcode(handle) : SQLITE_NOTADB;
            const QString text = handle ? QString::fromUtf8(sqlite3_errmsg(handle)) : QString();
            check.finish();
            check = QSqlQuery();
            sqlite_ = nullptr;
            dbms_ = Dbms::None;
            db.close();
            const int primary = code & 0xFF;
            if (primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT || primary == SQLITE_OK)
                throw DbError(QStringLiteral("Unrecognized database format '%1'.").arg(source), SQLITE_NOTADB);
            // A WAL file whose folder cannot be written fails here: say so,
            // not that the file is damaged.
            QString where;
            if (primary == SQLITE_READONLY || primary == SQLITE_CANTOPEN || primary == SQLITE_IOERR) {
                DbFailures::Failure unavailable;
                unavailable.kind = DbFailures::Kind::FileUnavailable;
                where = DbFailures::stopCause(unavailable, absolute) + QStringLiteral("。\n");
            }
            throw DbError(where + QStringLiteral("Cannot open the file '%1': %2").arg(source, text),
                          where.isEmpty() ? code : SQLITE_CANTOPEN);
        }
        check.finish();
        if (check.exec(QStringLiteral("PRAGMA journal_mode")) && check.next()
            && check.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0) {
            wal_ = true;
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
        // A group of rows (WriteSession) must fit in the page cache: a spill
        // in the middle of a rollback-journal transaction costs disk syncs
        // and the exclusive lock. This is the connection's, not the file's.
        check.exec(QStringLiteral("PRAGMA cache_size=-32768"));
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
    db.setDatabaseName(odbcConnectionString(provider, driver,
                                            isPsqlOdbc(driver) ? withNoDriverRollback(odbcOptions_) : odbcOptions_));
    db.setConnectOptions(QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=5"));
    if (!db.open())
        throw DbError(providerText(db.lastError()), QStringLiteral("08001"));
    driver_ = QStringLiteral("QODBC");
    switch (db.driver()->dbmsType()) {
    case QSqlDriver::PostgreSQL:
        dbms_ = Dbms::PostgreSql;
        break;
    case QSqlDriver::MSSqlServer:
        dbms_ = Dbms::SqlServer;
        break;
    default:
        dbms_ = Dbms::OtherOdbc;
    }

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

void* Connection::odbcHandle() const
{
    if (odbc_)
        return odbc_;
    if (driver_ != QLatin1String("QODBC") || dbms_ == Dbms::None)
        return nullptr;
    // Qt's ODBC driver hands over its SQLHDBC as a void*.
    const QVariant h = database().driver()->handle();
    if (!h.isValid() || h.metaType() != QMetaType::fromType<void*>())
        return nullptr;
    odbc_ = *static_cast<void* const*>(h.constData());
    return odbc_;
}

void Connection::backgroundCheckpoints(bool on)
{
    if (!on)
        checkpointer_.reset();
    else if (!checkpointer_ && wal_ && dbms_ == Dbms::Sqlite && sqliteHandle())
        checkpointer_ = std::make_unique<WalCheckpointer>(static_cast<sqlite3*>(sqliteHandle()));
}

bool Connection::inTransaction() const
{
    if (dbms_ == Dbms::Sqlite) {
        auto* db = static_cast<sqlite3*>(sqliteHandle());
        return db && !sqlite3_get_autocommit(db);
    }
    return odbcTransaction_;
}

void Connection::beginTransaction(bool write)
{
    if (dbms_ == Dbms::Sqlite) {
        executeDirect(write ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN"));
        return;
    }
    QSqlDatabase db = database();
    if (dbms_ == Dbms::None)
        throw DbError(QStringLiteral("Operation is not allowed when the object is closed."), QStringLiteral("08003"));
    if (!db.transaction())
        throw DbError(providerText(db.lastError()));
    odbcTransaction_ = true;
}

void Connection::commitTransaction()
{
    if (dbms_ == Dbms::Sqlite) {
        auto* db = static_cast<sqlite3*>(sqliteHandle());
        if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
            const DbError error(QString::fromUtf8(sqlite3_errmsg(db)), sqlite3_extended_errcode(db));
            rollbackTransaction();
            throw error;
        }
        if (checkpointer_)
            checkpointer_->committed();
        return;
    }
    if (!odbcTransaction_)
        return;
    QSqlDatabase db = database();
    if (!db.commit()) {
        const QString text = providerText(db.lastError());
        rollbackTransaction();
        throw DbError(text);
    }
    odbcTransaction_ = false;
}

void Connection::rollbackTransaction()
{
    if (dbms_ == Dbms::Sqlite) {
        auto* db = static_cast<sqlite3*>(sqliteHandle());
        if (db && !sqlite3_get_autocommit(db))
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        return;
    }
    if (odbcTransaction_)
        database().rollback();
    odbcTransaction_ = false;
}

void Connection::executeDirect(const QString& sql)
{
    if (dbms_ == Dbms::Sqlite) {
        auto* db = static_cast<sqlite3*>(sqliteHandle());
        if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
            throw DbError(QString::fromUtf8(sqlite3_errmsg(db)), sqlite3_extended_errcode(db));
        return;
    }
    if (dbms_ == Dbms::None)
        throw DbError(QStringLiteral("Operation is not allowed when the object is closed."), QStringLiteral("08003"));
    // Prepared once: a statement run by text gets a new handle every time,
    // which costs psqlODBC more than the round trip.
    std::unique_ptr<QSqlQuery>& q = direct_[sql];
    if (!q) {
        q = std::make_unique<QSqlQuery>(database());
        if (!q->prepare(sql)) {
            const DbError error = DbFailures::odbcError(*q, providerText(q->lastError()));
            q.reset();
            throw error;
        }
    }
    if (!q->exec()) {
        const DbError error = DbFailures::odbcError(*q, providerText(q->lastError()));
        q->finish();
        throw error;
    }
    q->finish();
}

Transaction::Transaction(Connection* connection, Kind kind)
{
    // Inside someone else's transaction there is nothing to group.
    if (!connection || connection->dbms() == Connection::Dbms::None || connection->inTransaction())
        return;
    connection->beginTransaction(kind == Write);
    connection_ = connection;
}

Transaction::~Transaction()
{
    try {
        commit();
    } catch (const std::exception&) {
        // Rolled back already; a destructor has no one to tell.
    }
}

void Transaction::commit()
{
    Connection* c = connection_;
    connection_ = nullptr;
    if (c && c->inTransaction())
        c->commitTransaction();
}
