#pragma once

#include <QList>
#include <QStringList>
#include <QWidget>

class QAbstractItemModel;
class QLabel;
class QSortFilterProxyModel;
class QTableView;
class Query;
class GridModel;

// The import window's grid: the staging columns over the staging query or
// the employees a run stored ("共 N 人"), or a workbook's data rows before
// a run ("共 N 行"). Header sorting, value filters on some columns. Edits
// stay in the grid; nothing is written back.
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
    };
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
    void clearRows();

    int rowCount() const;
    QString footerText() const;
    QTableView* view() const { return view_; }
    QAbstractItemModel* model() const;
    QStringList captions() const;

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setColumns(const QList<Column>& columns);
    void fitColumns();
    void showFilterMenu(int column, const QPoint& globalPos);
    void updateFooter();

    QList<Column> columns_;
    QTableView* view_;
    GridModel* model_;
    QSortFilterProxyModel* proxy_;
    QLabel* footer_;
    enum class Footer { None, People, Lines } footerKind_ = Footer::None;
    int totalRows_ = 0;
};
