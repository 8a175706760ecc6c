#include "import/WorkbookPreview.h"

#include "import/HeaderMap.h"
#include "import/ImportRun.h"
#include "import/SpreadsheetLink.h"
#include "platform/Errors.h"

#include <algorithm>

namespace {
// The grid's visible columns and their captions come first.
struct Lead {
    int slot;
    const char* caption;
};
constexpr Lead kLead[] = {{1, "工号"}, {2, "姓名"}, {3, "性别"}, {17, "部门"},
                          {6, "出生日期"}, {9, "身份证号"}, {22, "基本工资"}};

constexpr int kProgressEvery = 2048;
} // namespace

WorkbookPreview WorkbookPreview::read(SpreadsheetLink& link,
                                      const std::array<QString, ImportRow::SlotCount>& boxes,
                                      const std::function<bool(int)>& progress, int shownRows, int headerRow)
{
    WorkbookPreview p;
    std::array<int, ImportRow::SlotCount> column{};
    for (int k = 1; k <= ImportRow::SlotCount; ++k) {
        int c = 0;
        if (HeaderMap::parseColumn(boxes[size_t(k - 1)], c) && c >= 1)
            column[size_t(k - 1)] = c;
    }
    for (const Lead& l : kLead)
        if (column[size_t(l.slot - 1)])
            p.columns.append({l.slot, QString::fromUtf8(l.caption)});
    for (const ImportSlot& s : importSlots()) {
        const bool lead = std::any_of(std::begin(kLead), std::end(kLead), [&](const Lead& l) { return l.slot == s.slot; });
        if (!lead && column[size_t(s.slot - 1)])
            p.columns.append({s.slot, QString::fromUtf8(s.caption)});
    }
    const int idColumn = column[0];
    if (idColumn == 0)
        return p;

    const int used = qMax(1, link.usedRows());
    for (int r = headerRow + 1;; ++r) {
        if (progress && r % kProgressEvery == 0 && !progress(int(qint64(r) * 100 / used))) {
            p.stopped = true;
            break;
        }
        try {
            if (link.isBlank(r, idColumn))
                break;
        } catch (const std::exception& e) {
            p.problem = QStringLiteral("第 %1 行的员工编号无法读取：%2").arg(r).arg(errorText(e));
            break;
        }
        ++p.dataRows;
        if (p.sheetRows.size() >= shownRows)
            continue;
        QStringList row;
        for (const Column& c : p.columns) {
            try {
                row << link.ReadCellText(r, column[size_t(c.slot - 1)]);
            } catch (const std::exception&) {
                row << QStringLiteral("（无法读取）");
            }
        }
        p.sheetRows << r;
        p.cells << row;
    }
    if (progress)
        progress(100);
    return p;
}
