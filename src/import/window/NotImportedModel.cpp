#include "import/window/NotImportedModel.h"

namespace {
const char* const kCaptions[] = {"行号", "工号", "姓名", "原因"};
}

void NotImportedModel::add(Line line)
{
    lines_.append(std::move(line));
}

void NotImportedModel::flush()
{
    if (shown_ == lines_.size())
        return;
    beginInsertRows({}, shown_, int(lines_.size()) - 1);
    shown_ = int(lines_.size());
    endInsertRows();
}

void NotImportedModel::clear()
{
    beginResetModel();
    lines_.clear();
    shown_ = 0;
    endResetModel();
}

int NotImportedModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : shown_;
}

int NotImportedModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant NotImportedModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= shown_)
        return {};
    const Line& l = lines_.at(index.row());
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
        case SheetRow:
            return l.sheetRow;
        case Workerid:
            return l.workerid;
        case Name:
            return l.name;
        case Reason: {
            if (l.reason.isEmpty())
                return QStringLiteral("原因不明");
            // The row is in its own column: the line begins with the why.
            const QString first = l.reason.section(u'\n', 0, 0);
            const QString row = QStringLiteral("第 %1 行 ").arg(l.sheetRow);
            return first.startsWith(row) ? first.mid(row.size()) : first;
        }
        }
    } else if (role == Qt::ToolTipRole) {
        if (index.column() == Reason)
            return l.reason.isEmpty() ? QStringLiteral("原因不明") : l.reason;
        return l.reason.startsWith(QStringLiteral("第 %1 行 ").arg(l.sheetRow))
            ? l.reason.section(u'\n', 0, 0)
            : QStringLiteral("第 %1 行：%2").arg(l.sheetRow).arg(l.reason.section(u'\n', 0, 0));
    } else if (role == Qt::TextAlignmentRole && index.column() == SheetRow) {
        return int(Qt::AlignRight | Qt::AlignVCenter);
    }
    return {};
}

QVariant NotImportedModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < ColumnCount)
        return QString::fromUtf8(kCaptions[section]);
    return QAbstractTableModel::headerData(section, orientation, role);
}
