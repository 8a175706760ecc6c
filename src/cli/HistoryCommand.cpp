// ostrel-import-cli history: the record of import runs kept for this user,
// newest first, or the rows of one run.

#include "cli/Command.h"
#include "cli/CliSession.h"
#include "records/RunRecords.h"

#include <QFileInfo>

namespace {

void declare(QCommandLineParser& p)
{
    p.addOptions({
        {QStringLiteral("db"), QStringLiteral("Only the runs into this local database file."), QStringLiteral("FILE")},
        {QStringLiteral("limit"), QStringLiteral("At most N runs (the newest)."), QStringLiteral("N")},
        {QStringLiteral("run"), QStringLiteral("Prints the rows the run stored instead of the runs."), QStringLiteral("ID")},
    });
}

QString modeText(const RunRecords::Run& r)
{
    if (r.kind != QStringLiteral("导入"))
        return QStringLiteral("撤销第 %1 次").arg(r.undoOf);
    return r.mode == 1 ? QStringLiteral("更新导入") : QStringLiteral("增加导入");
}

QString cellText(const CellValue& c)
{
    return c.null ? QStringLiteral("(空)") : c.text;
}

int run(const QCommandLineParser& p)
{
    if (!p.positionalArguments().isEmpty())
        throw CliUsageError(QStringLiteral("history 不接受其他参数。"));
    int limit = 0;
    if (p.isSet(QStringLiteral("limit"))) {
        bool ok = false;
        limit = p.value(QStringLiteral("limit")).toInt(&ok);
        if (!ok || limit < 1)
            throw CliUsageError(QStringLiteral("--limit 要给出大于 0 的整数。"));
    }
    RunRecords records;
    const int pruned = records.pruneBySetting();
    if (pruned > 0)
        cliError(QStringLiteral("已按设置删除 %1 条一年以前的导入记录").arg(pruned));

    if (p.isSet(QStringLiteral("run"))) {
        bool ok = false;
        const qint64 id = p.value(QStringLiteral("run")).toLongLong(&ok);
        if (!ok || !records.run(id)) {
            cliError(QStringLiteral("导入记录里没有编号为 %1 的导入。").arg(p.value(QStringLiteral("run"))));
            return 1;
        }
        for (const RunRecords::Row& r : records.rows(id)) {
            QStringList changes;
            for (const FieldChange& f : r.changes)
                changes << QStringLiteral("%1: %2 → %3").arg(f.column, cellText(f.before), cellText(f.after));
            cliOut(QStringLiteral("%1\t%2\t%3\t%4")
                       .arg(r.sheetRow)
                       .arg(r.changes.isEmpty() ? QString::number(r.wkid) : QString())
                       .arg(r.workerid, changes.join(QStringLiteral("; "))));
        }
        return 0;
    }

    const QString db = p.isSet(QStringLiteral("db")) ? QFileInfo(p.value(QStringLiteral("db"))).absoluteFilePath() : QString();
    for (const RunRecords::Run& r : records.runs(db.isEmpty() ? limit : 0)) {
        if (!db.isEmpty() && r.database != db)
            continue;
        const QString undone = r.undoneAt.isValid()
            ? QStringLiteral("已撤销（%1 %2）").arg(r.undoneBy, r.undoneAt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
            : QString();
        cliOut(QStringList{QString::number(r.id), r.started.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), r.userId,
                           r.workbook, modeText(r), QString::number(r.imported), QString::number(r.notImported),
                           r.outcome, undone, r.database}
                   .join(u'\t'));
        if (!db.isEmpty() && --limit == 0)
            break;
    }
    return 0;
}

int runGuarded(const QCommandLineParser& p)
{
    return runReportingErrors(run, p);
}

const CliCommandRegistrar registrar({"history", "history [--db FILE] [--limit N] | history --run ID",
                                     "Prints the record of import runs, newest first, one a line (tab-separated, run "
                                     "id first), or the rows one run stored.",
                                     declare, runGuarded});

} // namespace
