#include "records/RecordsThread.h"

#include "platform/Errors.h"

RecordsThread::RecordsThread(const QString& path)
    : path_(path)
    , thread_([this] { run(); })
{
}

RecordsThread::~RecordsThread()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
    }
    posted_.notify_one();
    thread_.join();
}

void RecordsThread::post(Write write)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!failure_.isEmpty())
            return;
        writes_.push_back(std::move(write));
    }
    posted_.notify_one();
}

QString RecordsThread::wait()
{
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return writes_.empty() && !busy_; });
    return failure_;
}

void RecordsThread::run()
{
    // The Qt SQL connection belongs to the thread that opens it.
    std::unique_ptr<RunRecords> records;
    QString why;
    try {
        records = std::make_unique<RunRecords>(path_);
    } catch (const std::exception& e) {
        why = errorText(e);
    }
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (!why.isEmpty() && failure_.isEmpty()) {
            failure_ = why;
            writes_.clear();
            records.reset();
        }
        busy_ = false;
        done_.notify_all();
        posted_.wait(lock, [this] { return closing_ || !writes_.empty(); });
        if (writes_.empty())
            break;
        Write write = std::move(writes_.front());
        writes_.pop_front();
        busy_ = true;
        lock.unlock();
        try {
            write(*records);
        } catch (const std::exception& e) {
            why = errorText(e);
        } catch (...) {
            why = QStringLiteral("原因不明");
        }
        write = nullptr;  // what it held goes on this thread too
        lock.lock();
    }
    lock.unlock();
    records.reset();
}
