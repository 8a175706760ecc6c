#include "import/RowPrefetch.h"

#include "import/SpreadsheetLink.h"

RowPrefetch::RowPrefetch(SpreadsheetLink& link, const Columns& columns, int firstRow)
    : link_(link)
    , columns_(columns)
    , next_(firstRow)
{
    thread_ = std::thread([this, firstRow] {
        for (int r = firstRow;; ++r) {
            Row row;
            for (int slot = 1; slot <= ImportRow::SlotCount && !row.failure; ++slot) {
                const int column = columns_[size_t(slot - 1)];
                if (column == 0)
                    continue;
                try {
                    row.texts[size_t(slot - 1)] = link_.ReadCellText(r, column);
                } catch (...) {
                    row.failedSlot = slot;
                    row.failure = std::current_exception();
                }
            }
            const bool last = row.failure || row.texts[0].isEmpty();
            std::unique_lock lock(mutex_);
            if (rows_.size() >= size_t(Ahead)) {
                readerWaits_ = true;
                changed_.wait(lock, [this] { return stop_ || rows_.size() <= size_t(Ahead - Batch); });
                readerWaits_ = false;
            }
            if (stop_)
                return;
            rows_.push_back(std::move(row));
            done_ = last;
            if (takerWaits_ && (last || rows_.size() >= size_t(Batch)))
                changed_.notify_all();
            if (last)
                return;
        }
    });
}

RowPrefetch::~RowPrefetch()
{
    stop();
}

bool RowPrefetch::take(int row, Row& into)
{
    std::unique_lock lock(mutex_);
    if (row != next_ || stop_)
        return false;
    if (rows_.empty() && !done_) {
        takerWaits_ = true;
        changed_.wait(lock, [this] { return rows_.size() >= size_t(Batch) || done_; });
        takerWaits_ = false;
    }
    if (rows_.empty())
        return false;
    into = std::move(rows_.front());
    rows_.pop_front();
    ++next_;
    if (readerWaits_ && rows_.size() <= size_t(Ahead - Batch))
        changed_.notify_all();
    return true;
}

void RowPrefetch::stop()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        rows_.clear();
    }
    changed_.notify_all();
    if (thread_.joinable())
        thread_.join();
}
