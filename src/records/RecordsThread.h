#pragma once

#include "records/RunRecords.h"

#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// The records file's own thread: it opens RunRecords, runs the writes posted
// to it in order, and closes the file. An import hands its rows over and
// goes on; packing them and writing them to SQLite happen on the other core.
//
// The first write that fails ends the records (the file is closed, later
// writes are dropped) and is kept as the reason; nothing is raised to the
// thread that posts.
class RecordsThread {
public:
    using Write = std::function<void(RunRecords&)>;

    explicit RecordsThread(const QString& path);
    // Runs what is posted, then closes the file.
    ~RecordsThread();
    RecordsThread(const RecordsThread&) = delete;
    RecordsThread& operator=(const RecordsThread&) = delete;

    void post(Write write);
    // Waits until every write posted so far is done; why the records
    // failed, or "" while they have not.
    QString wait();

private:
    void run();

    QString path_;
    std::mutex mutex_;
    std::condition_variable posted_;
    std::condition_variable done_;
    std::deque<Write> writes_;
    bool busy_ = false;
    bool closing_ = false;
    QString failure_;
    std::thread thread_;
};
