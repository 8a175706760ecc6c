// ostrel-import-cli undo: undoes one recorded import run, as the records
// window's 撤销本次导入 does; --check only tells what it would do.

#include "cli/Command.h"
#include "data/UserDMUnit.h"
#include "login/LoginCheck.h"
#include "platform/Dialogs.h"
#include "platform/Shell.h"
#include "platform/db/Query.h"
#include "records/RunRecords.h"
#include "records/RunUndo.h"
#include "services/userGlobal.h"

#include <QFileInfo>

#include <iostream>
#include <string>

namespace {

void declare(QCommandLineParser& p)
{
    p.addOptions({
        {QStringLiteral("run"), QStringLiteral("The run to undo (its id, as history prints it). Required."),
         QStringLiteral("ID")},
        {QStringLiteral("db"), QStringLiteral("The local database file the run wrote to."), QStringLiteral("FILE")},
        {QStringLiteral("settings-dir"),
         QStringLiteral("Connects as a program installed in DIR would (a server database)."), QStringLiteral("DIR")},
        {QStringLiteral("user"), QStringLiteral("The login id. Needed when the database has users."),
         QStringLiteral("ID")},
        {QStringLiteral("password-stdin"), QStringLiteral("Reads the password from the first line of standard input.")},
        {QStringLiteral("check"), QStringLiteral("Only prints what the undo would do; changes nothing.")},
    });
}

// As the import command logs in (its helpers are its own).
bool logIn(const QCommandLineParser& opts)
{
    Query& q = UserDM->QryFree;
    q.close();
    q.clear();
    q.add(QStringLiteral("Select Count(*) As UserCount From Sys_User "));
    q.open();
    const bool needUser = q.fieldInteger(QStringLiteral("UserCount")) != 0;
    q.close();
    QString user, password;
    if (needUser) {
        if (!opts.isSet(QStringLiteral("user")))
            throw CliUsageError(QStringLiteral("this database has users: give --user ID"));
        if (!opts.isSet(QStringLiteral("password-stdin")))
            throw CliUsageError(QStringLiteral("give the password on standard input with --password-stdin"));
        user = opts.value(QStringLiteral("user"));
        std::string line;
        std::getline(std::cin, line);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        password = QString::fromStdString(line);
    }
    return CheckLogin(user, password) == LoginOutcome::Accepted;
}

int run(const QCommandLineParser& opts)
{
    if (!opts.isSet(QStringLiteral("run")) || opts.isSet(QStringLiteral("db")) == opts.isSet(QStringLiteral("settings-dir"))
        || !opts.positionalArguments().isEmpty())
        throw CliUsageError(QStringLiteral("--run and one of --db and --settings-dir are required"));
    bool ok = false;
    const qint64 id = opts.value(QStringLiteral("run")).toLongLong(&ok);
    if (!ok)
        throw CliUsageError(QStringLiteral("--run needs a run id"));

    StderrDialogs dialogs;
    DialogSeam* previous = Dialogs::install(&dialogs);
    struct Restore {
        DialogSeam* seam;
        ~Restore() { Dialogs::install(seam); }
    } restore{previous};
    TUserDM dm;
    UserDM = &dm;
    struct Clear {
        ~Clear() { UserDM = nullptr; }
    } clear;

    if (opts.isSet(QStringLiteral("db"))) {
        const QString file = QFileInfo(opts.value(QStringLiteral("db"))).absoluteFilePath();
        TSetValue.ConnectOption = 1;
        TSetValue.DbFileName = file;
        dm.ConnectionString = TUserDM::localConnectionString(file);
    } else {
        Shell::overrideExecutableDirectory(QFileInfo(opts.value(QStringLiteral("settings-dir"))).absoluteFilePath());
        TSetValue.AppPath = Shell::executableDirectory();
        if (!QFileInfo::exists(TUserDM::settingsPath())) {
            cliError(QStringLiteral("settings file not found: %1").arg(TUserDM::settingsPath()));
            return 1;
        }
        dm.ReadConnectSettings();
    }
    try {
        dm.ADOConnection1.setConnected(false);
        dm.ADOConnection1.setConnectionString(dm.ConnectionString);
        dm.ADOConnection1.setConnected(true);
    } catch (const std::exception& e) {
        cliError(QStringLiteral("连接数据库失败: %1").arg(errorText(e)));
        return 1;
    }
    if (!logIn(opts))
        return 1;

    RunRecords records;
    const RunUndo::Plan plan = opts.isSet(QStringLiteral("check"))
        ? RunUndo::plan(dm.ADOConnection1, records, id)
        : RunUndo::apply(dm.ADOConnection1, records, id, TUser.UserID);
    for (const QString& line : plan.keptLines())
        cliOut(line);
    if (opts.isSet(QStringLiteral("check")))
        cliError(plan.question());
    else
        cliError(QStringLiteral("已撤销：删除 %1 人，恢复 %2 人的 %3 项资料；%4 人导入后已被修改，未撤销。")
                     .arg(plan.deleted)
                     .arg(plan.restoredPeople)
                     .arg(plan.restoredFields)
                     .arg(plan.kept.size()));
    return 0;
}

int runGuarded(const QCommandLineParser& p)
{
    try {
        return run(p);
    } catch (const CliUsageError&) {
        throw;
    } catch (const std::exception& e) {
        cliError(errorText(e));
        return 1;
    }
}

const CliCommandRegistrar registrar({"undo", "undo --run ID (--db FILE | --settings-dir DIR) [--user ID] [--password-stdin] [--check]",
                                     "Undoes a recorded import run: deletes the rows it stored, or puts back the "
                                     "fields it changed, where nothing changed them since.",
                                     declare, runGuarded});

} // namespace
