#pragma once

#include <QHash>
#include <QString>

// Texts the clerk typed over cells of the workbook in the window: what the
// import reads for those cells instead of the file's text. The file is
// never changed. Rows and columns count from 1, as the sheet's do. Read by
// the run's link (and its reading thread) while nothing changes it.
class CellEdits {
public:
    void set(int row, int column, const QString& text) { texts_.insert(key(row, column), text); }
    // False when the cell was not edited.
    bool remove(int row, int column) { return texts_.remove(key(row, column)) > 0; }
    const QString* find(int row, int column) const
    {
        const auto it = texts_.constFind(key(row, column));
        return it == texts_.cend() ? nullptr : &*it;
    }
    bool isEmpty() const { return texts_.isEmpty(); }
    int size() const { return int(texts_.size()); }
    void clear() { texts_.clear(); }

private:
    static quint64 key(int row, int column) { return (quint64(quint32(row)) << 32) | quint32(column); }
    QHash<quint64, QString> texts_;
};
