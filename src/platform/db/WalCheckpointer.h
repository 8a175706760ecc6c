#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

struct sqlite3;

// Copies the committed pages of a WAL-mode file into the database on a
// thread and connection of its own while an import writes, so that the
// disk syncs of those copies (checkpoints) overlap the writing instead of
// all coming at the end, when the last connection closes. Each checkpoint
// is SQLite's passive one: it never waits for the writer nor blocks it,
// copies only what is committed, and syncs the journal before and the
// database after, as the closing connection would. A checkpoint that
// cannot run now (busy) is simply left to the next one or to the close.
class WalCheckpointer {
public:
    // `writer` is the importing connection; its file must be in WAL mode.
    // Nothing runs when a second connection cannot be opened.
    explicit WalCheckpointer(sqlite3* writer);
    // Waits for a checkpoint under way and closes the second connection
    // (which never is the last one: the writer's close still cleans up).
    ~WalCheckpointer();
    WalCheckpointer(const WalCheckpointer&) = delete;
    WalCheckpointer& operator=(const WalCheckpointer&) = delete;

    // A group was committed: worth a checkpoint.
    void committed();

private:
    sqlite3* db_ = nullptr;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool pending_ = false;
    bool stop_ = false;
    std::thread thread_;
};
