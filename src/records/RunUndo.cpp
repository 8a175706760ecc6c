#include "records/RunUndo.h"

#include "platform/Dialogs.h"
#include "platform/Errors.h"
#include "platform/db/Connection.h"
#include "records/PersonnelRows.h"
#include "records/RunRecorder.h"

#include <QSqlError>
#include <QSqlQuery>

namespace {
RunRecords::Run undoableRun(const Connection& connection, const RunRecords& records, qint64 id)
{
    const std::optional<RunRecords::Run> run = records.run(id);
    if (!run)
        throw Error(QStringLiteral("导入记录里没有编号为 %1 的导入。").arg(id));
    const QString why = RunUndo::refusal(connection, *run);
    if (!why.isEmpty())
        throw Error(why);
    return *run;
}

void execOrRaise(QSqlQuery& q)
{
    if (!q.exec())
        throw Error(q.lastError().text());
}

QVariant boundValue(const CellValue& c)
{
    return c.null ? QVariant(QMetaType(QMetaType::QString)) : QVariant(c.text);
}

// Walks the run's rows; with `write` (inside the transaction) it locks each
// row it reads and undoes what still holds the run's values.
RunUndo::Plan walk(Connection& connection, const RunRecords::Run& run, const QList<RunRecords::Row>& rows, bool write)
{
    RunUndo::Plan plan;
    plan.run = run.id;
    for (const RunRecords::Row& r : rows) {
        if (r.changes.isEmpty()) {
            if (r.digest.isEmpty()) {
                ++plan.missing;  // nothing usable on record
                continue;
            }
            const std::optional<QByteArray> now = PersonnelRows::rowDigest(connection, r.wkid, r.workerid, write, run.columns);
            if (!now) {
                ++plan.missing;
                continue;
            }
            const bool same = *now == r.digest;
            if (!same) {
                plan.kept << RunUndo::Kept{r.sheetRow, r.workerid};
                continue;
            }
            if (write) {
                QSqlQuery q(connection.database());
                q.prepare(QStringLiteral("delete from hrp_workers where Wkid=? and workerid=?"));
                q.addBindValue(r.wkid);
                q.addBindValue(r.workerid);
                execOrRaise(q);
            }
            ++plan.deleted;
            continue;
        }
        QStringList columns;
        for (const FieldChange& f : r.changes)
            columns << f.column;
        const QList<CellValue> now = PersonnelRows::fields(connection, r.workerid, columns, write);
        if (now.size() != r.changes.size()) {
            ++plan.missing;
            continue;
        }
        QList<const FieldChange*> back;
        bool changedSince = false;
        for (qsizetype i = 0; i < now.size(); ++i) {
            const FieldChange& f = r.changes[i];
            if (f.before == f.after || now[i] == f.before)
                continue;  // nothing to put back
            if (now[i] == f.after)
                back << &f;
            else
                changedSince = true;
        }
        if (changedSince)
            plan.kept << RunUndo::Kept{r.sheetRow, r.workerid};
        if (back.isEmpty()) {
            if (!changedSince)
                ++plan.missing;
            continue;
        }
        if (write) {
            for (const FieldChange* f : back) {
                QSqlQuery q(connection.database());
                // The column is one of the update's own (PersonnelRows::fields checked it).
                q.prepare(QStringLiteral("update hrp_workers set %1=? where workerid=?").arg(f->column));
                q.addBindValue(boundValue(f->before));
                q.addBindValue(r.workerid);
                execOrRaise(q);
            }
        }
        ++plan.restoredPeople;
        plan.restoredFields += int(back.size());
    }
    return plan;
}
} // namespace

QString RunUndo::Plan::question() const
{
    return QStringLiteral("将删除 %1 人，恢复 %2 人的 %3 项资料；%4 人导入后已被修改，不会撤销。确定撤销吗？")
        .arg(deleted)
        .arg(restoredPeople)
        .arg(restoredFields)
        .arg(kept.size());
}

