#include "support/TestDatabase.h"

#include "data/LocalDatabase.h"
#include "data/UserDMUnit.h"
#include "services/userGlobal.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

TestDatabase::TestDatabase(bool demo)
    : path_(dir_.file(QStringLiteral("Wage.VRD")))
    , checkConnection_(QStringLiteral("check-%1").arg(QUuid::createUuid().toString()))
{
    createLocalDatabase(path_, demo);
    ResetGlobalRecords();
    UserDM = new TUserDM;
    UserDM->ConnectionString = TUserDM::localConnectionString(path_);
    UserDM->ADOConnection1.setConnectionString(UserDM->ConnectionString);
    UserDM->ADOConnection1.setConnected(true);

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), checkConnection_);
    db.setDatabaseName(path_);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    EXPECT_TRUE(db.open()) << db.lastError().text().toStdString();
}

TestDatabase::~TestDatabase()
{
    delete UserDM;
    UserDM = nullptr;
    {
        QSqlDatabase db = QSqlDatabase::database(checkConnection_, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(checkConnection_);
}

void TestDatabase::exec(const QString& sql)
{
    QSqlQuery q(QSqlDatabase::database(checkConnection_));
    EXPECT_TRUE(q.exec(sql)) << sql.toStdString() << ": " << q.lastError().text().toStdString();
}

QVariant TestDatabase::scalar(const QString& sql)
{
    QSqlQuery q(QSqlDatabase::database(checkConnection_));
    EXPECT_TRUE(q.exec(sql)) << sql.toStdString() << ": " << q.lastError().text().toStdString();
    return q.next() ? q.value(0) : QVariant();
}

void TestDatabase::addDepartment(const QString& number, const QString& name)
{
    QSqlQuery q(QSqlDatabase::database(checkConnection_));
    q.prepare(QStringLiteral("insert into Sys_dept(DeptNO, DeptName) values (?, ?)"));
    q.addBindValue(number);
    q.addBindValue(name);
    EXPECT_TRUE(q.exec()) << q.lastError().text().toStdString();
}

void TestDatabase::addUser(const QString& id, const QString& name, const QVariant& password)
{
    QSqlQuery q(QSqlDatabase::database(checkConnection_));
    q.prepare(QStringLiteral("insert into Sys_User(UserID, UserName, PassWd) values (?, ?, ?)"));
    q.addBindValue(id);
    q.addBindValue(name);
    q.addBindValue(password);
    EXPECT_TRUE(q.exec()) << q.lastError().text().toStdString();
}
