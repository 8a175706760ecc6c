#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QString>

// The rows a run did not import, as the window's table shows them: 行号 |
// 工号 | 姓名 | 原因. A run may refuse every one of 65,535 rows, so a line
// costs a few strings and nothing is laid out per line; the reason's first
// line is shown, the whole text (the database's own words included) is the
// cell's tooltip.
class NotImportedModel : public QAbstractTableModel {
public:
    enum Column { SheetRow, Workerid, Name, Reason, ColumnCount };

    struct Line {
        int sheetRow = 0;
        QString workerid;
        QString name;
        QString reason;
    };

    using QAbstractTableModel::QAbstractTableModel;

    // Lines are kept until flush() shows them, so that a run adding one per
    // row makes the view insert them in batches.
    void add(Line line);
    void flush();
    void clear();
    const Line& line(int row) const { return lines_.at(row); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QList<Line> lines_;
    int shown_ = 0; // lines the view knows of
};
