#include "platform/db/WalCheckpointer.h"

#include <sqlite3.h>

WalCheckpointer::WalCheckpointer(sqlite3* writer)
{
    const char* path = sqlite3_db_filename(writer, "main");
    if (!path || !*path)
        return;
    // Read-write without create: the file exists, or this does nothing.
    if (sqlite3_open_v2(path, &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close(db_);
        db_ = nullptr;
        return;
    }
    // A first read opens this connection's view of the journal, which a
    // checkpoint needs.
    sqlite3_exec(db_, "PRAGMA schema_version", nullptr, nullptr, nullptr);
    thread_ = std::thread([this] {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return pending_ || stop_; });
            if (stop_)
                return;
            pending_ = false;
            lock.unlock();
            sqlite3_wal_checkpoint_v2(db_, "main", SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
            lock.lock();
        }
    });
}

WalCheckpointer::~WalCheckpointer()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
    sqlite3_close(db_);
}

void WalCheckpointer::committed()
{
    if (!db_)
        return;
    {
        std::lock_guard lock(mutex_);
        pending_ = true;
    }
    wake_.notify_all();
}
