#include "import/ImportRun.h"

#include "data/UserDMUnit.h"
#include "import/DepartmentProblems.h"
#include "import/HeaderMap.h"
#include "import/RowPrefetch.h"
#include "import/SpreadsheetLink.h"
#include "platform/Dialogs.h"
#include "platform/Errors.h"
#include "services/userGlobal.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLocale>

#include <algorithm>
#include <array>
#include <limits>

namespace {
const QString kPrompt = QStringLiteral("提示");

Connection* connection()
{
    return UserDM ? &UserDM->ADOConnection1 : nullptr;
}

void box(const QString& text, MsgIcon icon)
{
    Dialogs::messageBox(text, kPrompt, icon);
}

void refuse(const QString& text)
{
    box(text, MsgIcon::Error);
}

// The three required boxes first, then the others in slot order.
constexpr std::array<int, 3> kRequiredSlots{1, 2, 17};
constexpr int kWorkeridSlot = 1;
constexpr int kDepNameSlot = 17;
constexpr int kCheckPassBreath = 1024; // rows between two looks at the window

// Where the run can no longer report a failure of its own.
void endRunQuietly(RowWriter& writer)
{
    try {
        writer.endRun();
    } catch (const std::exception&) {
    }
}
} // namespace

void ImportView::openWorkbook(SpreadsheetLink& link, const QString& path)
{
    link.OpenWorkbook(path, sheetChoice());
}

bool ImportView::askToGoOn(const QString& question)
{
    return Dialogs::confirm(question);
}

QString ImportRun::mapProblem(const std::array<QString, ImportRow::SlotCount>& boxes, int mode)
{
    const QString wrong = QStringLiteral("请正确导入的对应的序号或已输入的序号不正确!");
    const auto caption = [](int slot) { return QString::fromUtf8(importSlots()[size_t(slot - 1)].caption); };
    // The required boxes first, as the clerk is told of them first.
    QList<int> order(kRequiredSlots.begin(), kRequiredSlots.end());
    for (int slot = 1; slot <= ImportRow::SlotCount; ++slot)
        if (!order.contains(slot))
            order << slot;
    for (int slot : order) {
        const QString& text = boxes[size_t(slot - 1)];
        const bool needed = mode == 1 ? slot == kWorkeridSlot : kRequiredSlots.end() != std::find(kRequiredSlots.begin(), kRequiredSlots.end(), slot);
        int column = 0;
        if (text.isEmpty() && needed)
            return wrong + QStringLiteral("\n「%1」必须填列号").arg(caption(slot));
        if (!text.isEmpty() && !HeaderMap::parseColumn(text, column))
            return wrong + QStringLiteral("\n「%1」的列号「%2」不正确").arg(caption(slot), text);
    }
    return QString();
}

QString ImportRun::unchangedByUpdate(const std::array<QString, ImportRow::SlotCount>& boxes)
{
    QStringList names;
    for (const ImportSlot& s : importSlots())
        if (s.slot != kWorkeridSlot && !s.updatable && !boxes[size_t(s.slot - 1)].isEmpty())
            names << QString::fromUtf8(s.caption);
    return names.join(u'、');
}

ImportRun::ImportRun(ImportView& view, ImportRow& row, RowWriter& writer)
    : view_(view)
    , row_(row)
    , writer_(writer)
{
}

bool ImportRun::parseWholeNumber(const QString& text, int& value)
{
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (i >= text.size())
        return false;
    qint64 v = 0;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c < u'0' || c > u'9')
            return false;
        v = v * 10 + (c.unicode() - u'0');
        if (v > qint64(std::numeric_limits<int>::max()) + 1)
            return false;
    }
    if (negative)
        v = -v;
    if (v > std::numeric_limits<int>::max() || v < std::numeric_limits<int>::min())
        return false;
    value = int(v);
    return true;
}

int ImportRun::column(int slot) const
{
    // Converted again at every read: a box changed during the run counts
    // from the next read on.
    return column(slot, view_.mapText(slot));
}

int ImportRun::column(int slot, const QString& text) const
{
    int value = 0;
    if (!HeaderMap::parseColumn(text, value))
        throw Error(QStringLiteral("'%1' is not a valid integer value").arg(text));
    if (value < 1)
        throw Error(QStringLiteral("「%1」框里的列号「%2」不是有效的列：列号从 1 开始，1 是 A 列，请改正。")
                        .arg(QString::fromUtf8(importSlots()[size_t(slot - 1)].caption), text));
    return value;
}

