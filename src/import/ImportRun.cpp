#include "import/ImportRun.h"

#include "data/UserDMUnit.h"
#include "import/SpreadsheetLink.h"
#include "platform/Dialogs.h"
#include "platform/Errors.h"
#include "services/userGlobal.h"

#include <QDir>
#include <QElapsedTimer>

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

// Where the run can no longer report a failure of its own.
void endRunQuietly(RowWriter& writer)
{
    try {
        writer.endRun();
    } catch (const std::exception&) {
    }
}
} // namespace

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
    int value = 0;
    const QString text = view_.mapText(slot);
    if (!parseWholeNumber(text, value))
        throw Error(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return value;
}

void ImportRun::readCell(SpreadsheetLink& link, int row, int slot, QString& into) const
{
    into = link.ReadCellText(row, column(slot));
}

RunEnd ImportRun::SBSaveClick()
{
    imported_ = notImported_ = lastDataRow_ = 0;
    checkPassMs_ = writePassMs_ = 0;

    view_.clearList();

    int dummy = 0;
    for (int slot : kRequiredSlots) {
        if (!parseWholeNumber(view_.mapText(slot), dummy)) {
            refuse(QStringLiteral("请正确导入的对应的序号或已输入的序号不正确!"));
            return RunEnd::MapRefused;
        }
    }
    for (int slot = 1; slot <= ImportRow::SlotCount; ++slot) {
        if (slot == 1 || slot == 2 || slot == 17)
            continue;
        const QString text = view_.mapText(slot);
        if (!text.isEmpty() && !parseWholeNumber(text, dummy)) {
            refuse(QStringLiteral("请正确导入的对应的序号或已输入的序号不正确!"));
            return RunEnd::MapRefused;
        }
    }

    const QString path = view_.pathText();
    if (path.isEmpty()) {
        refuse(QStringLiteral("请选择导入文件!"));
        return RunEnd::PathRefused;
    }

    view_.reopenStaging();

    SpreadsheetLink link;
    try {
        link.OpenWorkbook(path);
    } catch (const std::exception& e) {
        // No spreadsheet application is involved here: say what went wrong.
        refuse(QStringLiteral("系统未安装Excel!!!\n%1: %2")
                   .arg(QDir::toNativeSeparators(path), errorText(e)));
        return RunEnd::WorkbookNotOpened;
    }

    DeptNoCache deptNumbers;  // one lookup per department name and run
    QElapsedTimer timer;
    timer.start();
    int lastRow = 0;
    try {
        // One read snapshot for the whole pass instead of one per lookup;
        // it ends before any box waits for the user.
        Transaction reads(connection(), Transaction::Read);
        int r = 2;
        for (;;) {
            readCell(link, r, kWorkeridSlot, row_.Workerid);
            readCell(link, r, kDepNameSlot, row_.DepName);
            if (row_.Workerid.isEmpty())
                break;
            view_.setProgress((r + 1) * 100 / 500);
            if (row_.DepName.isEmpty()) {
                reads.commit();
                refuse(QStringLiteral("在数据导入文件中,部门信息需要都填上!!!"));
                link.CloseAndQuit();
                return RunEnd::DeptCheckFailed;
            }
            row_.DeptNo = GetDeptNo(row_.DepName);
            if (row_.DeptNo.isEmpty()) {
                reads.commit();
                refuse(QStringLiteral("工号为：%1-的,部门信息未能与软件中的部门对应上!!!").arg(row_.Workerid));
                link.CloseAndQuit();
                return RunEnd::DeptCheckFailed;
            }
            lastRow = r;
            ++r;
        }
        view_.setProgress(100);
    } catch (const std::exception&) {
        link.CloseAndQuit();
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

    try {
        writer_.beginRun();
        int r = 2;
        row_.clearFields();
        for (;;) {
            for (int slot = 1; slot <= ImportRow::SlotCount; ++slot)
                if (!view_.mapText(slot).isEmpty())
                    readCell(link, r, slot, row_.field(slot));
            if (row_.Workerid.isEmpty())
                break;
            if (lastRow == 0)
                throw Error(QStringLiteral("Division by zero"));
            view_.setProgress(int(qint64(r) * 100 / lastRow));
            row_.RowWritten = false;
            writer_.SaveWorkerRow(row_, view_.importMode());
            if (row_.RowWritten) {
                ++imported_;
            } else {
                ++notImported_;
                view_.addListLine(QStringList{row_.Workerid, row_.Wname, row_.DepName, row_.IdNumber}.join(u'-'),
                                  writer_.lastReason());
            }
            view_.processMessages();
            if (view_.stopRequested()) {
                writer_.endRun();
                link.CloseAndQuit();
                return RunEnd::Stopped;
            }
            ++r;
            row_.clearFields();
        }
        view_.setProgress(100);
        writer_.endRun();
        box(QStringLiteral("数据导入成功，请查询!"), MsgIcon::Information);
        link.CloseAndQuit();
        view_.clearPath();
    } catch (const std::exception&) {
        endRunQuietly(writer_);
        link.CloseAndQuit();
        refuse(QStringLiteral("请选择正确的文件！"));
        return RunEnd::WritePassFailed;
    }
    return RunEnd::Succeeded;
}
