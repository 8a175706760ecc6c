#pragma once

#include "import/ImportRow.h"

#include <QString>

#include <array>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

class SpreadsheetLink;

// Reads the write pass's cells as text a few hundred rows ahead, on a
// thread of its own, so that reading the workbook overlaps writing to the
// database. It only turns cells into text: the caller still asks the window
// for the column map at every row and takes a prefetched text only where
// the map is the one the rows were read with.
//
// While it runs it is the workbook's only reader (the caller reads nothing
// until stop()), so a sheet that keeps its last decoded row is never read
// from two threads at once. It stops after the first row whose worker number
// is empty, and after the first cell whose read raised: that row carries the
// error, and rows after it are never read, as the single-threaded pass would
// not read them either.
class RowPrefetch {
public:
    // The column of each slot, 0 where the slot's box is empty.
    using Columns = std::array<int, ImportRow::SlotCount>;

    struct Row {
        std::array<QString, ImportRow::SlotCount> texts;  // of the slots read
        int failedSlot = 0;  // the slot whose read raised `failure`; 0: none
        std::exception_ptr failure;
    };

    // Rows go over in batches, one lock per batch rather than per row; at
    // most Ahead rows are read and not yet taken.
    static constexpr int Batch = 64;
    static constexpr int Ahead = 4 * Batch;

    RowPrefetch(SpreadsheetLink& link, const Columns& columns, int firstRow);
    ~RowPrefetch();  // stop()
    RowPrefetch(const RowPrefetch&) = delete;
    RowPrefetch& operator=(const RowPrefetch&) = delete;

    const Columns& columns() const { return columns_; }
    // Waits for `row`, which must follow the row taken last; null when the
    // reader stopped before it (the caller then reads it itself). The row
    // stays the reader's until the next take(): the caller shares its texts
    // rather than taking them, so that the reader thread, which allocated
    // them, frees them too (freeing them here would wait for its heap lock).
    const Row* take(int row);
    // Ends the reader thread; the workbook is the caller's again.
    void stop();

private:
    using Rows = std::vector<Row>;
    void read(int firstRow);  // the reader thread

    SpreadsheetLink& link_;
    const Columns columns_;
    int next_;        // the row take() expects
    Rows taking_;     // the taker's batch
    size_t taken_ = 0;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Rows> batches_;  // read, in row order, after taking_
    // Batches the taker is done with: freed on the reader thread that
    // allocated them, where freeing is cheap and the memory is reused for
    // the next rows.
    std::vector<Rows> spent_;
    bool done_ = false;         // the reader has handed over its last row
    bool stop_ = false;
    std::thread thread_;
};
