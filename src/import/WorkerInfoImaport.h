#pragma once

#include "import/ImportRow.h"
#include "import/ImportRun.h"
#include "import/WorkerWriter.h"
#include "platform/db/Query.h"

#include <QWidget>

#include <array>
#include <memory>

class QLineEdit;

namespace Ui {
class TWorkerInfoImaportFrm;
}

// The main window: the column map, the workbook, the import with its
// progress and the list of rows not imported.
class TWorkerInfoImaportFrm : public QWidget, public ImportView {
    Q_OBJECT
public:
    explicit TWorkerInfoImaportFrm(QWidget* parent = nullptr);
    ~TWorkerInfoImaportFrm() override;

    Ui::TWorkerInfoImaportFrm* ui() const { return ui_.get(); }
    QLineEdit* Edt(int slot) const { return edt_.at(size_t(slot - 1)); }
    ImportRow& importRow() { return row_; }
    Query& QryDept() { return *qryDept_; }
    bool running() const { return running_; }
    const ImportRun& lastRun() const { return run_; }

    void SaveWorkerRow(int mode);

    // ImportView
    QString mapText(int slot) const override;
    QString pathText() const override;
    void clearPath() override;
    void clearList() override;
    void addListLine(const QString& line, const QString& reason) override;
    void setProgress(int value) override;
    int importMode() const override;
    void reopenStaging() override;
    void processMessages() override;
    bool stopRequested() const override { return closeRequested_; }
    void runFinished(int imported, int notImported) override;

public Q_SLOTS:
    void FormShow();
    void BtSelectClick();
    void SBSaveClick();
    void SBExitClick();
    void SBCancelClick();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildColumnMap();

    std::unique_ptr<Ui::TWorkerInfoImaportFrm> ui_;
    std::array<QLineEdit*, ImportRow::SlotCount> edt_{};
    ImportRow row_;
    WorkerWriter writer_;
    ImportRun run_;
    std::unique_ptr<Query> qryDept_;
    bool running_ = false;
    bool closeRequested_ = false;
};
