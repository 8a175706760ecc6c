#pragma once

#include "platform/Errors.h"

#include <QElapsedTimer>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

class Connection;

// Groups the rows one import run writes into few transactions.
//
// Each row's statements still run one by one, as they always did; what
// changes is when they become lasting. beginRow() opens a group (a
// transaction; on a local file it takes the write lock at once, waiting up
// to the busy timeout) unless one is open. rowDone() commits the group once
// it is 250 ms old or holds 5,000 rows. commitNow() commits at once: before
// a box waits for the user, before a failure is reported. finish() (or the
// destructor) commits what is open when the run ends, by whatever path. A
// killed program therefore loses at most the open group, never part of a
// row, and importing the workbook again stores exactly what is missing.
//
// A failed statement leaves what it would leave without the group: its own
// effects undone, everything before it kept (earlier rows, and the earlier
// statements of its own row, such as a counter already raised). SQLite and
// SQL Server keep a transaction after a failed statement. PostgreSQL ends
// it: there the session keeps a savepoint, set after the group's first
// write and again after every RedoLimit writes, and the writes made since
// (statement and values). When a statement fails it rolls back to the
// savepoint and runs those writes again, which leaves the state before the
// failed statement: no other importer can have inserted in between, since
// the group holds the counter's row (HoldSerialValue), which every importer
// takes before it inserts; should a write not go through again, the group
// counts as lost (below). That costs a round trip per hundred rows instead
// of one per row; psqlODBC's own savepoint per statement, one more round
// trip each, is turned off by the connection.
//
// End::RollBack is the check: the same statements inside one transaction
// that is rolled back at the end and never committed, so the database,
// counters included, is left exactly as it was. rowDone() and commitNow()
// commit nothing then. A check on a local file holds the write lock for
// its whole length.
//
// Should the database end a group on its own (a full disk, a lost
// connection, a commit that fails), the rows of that group are gone. The
// session then rolls back, writes nothing more, and every later
// beginRow(), rowDone(), commitNow() and finish() raises Error saying
// so (a DbError with the database's codes where it gave them, so that the
// cause can be told), so that the run stops with a failure instead of
// reporting success.
//
// One session per connection at a time: a second one on the same
// connection stays inert. Statements run through Query tell the session
// about themselves; nothing else needs to.
class WriteSession {
public:
    enum class End { Commit, RollBack };
    static constexpr int MaxGroupRows = 5000;
    static constexpr qint64 MaxGroupMs = 250;
    static constexpr int RedoLimit = 100;

    explicit WriteSession(Connection& connection, End end = End::Commit);
    // finish(), errors swallowed.
    ~WriteSession();
    WriteSession(const WriteSession&) = delete;
    WriteSession& operator=(const WriteSession&) = delete;

    End end() const { return end_; }

    // Before a row's first statement. Raises DbError when no transaction can
    // be opened (the database is locked): that row fails, the run goes on.
    void beginRow();
    // After each row, outside the row's own error handling.
    void rowDone();
    void commitNow();
    void finish();

    bool groupOpen() const { return open_; }
    // True once a group was lost: nothing more is written.
    bool lost() const { return !lost_.isEmpty(); }
    // What the database said when it dropped the group, and the session's
    // own sentence about it (what the calls above raise).
    QString lostCause() const { return lostWhy_; }
    QString lostText() const { return lost_; }
    // Names the open group among all groups of all sessions: something kept
    // in memory for it (a counter's next value) holds while this stays.
    quint64 group() const { return group_; }
    // Runs inside the open group just before it commits (a counter's raise;
    // its failure fails the commit). Forgotten when the group ends.
    void beforeCommit(std::function<void()> action);

private:
    friend class Connection;
    friend class Query;
    using Redo = std::function<void()>;
    struct Write {
        const void* owner;
        Redo redo;
    };
    // True when a write should come with its Redo (PostgreSQL, group open).
    bool keepsRedo() const;
    void beforeStatement();
    void statementDone(bool wrote, Redo redo = {}, const void* owner = nullptr);
    void statementFailed() noexcept;
    // A query goes away: its writes can no longer be run again.
    void forget(const void* owner) noexcept;
    void setSavepoint();
    void connectionClosing() noexcept;
    void connectionGone() noexcept;

    void endGroup() noexcept;
    void commitGroup() noexcept;
    void loseGroup(const QString& why, const DbError* cause = nullptr) noexcept;
    void closeGroup() noexcept;
    void raiseIfLost() const;

    Connection* conn_;
    End end_;
    bool active_ = false;     // the connection's session
    bool open_ = false;       // a group (transaction) of ours is open
    int rows_ = 0;            // rows done in the group
    bool wrote_ = false;      // a statement of the group wrote something
    bool savepoint_ = false;  // PostgreSQL: our savepoint exists
    std::vector<Write> sinceSavepoint_;  // PostgreSQL
    bool incomplete_ = false;  // a write since the savepoint can't be redone
    quint64 group_ = 0;
    QElapsedTimer timer_;
    std::vector<std::function<void()>> beforeCommit_;
    QString lost_;
    QString lostWhy_;
    std::optional<DbError> cause_;  // what the database said when the group was lost
};
