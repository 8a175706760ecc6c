#pragma once

#include "import/ImportRow.h"
#include "import/checks/CellProblem.h"

#include <QDate>
#include <QHash>
#include <QList>

#include <array>
#include <iterator>

// The rules a personnel office applies to one row before it is stored:
// identity numbers (check character, date, agreement with 出生日期 and 性别),
// an empty name, dates, mobile numbers, a negative wage, blanks and
// full-width digits in keys. No widgets, no database: the run calls them
// for every row of a check or an import, the grid for one edited row.
// Cell text is trusted in no form.
namespace RowChecks {

struct Options {
    bool strictId = false;   // identity-number failures refuse the row
    bool fillFromId = false; // empty 出生日期 / 性别 taken from a valid number
    bool adding = true;      // new employees; an update is checked for its key and wage only
    QDate today = QDate::currentDate();
};

using Columns = std::array<int, ImportRow::SlotCount>; // 0: box empty

constexpr int kMinimumWorkingAge = 16;

// Checks the row and mends what the import mends (identity number and
// worker number trimmed, full-width digits and x made ASCII; 出生日期 and
// 性别 filled when asked), with a problem for each finding, in slot order.
QList<CellProblem> check(ImportRow& row, int sheetRow, const Columns& columns, const Options& options);

bool refuses(const QList<CellProblem>& problems);

// The row's reason for the list and the export: "第 12 行 " and the texts
// of its refusals (or else all problems), joined.
QString rowReason(int sheetRow, const QList<CellProblem>& problems);

// A writer's reason (a Chinese sentence, maybe the database's text on the
// lines after) as a problem of the cell it names.
CellProblem fromWriterReason(const QString& reason, const ImportRow& row, int sheetRow, const Columns& columns);

// Worker numbers already stored by this run, to tell a number repeated in
// the workbook from one already in the database. Keys compare without case.
// A number is kept as a 64-bit hash, not as text, so a run of a million
// rows stays small; the writer still decides whether a row is a duplicate,
// the hash only names the earlier row.
class SeenWorkerids {
public:
    // The hash of the number folded to one case. An ASCII number, the usual
    // kind, is folded on the stack as the hash is made: no string a row.
    static quint64 key(const QString& workerid)
    {
        constexpr size_t kSeed = size_t(0x9e3779b97f4a7c15ULL);
        char16_t folded[64];
        const qsizetype n = workerid.size();
        if (n <= qsizetype(std::size(folded))) {
            const QChar* c = workerid.constData();
            qsizetype i = 0;
            for (; i < n && c[i].unicode() < 0x80; ++i)
                folded[i] = c[i].unicode() >= u'A' && c[i].unicode() <= u'Z' ? char16_t(c[i].unicode() + 32) : c[i].unicode();
            if (i == n)
                return quint64(qHash(QStringView(folded, n), kSeed));
        }
        return quint64(qHash(workerid.toCaseFolded(), kSeed));
    }
    // The earlier sheet row holding the number, 0 when none.
    int earlierRow(const QString& workerid) const { return rows_.value(key(workerid), 0); }
    void stored(const QString& workerid, int sheetRow) { rows_.insert(key(workerid), sheetRow); }
    void clear() { rows_.clear(); }

private:
    QHash<quint64, int> rows_;
};

// The problem of a row whose number an earlier row holds.
CellProblem repeated(const ImportRow& row, int sheetRow, int earlierRow, const Columns& columns);

// The problem of a row whose department the database lacks, or that has
// none: the department pass refuses the workbook, the grid shows where.
CellProblem department(int sheetRow, const QString& department, int column);

} // namespace RowChecks
