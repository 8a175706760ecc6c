#pragma once

#include "records/RunRecords.h"

#include <QAbstractTableModel>
#include <QDialog>

class Connection;
class QTableView;

// The runs on record, newest first; a run into another database than the
// one connected is greyed and cannot be undone.
class RunRecordsModel : public QAbstractTableModel {
public:
    RunRecordsModel(const Connection& connection, QObject* parent = nullptr);
    void setRuns(QList<RunRecords::Run> runs);
    const RunRecords::Run& run(int row) const { return runs_[row]; }
    bool undoable(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    const Connection& connection_;
    QList<RunRecords::Run> runs_;
};

// "导入记录": the table of runs; double-click shows a run's rows;
// "撤销本次导入" undoes the selected run after a confirmation.
class RunRecordsDialog : public QDialog {
public:
    // Raises Error when the records file cannot be opened.
    RunRecordsDialog(Connection& connection, QWidget* parent = nullptr,
                     const QString& recordsPath = RunRecords::defaultPath());
    ~RunRecordsDialog() override;

    QTableView* table() const { return table_; }
    RunRecordsModel* model() const { return model_; }
    void undoSelected();
    // The rows of the run in the table's row, in a window of their own.
    void showRows(int row);

private:
    void reload();

    Connection& connection_;
    RunRecords records_;
    RunRecordsModel* model_;
    QTableView* table_;
};
