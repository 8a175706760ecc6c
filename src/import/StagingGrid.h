#pragma once

#include <QWidget>

class QLabel;
class QSortFilterProxyModel;
class QStandardItemModel;
class QTableView;
class Query;

// The grid over the staging query: fixed columns, header sorting, value
// filters on some columns, and a footer with the row count once the query
// has been opened. Edits stay in the grid; nothing is written back.
class StagingGrid : public QWidget {
    Q_OBJECT
public:
    explicit StagingGrid(QWidget* parent = nullptr);

    // Shows the rows of an open query; the footer appears.
    void loadFrom(const Query& query);
    void clearRows();
    int rowCount() const;
    QString footerText() const;

    QTableView* view() const { return view_; }
    QStandardItemModel* model() const { return model_; }

    struct Column {
        const char* caption;
        const char* field;
        int width;
        bool filter;
        bool hidden;
    };
    static const QList<Column>& columns();

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fitColumns();
    void showFilterMenu(int column, const QPoint& globalPos);
    void updateFooter();

    QTableView* view_;
    QStandardItemModel* model_;
    QSortFilterProxyModel* proxy_;
    QLabel* footer_;
    bool opened_ = false;
};
