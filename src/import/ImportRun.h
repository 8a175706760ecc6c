#pragma once

#include "import/ImportRow.h"
#include "import/checks/RowChecks.h"
#include "platform/Errors.h"

#include <QString>
#include <QStringList>

#include <array>
#include <memory>
#include <vector>

class RowPrefetch;
class SpreadsheetLink;

// What the import run needs of the window it runs in (the import window, or
// the command-line tool standing in for it).
class ImportView {
public:
    virtual ~ImportView() = default;

    virtual const QString& mapText(int slot) const = 0; // box Edt<slot>
    virtual QString pathText() const = 0;
    virtual void clearPath() = 0;
    virtual void clearList() = 0;
    // One row not imported, with why (shown as the line's tooltip).
    virtual void addListLine(const QString& line, const QString& reason) = 0;
    virtual void setProgress(int value) = 0;
    virtual int importMode() const = 0;
    // Closes and reopens the staging query; errors pass through.
    virtual void reopenStaging() = 0;
    // Lets the window handle what is pending (once per written row).
    virtual void processMessages() = 0;
    // True once the window asked to close during the run.
    virtual bool stopRequested() const { return false; }
    // The run is over; counts of rows imported and not imported.
    virtual void runFinished(int imported, int notImported) { (void)imported; (void)notImported; }
    // A check ended, just before its end box: the status line behind the
    // box should be final by then.
    virtual void checkFinished(int importable, int refused) { (void)importable; (void)refused; }
    // The map passed the map check (the window remembers it).
    virtual void mapAccepted() {}
    // Opens the workbook on the chosen sheet; the window keeps itself
    // responsive meanwhile.
    virtual void openWorkbook(SpreadsheetLink& link, const QString& path);
    // The sheet to read (a name, or its tab's position from 1); empty for
    // the active sheet.
    virtual QString sheetChoice() const { return QString(); }
    // The header row of the sheet opened; data starts on the row after it.
    virtual int headerRow() const { return 1; }
    // A question before the run ("更新导入不会修改：…"); true to go on.
    virtual bool askToGoOn(const QString& question);
    // The worksheet the run reads, once the run opened the workbook.
    const QString& openedSheet() const { return openedSheet_; }
    void setOpenedSheet(const QString& name) { openedSheet_ = name; }

    // Where a pass stands, after each row: rows done of the total (the
    // department pass counts as it goes: total 0), rows refused so far.
    struct Progress {
        bool writing = false; // the write pass (else the department pass)
        int done = 0;
        int total = 0;
        int refused = 0;
    };
    virtual void rowsDone(const Progress& progress) { (void)progress; }
    // A row not imported, with its sheet row; by default its list line.
    virtual void rowRefused(int sheetRow, const ImportRow& row, const QString& line, const QString& reason)
    {
        (void)sheetRow;
        (void)row;
        addListLine(line, reason);
    }
    // The checks every row meets besides the writer's (the window's
    // settings, the command's flags).
    struct CheckSettings {
        bool strictId = false;
        bool fillFromId = false;
    };
    virtual CheckSettings checkSettings() const { return {}; }
    // What the checks or the writer found in one cell of a row just handled.
    virtual void cellProblem(const CellProblem& problem) { (void)problem; }

private:
    QString openedSheet_;
};

// Writes one ImportRow (sets RowWritten); the import window's writer, or a
// checker that writes nothing.
class RowWriter {
public:
    virtual ~RowWriter() = default;
    virtual void SaveWorkerRow(ImportRow& row, int mode) = 0;
    // Why the last row was not written ("" when it was).
    virtual QString lastReason() const = 0;
    // The write pass starts; it ends (by any path) with endRun, which makes
    // what was written lasting (or undoes a check) and raises when it can't.
    virtual void beginRun() {}
    virtual void endRun() {}
    // False for a checker: what it "writes" is never kept.
    virtual bool keepsRows() const { return true; }
};

// Raised by a writer (from SaveWorkerRow or endRun) when the database failed
// in a way every later row would meet too: the run stops there. The writer
// has already made lasting what it could; `lostRows` of the rows it reported
// written before were undone with their group and are not stored. The text
// says what happened ("数据库被其他程序锁定"); `advice` what to do;
// `detail` is the database's own text.
class WriteStopped : public Error {
public:
    WriteStopped(const QString& cause, const QString& advice, const QString& detail, int lostRows)
        : Error(cause), advice(advice), detail(detail), lostRows(lostRows)
    {
    }
    QString advice;
    QString detail;
    int lostRows;
};