QStringList RunUndo::Plan::keptLines() const
{
    QStringList out;
    for (const Kept& k : kept)
        out << QStringLiteral("第 %1 行 工号 %2：导入后已被修改，未撤销").arg(k.sheetRow).arg(k.workerid);
    return out;
}

QString RunUndo::refusal(const Connection& connection, const RunRecords::Run& run)
{
    if (run.kind != QStringLiteral("导入"))
        return QStringLiteral("这条记录是一次撤销，不能再撤销。");
    if (!run.undoneBy.isEmpty() || run.undoneAt.isValid())
        return QStringLiteral("这次导入已于 %1 由 %2 撤销过，不能再撤销。")
            .arg(run.undoneAt.toString(QStringLiteral("yyyy-MM-dd HH:mm")), run.undoneBy);
    if (run.database != recordedDatabaseName(connection))
        return QStringLiteral("这次导入写入的是另一个数据库（%1），请连接那个数据库后再撤销。").arg(run.database);
    return QString();
}

RunUndo::Plan RunUndo::plan(Connection& connection, const RunRecords& records, qint64 id)
{
    const RunRecords::Run run = undoableRun(connection, records, id);
    try {
        return walk(connection, run, records.rows(id), false);
    } catch (const Error&) {
        throw;
    } catch (const std::exception& e) {
        throw Error(QStringLiteral("无法读取数据库里这次导入的行，没有撤销任何数据。数据库的说明：%1").arg(errorText(e)));
    }
}

RunUndo::Plan RunUndo::apply(Connection& connection, RunRecords& records, qint64 id, const QString& userId)
{
    const RunRecords::Run run = undoableRun(connection, records, id);
    const QList<RunRecords::Row> rows = records.rows(id);
    RunRecords::Run undo;
    undo.kind = QStringLiteral("撤销");
    undo.started = QDateTime::currentDateTime();
    undo.userId = userId;
    undo.database = run.database;
    undo.workbook = run.workbook;
    undo.size = run.size;
    undo.sha256 = run.sha256;
    undo.sheet = run.sheet;
    undo.map = run.map;
    undo.mode = run.mode;
    undo.undoOf = run.id;
    undo.outcome = RunOutcome::Interrupted;
    const qint64 undoId = records.startRun(undo);

    Plan plan;
    try {
        connection.beginTransaction(true);
        try {
            plan = walk(connection, run, rows, true);
            connection.commitTransaction();
        } catch (...) {
            connection.rollbackTransaction();
            throw;
        }
    } catch (const std::exception& e) {
        records.endRun(undoId, 0, 0, RunOutcome::Failed);
        throw Error(QStringLiteral("撤销失败，数据库里没有任何改变。数据库的说明：%1").arg(errorText(e)));
    }
    records.markUndone(run.id, userId, QDateTime::currentDateTime());
    records.endRun(undoId, plan.deleted + plan.restoredPeople, int(plan.kept.size()), RunOutcome::Finished);
    return plan;
}

bool undoAfterConfirmation(Connection& connection, RunRecords& records, qint64 run, const QString& userId)
{
    const QString caption = QStringLiteral("提示");
    try {
        const RunUndo::Plan plan = RunUndo::plan(connection, records, run);
        if (!Dialogs::confirm(plan.question()))
            return false;
        const RunUndo::Plan done = RunUndo::apply(connection, records, run, userId);
        // Only what was done: an add run restores nothing, an update deletes nothing.
        QStringList parts;
        if (done.deleted > 0 || done.restoredPeople == 0)
            parts << QStringLiteral("删除 %1 人").arg(done.deleted);
        if (done.restoredPeople > 0)
            parts << QStringLiteral("恢复 %1 人的 %2 项资料").arg(done.restoredPeople).arg(done.restoredFields);
        QString text = QStringLiteral("已撤销：%1。").arg(parts.join(u'，'));
        if (!done.kept.isEmpty())
            text += u'\n' + done.keptLines().join(u'\n');
        Dialogs::messageBox(text, caption, MsgIcon::Information);
        return true;
    } catch (const std::exception& e) {
        Dialogs::messageBox(errorText(e), caption, MsgIcon::Error);
        return false;
    }
}
