// ostrel-import-cli undo: undoes one recorded import run, as the records
// window's 撤销本次导入 does; --check only tells what it would do.

#include "cli/Command.h"
#include "cli/CliSession.h"
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

int run(const QCommandLineParser& opts)
{
    if (!opts.isSet(QStringLiteral("run")) || opts.isSet(QStringLiteral("db")) == opts.isSet(QStringLiteral("settings-dir"))
        || !opts.positionalArguments().isEmpty())
        throw CliUsageError(QStringLiteral("请用 --run 给出要撤销的导入记录编号，并用 --db 或 --settings-dir（只用一个）给出数据库。"));
    bool ok = false;
    const qint64 id = opts.value(QStringLiteral("run")).toLongLong(&ok);
    if (!ok)
        throw CliUsageError(QStringLiteral("--run 要给出导入记录的编号（history 列出的第一栏）。"));

    StderrDialogs dialogs;
    CliDataModule module(dialogs);
    TUserDM& dm = module.dm;

    if (!connectCliDatabase(opts, dm) || !logInCli(opts))
        return CliFailed;

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
    return runReportingErrors(run, p);
}

const CliCommandRegistrar registrar({"undo", "undo --run ID (--db FILE | --settings-dir DIR) [--user ID] [--password-stdin] [--check]",
                                     "Undoes a recorded import run: deletes the rows it stored, or puts back the "
                                     "fields it changed, where nothing changed them since.",
                                     declare, runGuarded});

} // namespace
