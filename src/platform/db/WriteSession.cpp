#include "platform/db/WriteSession.h"

#include "platform/Errors.h"
#include "platform/db/Connection.h"

#include <algorithm>

namespace {
const QString kSavepoint = QStringLiteral("SAVEPOINT ostrel_row");
const QString kNextSavepoint = QStringLiteral("RELEASE SAVEPOINT ostrel_row;SAVEPOINT ostrel_row");
const QString kBackToSavepoint = QStringLiteral("ROLLBACK TO SAVEPOINT ostrel_row");
} // namespace

WriteSession::WriteSession(Connection& connection, End end)
    : conn_(&connection)
    , end_(end)
{
    if (!connection.session_) {
        connection.session_ = this;
        active_ = true;
        if (end_ == End::Commit)
            connection.backgroundCheckpoints(true);
    }
}

WriteSession::~WriteSession()
{
    endGroup();
    // The checkpoints go on: the last group's is under way as the run ends.
    if (active_ && conn_)
        conn_->session_ = nullptr;
}

void WriteSession::raiseIfLost() const
{
    if (lost_.isEmpty())
        return;
    if (cause_) {
        if (cause_->sqliteCode() != 0)
            throw DbError(lost_, cause_->sqliteCode());
        throw DbError(lost_, cause_->sqlState(), cause_->nativeCode());
    }
    throw Error(lost_);
}

void WriteSession::beginRow()
{
    if (!active_ || !conn_)
        return;
    raiseIfLost();
    if (open_ && !conn_->inTransaction()) {
        // Ended behind our back.
        loseGroup(QStringLiteral("the transaction ended"));
        raiseIfLost();
    }
    if (open_)
        return;
    conn_->beginTransaction(true);
    open_ = true;
    static quint64 groups = 0;  // unique over all sessions
    group_ = ++groups;
    timer_.start();
}

void WriteSession::rowDone()
{
    if (!active_)
        return;
    raiseIfLost();
    if (!open_)
        return;
    ++rows_;
    if (end_ == End::Commit && (rows_ >= MaxGroupRows || timer_.elapsed() >= MaxGroupMs))
        commitGroup();
    raiseIfLost();
}

void WriteSession::commitNow()
{
    if (!active_)
        return;
    if (end_ == End::Commit && open_)
        commitGroup();
    raiseIfLost();
}

void WriteSession::finish()
{
    endGroup();
    raiseIfLost();
}

void WriteSession::beforeCommit(std::function<void()> action)
{
    if (open_)
        beforeCommit_.push_back(std::move(action));
}

void WriteSession::endGroup() noexcept
{
    if (!active_ || !open_)
        return;
    if (end_ == End::Commit) {
        commitGroup();
        return;
    }
    conn_->rollbackTransaction();
    closeGroup();
}

void WriteSession::commitGroup() noexcept
{
    try {
        // Moved out first: an action's own statements must not queue more.
        const auto actions = std::move(beforeCommit_);
        beforeCommit_.clear();
        for (const auto& action : actions)
            action();
        conn_->commitTransaction();
    } catch (const DbError& e) {
        loseGroup(errorText(e), &e);
        return;
    } catch (const std::exception& e) {
        loseGroup(errorText(e));
        return;
    }
    closeGroup();
}

void WriteSession::loseGroup(const QString& why, const DbError* cause) noexcept
{
    if (wrote_ && lost_.isEmpty()) {
        if (cause)
            cause_ = *cause;
        lostWhy_ = cause ? cause->text() : why;
        lost_ = QStringLiteral("数据库撤销了最近一组 %1 行的写入，这些行没有导入，后面的行也不再导入。"
                               "请再导入一次这个文件：已导入的行会列为已存在，其余的行会导入。数据库的说明：%2")
                    .arg(rows_)
                    .arg(why);
    }
    conn_->rollbackTransaction();
    closeGroup();
}

void WriteSession::closeGroup() noexcept
{
    open_ = false;
    rows_ = 0;
    wrote_ = false;
    savepoint_ = false;
    sinceSavepoint_.clear();
    incomplete_ = false;
    beforeCommit_.clear();
}

bool WriteSession::keepsRedo() const
{
    return active_ && open_ && savepoint_ && conn_->dbms() == Connection::Dbms::PostgreSql;
}

void WriteSession::setSavepoint()
{
    conn_->executeDirect(savepoint_ ? kNextSavepoint : kSavepoint);
    savepoint_ = true;
    sinceSavepoint_.clear();
    incomplete_ = false;
}

void WriteSession::beforeStatement()
{
    if (!active_ || !open_ || conn_->dbms() != Connection::Dbms::PostgreSql)
        return;
    // After the group's first write (the counter's hold: rolling back past
    // it would let another importer in), then every RedoLimit writes.
    if ((wrote_ && !savepoint_) || int(sinceSavepoint_.size()) >= RedoLimit || incomplete_)
        setSavepoint();
}

void WriteSession::statementDone(bool wrote, Redo redo, const void* owner)
{
    if (!active_ || !open_ || !wrote)
        return;
    wrote_ = true;
    if (!keepsRedo())
        return;
    if (redo)
        sinceSavepoint_.push_back({owner, std::move(redo)});
    else
        incomplete_ = true;
}

void WriteSession::forget(const void* owner) noexcept
{
    const auto gone = std::remove_if(sinceSavepoint_.begin(), sinceSavepoint_.end(),
                                     [owner](const Write& w) { return w.owner == owner; });
    if (gone != sinceSavepoint_.end()) {
        sinceSavepoint_.erase(gone, sinceSavepoint_.end());
        incomplete_ = true;
    }
}

void WriteSession::statementFailed() noexcept
{
    if (!active_ || !open_)
        return;
    if (!conn_->inTransaction()) {
        // SQLite rolls the whole transaction back on a few errors (a full
        // disk, an I/O error).
        loseGroup(QStringLiteral("the transaction was rolled back"));
        return;
    }
    if (conn_->dbms() != Connection::Dbms::PostgreSql)
        return;
    if (!savepoint_) {
        // Nothing written in the group before this statement, or the
        // savepoint after the first write failed.
        loseGroup(QStringLiteral("the transaction was aborted"));
        return;
    }
    try {
        if (incomplete_)
            throw Error(QStringLiteral("a write since the savepoint cannot be repeated"));
        conn_->executeDirect(kBackToSavepoint);
        const auto writes = std::move(sinceSavepoint_);
        sinceSavepoint_.clear();
        for (const Write& w : writes)
            w.redo();
        if (!writes.empty())
            setSavepoint();
    } catch (const std::exception& e) {
        loseGroup(errorText(e));
    }
}

void WriteSession::connectionClosing() noexcept
{
    endGroup();
}

void WriteSession::connectionGone() noexcept
{
    active_ = false;
    open_ = false;
    conn_ = nullptr;
}