void ImportRun::readCell(SpreadsheetLink& link, int row, int slot, QString& into)
{
    readingRow_ = row;
    readingSlot_ = slot;
    into = link.ReadCellText(row, column(slot));
    readingSlot_ = 0;
}

bool ImportRun::currentColumns(RowPrefetch::Columns& columns) const
{
    for (int slot = 1; slot <= ImportRow::SlotCount; ++slot) {
        const QString text = view_.mapText(slot);
        int value = 0;
        if (!text.isEmpty() && (!HeaderMap::parseColumn(text, value) || value < 1))
            return false;
        columns[size_t(slot - 1)] = value;
    }
    return true;
}

void ImportRun::readRow(SpreadsheetLink& link, int row, std::unique_ptr<RowPrefetch>& ahead)
{
    const RowPrefetch::Row* read = ahead ? ahead->take(row) : nullptr;
    if (!read)
        ahead.reset();
    for (int slot = 1; slot <= ImportRow::SlotCount; ++slot) {
        const QString& text = view_.mapText(slot); // no box changes within a row
        const int given = ahead ? ahead->columns()[size_t(slot - 1)] : 0;
        if (text.isEmpty()) {
            if (given != 0)
                ahead.reset(); // a box emptied during the run
            continue;
        }
        readingRow_ = row;
        readingSlot_ = slot;
        const size_t i = size_t(slot - 1);
        // The box's text is the one kept unless the box was changed: the
        // same characters in the same place need no comparing.
        const bool kept = text.constData() == boxTexts_[i].constData() && text.size() == boxTexts_[i].size();
        if (boxColumns_[i] == 0 || (!kept && text != boxTexts_[i])) {
            boxColumns_[i] = 0;
            boxColumns_[i] = column(slot, text);
            boxTexts_[i] = text;
        }
        const int col = boxColumns_[i];
        if (ahead && given == col) {
            if (read->failedSlot == slot)
                std::rethrow_exception(read->failure);
            row_.field(slot) = read->texts[size_t(slot - 1)];
        } else {
            ahead.reset();
            row_.field(slot) = link.ReadCellText(row, col);
        }
        readingSlot_ = 0;
    }
}

QString ImportRun::stoppedText(const WriteStopped& stopped, int row)
{
    // Rows the writer reported written whose group the database undid.
    const int lost = int(qMin<qsizetype>(stopped.lostRows, storedRows_.size()));
    const int from = lost > 0 ? storedRows_[storedRows_.size() - lost] : row;
    imported_ -= lost;
    storedKeys_.resize(storedKeys_.size() - size_t(lost));
    storedRows_.resize(storedRows_.size() - lost);
    if (storedHead_.size() > storedRows_.size())
        storedHead_.resize(storedRows_.size());

    const QLocale numbers(QLocale::English);  // 1,200
    QString text = stopped.text() + u'：';
    if (!writer_.keepsRows()) {
        text += QStringLiteral("第 %1 行起未检查。%2。").arg(numbers.toString(from), stopped.advice);
    } else {
        const QString done = notImported_ == 0 ? QStringLiteral("已导入前 %1 行") : QStringLiteral("已导入 %1 行");
        text += done.arg(numbers.toString(imported_));
        if (from <= lastDataRow_)
            text += QStringLiteral("，第 %1 行起未导入").arg(numbers.toString(from));
        text += QStringLiteral("。") + stopped.advice
            + (imported_ > 0 ? QStringLiteral("，已导入的行会被识别为重复。") : QStringLiteral("。"));
    }
    if (!stopped.detail.isEmpty())
        text += u'\n' + stopped.detail;
    return text;
}

int ImportRun::storedPeople() const
{
    std::vector<quint64> keys = storedKeys_;
    std::sort(keys.begin(), keys.end());
    return int(std::unique(keys.begin(), keys.end()) - keys.begin());
}

RowChecks::Columns ImportRun::mapColumns(const ImportView& view)
{
    RowChecks::Columns columns{};
    for (int slot = 1; slot <= ImportRow::SlotCount; ++slot) {
        int value = 0;
        if (HeaderMap::parseColumn(view.mapText(slot), value) && value > 0)
            columns[size_t(slot - 1)] = value;
    }
    return columns;
}

