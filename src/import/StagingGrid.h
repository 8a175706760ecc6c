#pragma once

#include <QList>
#include <QStringList>
#include <QWidget>

class QAbstractItemModel;
class QCheckBox;
class QLabel;
class QSortFilterProxyModel;
class QTableView;
class Query;
class GridModel;
class GridProxy;
class ValidationMarks;

// The import window's grid: the staging columns over the staging query or
// the employees a run stored ("共 N 人"), or a workbook's data rows before
// a run ("共 N 行"). Header sorting, value filters on some columns. Edits
// stay in the grid; nothing is written back.
//
// A preview with marks is the validation grid: each problem cell coloured
// (red: not imported, amber: a warning, blue: filled in by the import) with
// its reasons as tooltip, edited cells bold, the row's reasons in the
// column whose slot is kProblemsSlot, a filter "只看有问题的行 (N)"; a cell
// of a field edits what the import reads (cellEdited), its context menu
// undoes that (editUndone).
class StagingGrid : public QWidget {
    Q_OBJECT
public:
    explicit StagingGrid(QWidget* parent = nullptr);

    struct Column {
        QString caption;
        QString field;
        int width;
        bool filter;
        bool hidden;
        int slot = 0;        // a preview's field (1..31), kProblemsSlot, or 0
        int sheetColumn = 0; // the sheet column it shows, 1 = A
        bool operator==(const Column&) const = default;
    };
    static constexpr int kProblemsSlot = -1;
    // The staging columns: the employee view's fixed columns.
    static const QList<Column>& columns();

    // Shows the rows of an open query in the staging columns; the footer
    // counts them.
    void loadFrom(Query& query);
    // Adds the rows of another open query (read back in groups).
    void appendFrom(Query& query);
    // The people counted in the footer when only the first of them are shown.
    void setTotalPeople(int total);
    // A workbook's rows: its own columns; the footer gives the total.
    void showPreview(const QList<Column>& columns, QList<QStringList> rows, int totalRows);
    // More rows of the same preview (a check's problem rows past the first).
    void appendPreviewRows(QList<QStringList> rows);
    // The sheet row of a preview's last row, 0 when none.
    int lastSheetRow() const;
    void clearRows();

    int rowCount() const;
    QString footerText() const;
    QTableView* view() const { return view_; }
    QAbstractItemModel* model() const;
    QStringList captions() const;
    const QList<Column>& shownColumns() const { return columns_; }

    // The marks a preview shows (null: none); marksChanged() after they did.
    void setMarks(const ValidationMarks* marks);
    void marksChanged();
    // Only one row's marks changed (checked again after an edit).
    void rowMarksChanged(int sheetRow);
    void setOnlyProblems(bool only);
    QCheckBox* problemFilter() const { return problemFilter_; }
    // Selects and shows the preview's row of that sheet row; false if absent.
    bool selectSheetRow(int sheetRow);
    // Shows `text` in every cell of the row that shows that sheet column.
    void setCellText(int sheetRow, int sheetColumn, const QString& text);

Q_SIGNALS:
    void cellEdited(int sheetRow, int slot, int sheetColumn, const QString& text);
    void editUndone(int sheetRow, int slot, int sheetColumn);

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setColumns(const QList<Column>& columns);
    void fitColumns();
    void showFilterMenu(int column, const QPoint& globalPos);
    void updateFooter();
    void showCellMenu(const QPoint& pos);

    QList<Column> columns_;
    QTableView* view_;
    GridModel* model_;
    GridProxy* proxy_;
    QLabel* footer_;
    QCheckBox* problemFilter_;
    const ValidationMarks* marks_ = nullptr;
    enum class Footer { None, People, Lines } footerKind_ = Footer::None;
    int totalRows_ = 0;
};