// Outcome of a run, for the command-line tool and the tests.
enum class RunEnd {
    MapRefused,
    PathRefused,
    WorkbookNotOpened,
    DeptCheckFailed,   // a refusal or a failure in the department check pass
    WritePassFailed,
    Stopped,           // the window closed during a pass
    Succeeded,
};

class ImportRun {
public:
    ImportRun(ImportView& view, ImportRow& row, RowWriter& writer);

    // The import, step by step. Errors of the staging query pass through.
    RunEnd SBSaveClick();

    // Whole-number rule of the map boxes: leading blanks and a sign allowed,
    // nothing after the digits.
    static bool parseWholeNumber(const QString& text, int& value);
    // The columns the boxes point at, for the row checks (0: none or wrong).
    static RowChecks::Columns mapColumns(const ImportView& view);
    // The map check: "" when the boxes may run in this mode (0 add,
    // 1 update), else the refusal naming the first wrong box. A box holds a
    // column number or letter (HeaderMap::parseColumn); an update needs only
    // the worker number.
    static QString mapProblem(const std::array<QString, ImportRow::SlotCount>& boxes, int mode);
    // The filled boxes an update does not change, by caption ("民族、籍贯");
    // empty when there is none.
    static QString unchangedByUpdate(const std::array<QString, ImportRow::SlotCount>& boxes);

    // A row the write pass did not store, with its sheet row.
    struct NotImported {
        int sheetRow;
        QString line;
        QString reason;       // Chinese, from "第 N 行 " on
        QString detail = {};  // the database's own text, "" when none
    };
    const QList<NotImported>& notImportedRows() const { return notImportedRows_; }
    // Worker numbers of the first rows stored (kStoredHead at most), in
    // sheet order; and how many different people the run stored in all.
    const QStringList& firstStoredWorkerids() const { return storedHead_; }
    int storedPeople() const;
    static constexpr int kStoredHead = 4096;

    int imported() const { return imported_; }
    int notImported() const { return notImported_; }
    int lastDataRow() const { return lastDataRow_; }
    // The row under the header: the first data row.
    int firstDataRow() const { return firstDataRow_; }
    qint64 checkPassMs() const { return checkPassMs_; }
    qint64 writePassMs() const { return writePassMs_; }

private:
    int column(int slot) const;
    int column(int slot, const QString& text) const;
    void readCell(SpreadsheetLink& link, int row, int slot, QString& into);
    // The write pass's cells of one row, from `ahead` where it read them
    // with the map the boxes hold now; `ahead` is stopped and reset at the
    // first difference, and the rest is read here.
    void readRow(SpreadsheetLink& link, int row, std::unique_ptr<RowPrefetch>& ahead);
    // The map as it stands, for reading ahead; false when a box would
    // raise (the pass then reads as it goes and raises where it should).
    bool currentColumns(std::array<int, ImportRow::SlotCount>& columns) const;
    // "第 R 行的「字段」无法读取" for the cell being read when an error came.
    QString cellInHand() const;
    // The box of a run the writer stopped at sheet row `row`; takes the rows
    // whose group was undone off the counts first.
    QString stoppedText(const WriteStopped& stopped, int row);
    // The row's own checks, then the writer unless they refuse it; the
    // view hears of each problem. The row's reason when it was not written.
    QString saveChecked(int row, const RowChecks::Columns& columns, QString& detail);

    ImportView& view_;
    ImportRow& row_;
    RowWriter& writer_;
    int imported_ = 0;
    int notImported_ = 0;
    int lastDataRow_ = 0;
    int firstDataRow_ = 2;
    int readingRow_ = 0;
    int readingSlot_ = 0;
    // The last text of each box and its column: a box rarely changes
    // during a run, and is read at every row.
    std::array<QString, ImportRow::SlotCount> boxTexts_;
    std::array<int, ImportRow::SlotCount> boxColumns_{};
    QList<NotImported> notImportedRows_;
    // A million rows stored must not cost a string each: the first ones
    // as text, every one as the hash of its case-folded number.
    QStringList storedHead_;
    std::vector<quint64> storedKeys_;
    QList<int> storedRows_;  // the sheet row of each stored row
    RowChecks::Options checks_;
    RowChecks::SeenWorkerids seen_;
    qint64 checkPassMs_ = 0;
    qint64 writePassMs_ = 0;
};