QString ImportRun::saveChecked(int r, const RowChecks::Columns& columns, QString& detail)
{
    QList<CellProblem> problems = RowChecks::check(row_, r, columns, checks_);
    // A number an earlier row stored goes to the writer all the same: it
    // finds it as it finds any other, with its box; only the reason differs.
    const int earlier = checks_.adding ? seen_.earlierRow(row_.Workerid) : 0;
    row_.EarlierRow = earlier;
    if (!RowChecks::refuses(problems)) {
        writer_.SaveWorkerRow(row_, view_.importMode());
        if (!row_.RowWritten)
            problems.append(earlier > 0 ? RowChecks::repeated(row_, r, earlier, columns)
                                        : RowChecks::fromWriterReason(writer_.lastReason(), row_, r, columns));
    } else if (earlier > 0) {
        problems.append(RowChecks::repeated(row_, r, earlier, columns));
    }
    for (const CellProblem& p : problems)
        view_.cellProblem(p);
    if (row_.RowWritten) {
        seen_.stored(row_.Workerid, r);
        return QString();
    }
    QStringList details;
    for (const CellProblem& p : problems)
        if (!p.detail.isEmpty())
            details << p.detail;
    detail = details.join(u'\n');
    return RowChecks::rowReason(r, problems);
}

QString ImportRun::cellInHand() const
{
    if (readingSlot_ == 0)
        return QString();
    return QStringLiteral("第 %1 行的「%2」无法读取")
        .arg(readingRow_)
        .arg(QString::fromUtf8(importSlots()[size_t(readingSlot_ - 1)].caption));
}

