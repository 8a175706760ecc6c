#include "import/RowPrefetch.h"

#include "import/SpreadsheetLink.h"

RowPrefetch::RowPrefetch(SpreadsheetLink& link, const Columns& columns, int firstRow)
    : link_(link)
    , columns_(columns)
    , next_(firstRow)
{
    thread_ = std::thread([this, firstRow] {
        try {
            read(firstRow);
        } catch (...) {
            // Out of memory, say: the rows not handed over are read by the
            // taker, which then meets the same failure where it would have.
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        changed_.notify_all();
    });
}

void RowPrefetch::read(int firstRow)
{
    Rows batch;
    for (int r = firstRow;; ++r) {
        Row& row = batch.emplace_back();
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
        if (!last && batch.size() < size_t(Batch))
            continue;
        std::vector<Rows> spent;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return stop_ || batches_.size() < size_t(Ahead / Batch); });
            if (stop_)
                return;
            batches_.push_back(std::move(batch));
            done_ = last;
            spent.swap(spent_);
        }
        changed_.notify_all();
        if (last)
            return;
        batch = Rows();
        if (!spent.empty()) {
            // Keep one vector's room; its rows' texts are freed here.
            batch = std::move(spent.back());
            batch.clear();
        }
    }
}

RowPrefetch::~RowPrefetch()
{
    stop();
}

const RowPrefetch::Row* RowPrefetch::take(int row)
{
    if (row != next_)
        return nullptr;
    if (taken_ == taking_.size()) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return stop_ || !batches_.empty() || done_; });
        if (batches_.empty())
            return nullptr;
        if (!taking_.empty())
            spent_.push_back(std::move(taking_));
        taking_ = std::move(batches_.front());
        batches_.pop_front();
        taken_ = 0;
        changed_.notify_all();
    }
    ++next_;
    return &taking_[taken_++];
}

void RowPrefetch::stop()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        batches_.clear();
    }
    changed_.notify_all();
    if (thread_.joinable())
        thread_.join();
}
