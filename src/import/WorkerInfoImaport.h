#pragma once

#include "import/ImportRow.h"
#include "import/ImportRun.h"
#include "import/RejectsExport.h"
#include "import/RememberedMap.h"
#include "import/WorkerWriter.h"
#include "platform/db/Query.h"

#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class QLineEdit;
class SpreadsheetLink;

namespace Ui {
class TWorkerInfoImaportFrm;
}

// The main window: the column map (filled from the workbook's header and
// remembered between runs), the workbook with its preview, the import and
// its check, the list of rows not imported with their reasons, and the
// files a clerk takes away (rows not imported, an empty template).
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
    // Row 1 of the chosen workbook (none before one was read).
    const std::optional<QStringList>& headers() const { return headers_; }

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
    void mapAccepted() override;
    void openWorkbook(SpreadsheetLink& link, const QString& path) override;

public Q_SLOTS:
    void FormShow();
    void BtSelectClick();
    void BtAutoMapClick();
    void BtClearMapClick();
    void SBCheckClick();
    void SBSaveClick();
    void SBRejectsClick();
    void SBTemplateClick();
    void SBExitClick();
    void SBCancelClick();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildColumnMap();
    void connectButtons();
    // Runs long work as the one thing going on; a close asked meanwhile
    // takes effect afterwards.
    void busy(const std::function<void()>& work);
    void loadWorkbook(const QString& path);
    void fillFromHeader();
    void updateBoxNotes();
    void refreshPreview();
    void showStoredWorkers();
    std::array<QString, ImportRow::SlotCount> boxes() const;

    std::unique_ptr<Ui::TWorkerInfoImaportFrm> ui_;
    std::array<QLineEdit*, ImportRow::SlotCount> edt_{};
    ImportRow row_;
    WorkerWriter writer_;
    ImportRun run_;
    std::unique_ptr<Query> qryDept_;
    bool running_ = false;
    bool closeRequested_ = false;

    RememberedMap remembered_;
    std::optional<QStringList> headers_;
    std::unique_ptr<SpreadsheetLink> book_;  // the chosen workbook, for the preview
    QTimer previewTimer_;
    RejectsExport::Source lastSource_;
    QList<ImportRun::NotImported> lastRefused_;
};