RunEnd ImportRun::SBSaveClick()
{
    imported_ = notImported_ = lastDataRow_ = 0;
    firstDataRow_ = 2;
    checkPassMs_ = writePassMs_ = 0;
    readingSlot_ = 0;
    notImportedRows_.clear();
    storedHead_.clear();
    storedKeys_.clear();
    storedRows_.clear();
    seen_.clear();
    checks_ = RowChecks::Options{};
    checks_.strictId = view_.checkSettings().strictId;
    checks_.fillFromId = view_.checkSettings().fillFromId;
    checks_.adding = view_.importMode() == 0;

    view_.clearList();

    std::array<QString, ImportRow::SlotCount> boxes;
    for (int slot = 1; slot <= ImportRow::SlotCount; ++slot)
        boxes[size_t(slot - 1)] = view_.mapText(slot);
    const int mode = view_.importMode();
    if (const QString problem = mapProblem(boxes, mode); !problem.isEmpty()) {
        refuse(problem);
        return RunEnd::MapRefused;
    }
    if (const QString unchanged = mode == 1 ? unchangedByUpdate(boxes) : QString(); !unchanged.isEmpty()
        && !view_.askToGoOn(QStringLiteral("更新导入不会修改：%1\n只会修改标有红色「-」的栏目。继续更新导入吗？").arg(unchanged)))
        return RunEnd::MapRefused;

    view_.mapAccepted();

    const QString path = view_.pathText();
    if (path.isEmpty()) {
        refuse(QStringLiteral("请选择导入文件!"));
        return RunEnd::PathRefused;
    }

    view_.reopenStaging();

    SpreadsheetLink link;
    try {
        view_.openWorkbook(link, path);
        view_.setOpenedSheet(link.sheetName());
    } catch (const std::exception& e) {
        refuse(cannotOpenWorkbookText(path, errorText(e)));
        return RunEnd::WorkbookNotOpened;
    }

    DeptNoCache deptNumbers;  // one lookup per department name and run
    QElapsedTimer timer;
    timer.start();
    int lastRow = 0;
    const int firstRow = firstDataRow_ = view_.headerRow() + 1;
    int r = firstRow;
    // An update without a department column changes no department.
    const bool departments = !view_.mapText(kDepNameSlot).isEmpty();
    DepartmentProblems problems;
    try {
        // One read snapshot for the whole pass instead of one per lookup;
        // it ends before any box waits for the user.
        Transaction reads(connection(), Transaction::Read);
        for (;;) {
            readCell(link, r, kWorkeridSlot, row_.Workerid);
            if (departments)
                readCell(link, r, kDepNameSlot, row_.DepName);
            if (row_.Workerid.isEmpty())
                break;
            view_.setProgress((r + 1) * 100 / 500);
            if (departments && row_.DepName.isEmpty()) {
                problems.empty(r, row_.Workerid);
                view_.cellProblem(RowChecks::department(r, QString(), column(kDepNameSlot)));
            } else if (departments) {
                row_.DeptNo = GetDeptNo(row_.DepName);
                if (row_.DeptNo.isEmpty()) {
                    problems.unknown(r, row_.Workerid, row_.DepName);
                    // The grid marks the cell, so the clerk can correct it there.
                    view_.cellProblem(RowChecks::department(r, row_.DepName, column(kDepNameSlot)));
                }
            }
            lastRow = r;
            ++r;
            view_.rowsDone({false, lastRow - firstRow + 1, 0, 0});
            // A long workbook takes a second here: let the window repaint
            // and take a close now and then.
            if (r % kCheckPassBreath == 0) {
                view_.processMessages();
                if (view_.stopRequested()) {
                    reads.commit();
                    link.CloseAndQuit();
                    return RunEnd::Stopped;
                }
            }
        }
        if (!problems.isEmpty()) {
            checkPassMs_ = timer.elapsed();
            reads.commit();
            refuse(problems.message());
            link.CloseAndQuit();
            return RunEnd::DeptCheckFailed;
        }
        view_.setProgress(100);
    } catch (const std::exception& e) {
        link.CloseAndQuit();
        // The specified pass ends here without a word; the clerk needs to
        // know which cell stopped it.
        const QString where = readingSlot_ != 0
            ? cellInHand()
            : QStringLiteral("第 %1 行的部门「%2」无法在数据库中查找").arg(r).arg(row_.DepName);
        refuse(QStringLiteral("%1，没有导入任何数据。请改正后重新导入。\n%2").arg(where, errorText(e)));
        return RunEnd::DeptCheckFailed;
    }
    lastDataRow_ = lastRow;
    checkPassMs_ = timer.restart();

    struct Finish {
        ImportRun& run;
        QElapsedTimer& timer;
        ~Finish()
        {
            endRunQuietly(run.writer_);
            run.writePassMs_ = timer.elapsed();
            run.view_.runFinished(run.imported_, run.notImported_);
        }
    } finish{*this, timer};
    std::unique_ptr<RowPrefetch> ahead;  // the workbook's reader while it lives

    try {
        writer_.beginRun();
        r = firstRow;
        row_.clearFields();
        RowPrefetch::Columns columns;
        if (currentColumns(columns))
            ahead = std::make_unique<RowPrefetch>(link, columns, r);
        const RowChecks::Columns checkColumns = mapColumns(view_);
        for (;;) {
            readRow(link, r, ahead);
            if (row_.Workerid.isEmpty())
                break;
            if (lastRow == 0)
                throw Error(QStringLiteral("Division by zero"));
            view_.setProgress(int(qint64(r) * 100 / lastRow));
            row_.RowWritten = false;
            row_.SheetRow = r;
            QString detail;
            const QString reason = saveChecked(r, checkColumns, detail);
            if (row_.RowWritten) {
                ++imported_;
                if (storedHead_.size() < kStoredHead)
                    storedHead_ << row_.Workerid;
                storedKeys_.push_back(RowChecks::SeenWorkerids::key(row_.Workerid));
                storedRows_ << r;
            } else {
                ++notImported_;
                const QString line = QStringList{row_.Workerid, row_.Wname, row_.DepName, row_.IdNumber}.join(u'-');
                notImportedRows_.append({r, line, reason, detail});
                view_.rowRefused(r, row_, line, detail.isEmpty() ? reason : reason + u'\n' + detail);
            }
            view_.rowsDone({true, r - firstRow + 1, lastRow - firstRow + 1, notImported_});
            view_.processMessages();
            if (view_.stopRequested()) {
                writer_.endRun();
                ahead.reset();
                link.CloseAndQuit();
                return RunEnd::Stopped;
            }
            ++r;
            row_.clearFields();
        }
        ahead.reset();
        view_.setProgress(100);
        writer_.endRun();
        view_.runFinished(imported_, notImported_); // the status line behind the box
        box(QStringLiteral("数据导入成功，请查询!\n%1 %2 人，未导入 %3 人")
                .arg(mode == 1 ? QStringLiteral("已更新") : QStringLiteral("已导入"))
                .arg(imported_)
                .arg(notImported_),
            MsgIcon::Information);
        link.CloseAndQuit();
        view_.clearPath();
    } catch (const WriteStopped& stopped) {
        ahead.reset();
        link.CloseAndQuit();
        Dialogs::messageBox(stoppedText(stopped, r), writer_.keepsRows() ? QStringLiteral("导入未完成") : QStringLiteral("检查未完成"),
            MsgIcon::Error);
        return RunEnd::WritePassFailed;
    } catch (const std::exception& e) {
        endRunQuietly(writer_);
        ahead.reset();
        const QString where = cellInHand();
        link.CloseAndQuit();
        refuse(QStringLiteral("请选择正确的文件！\n%1").arg(where.isEmpty() ? errorText(e) : where + u'：' + errorText(e)));
        return RunEnd::WritePassFailed;
    }
    return RunEnd::Succeeded;
}
