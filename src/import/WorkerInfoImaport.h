#pragma once

#include "import/ImportRow.h"
#include "import/ImportRun.h"
#include "import/RejectsExport.h"
#include "import/RememberedMap.h"
#include "import/WorkerWriter.h"
#include "import/window/RunProgress.h"
#include "import/window/ValidationMarks.h"
#include "platform/db/Query.h"

#include <QStringList>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class QCheckBox;
class QLineEdit;
class NotImportedModel;
class SheetChoice;
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
    const QString& mapText(int slot) const override;
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
    void checkFinished(int importable, int refused) override;
    void mapAccepted() override;
    void openWorkbook(SpreadsheetLink& link, const QString& path) override;
    QString sheetChoice() const override { return sheetName_; }
    int headerRow() const override { return qMax(1, headerRow_); }
    void rowsDone(const Progress& progress) override;
    void rowRefused(int sheetRow, const ImportRow& row, const QString& line, const QString& reason) override;
    CheckSettings checkSettings() const override;
    void cellProblem(const CellProblem& problem) override;

    // The preview's problems and the clerk's edits of its cells.
    const ValidationMarks& marks() const { return marks_; }

    NotImportedModel& notImportedModel() const { return *notImported_; }
    SheetChoice& sheetChooser() const { return *sheetChoice_; }
    const RunProgress& runProgress() const { return progress_; }

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
    void busy(const std::function<void()>& work, RunProgress::Kind kind = RunProgress::Kind::Check);
    // The buttons that a running action would refuse; 退出 stays live.
    void setButtonsEnabled(bool enabled);
    // Shows what the run added since the last look (list lines, counts).
    void showProgress();
    void setupNotImportedTable();
    void setupButtons();
    void restoreSize();
    void rememberSize() const;
    void loadWorkbook(const QString& path);
    // The sheet or header row the clerk chose: the header, the map
    // suggestion and the preview follow, from the workbook already read.
    void chooseSheet(const QString& name);
    void chooseHeaderRow(int row);
    void readHeaderRow();
    // Fills the boxes from the header when it names enough fields.
    void suggestFromHeader();
    // A new file, sheet or header row: nothing of an earlier run stays.
    void startAfresh();
    void fillFromHeader();
    void updateBoxNotes();
    void refreshPreview();
    void showStoredWorkers();
    // After an import that left rows behind: the workbook's rows with the
    // run's marks, only the rows with a problem in view.
    void showRefusedRows();
    std::array<QString, ImportRow::SlotCount> boxes() const;
    // The validation grid (ValidationGrid.cpp): marks, edits, settings.
    void setupValidation();
    void cellEdited(int sheetRow, int slot, int sheetColumn, const QString& text);
    void editUndone(int sheetRow, int slot, int sheetColumn);
    void recheckRow(int sheetRow, int editedSlot);
    // The preview keeps its first rows: a check's problem rows after them
    // are added, so that every problem can be seen and corrected.
    void showProblemRows();
    // The file, sheet and map the edits were made for.
    QString editsKey() const;
    // Drops the edits, with a word, when the file, sheet or map changed.
    void dropStaleEdits();

    std::unique_ptr<Ui::TWorkerInfoImaportFrm> ui_;
    std::array<QLineEdit*, ImportRow::SlotCount> edt_{};
    std::array<QString, ImportRow::SlotCount> boxTexts_;  // the boxes' texts, kept as they change
    ImportRow row_;
    WorkerWriter writer_;
    ImportRun run_;
    std::unique_ptr<Query> qryDept_;
    bool running_ = false;
    bool closeRequested_ = false;
    bool stopAsked_ = false;       // 是 to the close question: summary, then close
    bool importing_ = false;       // the running action writes (else it checks or reads)
    bool writingShown_ = false;    // the status line shows the write pass
    bool countsShown_ = false;     // the status line holds the run's final counts
    bool rowsCounted_ = false;     // a run has counted rows (opening a file counts none)

    NotImportedModel* notImported_;
    RunProgress progress_;
    QElapsedTimer clock_;

    RememberedMap remembered_;
    std::optional<QStringList> headers_;
    std::unique_ptr<SpreadsheetLink> book_;  // the chosen workbook, for the preview
    QString bookPath_;                       // its path
    bool keepGrid_ = false;                  // a check leaves the preview in the grid
    QTimer previewTimer_;
    SheetChoice* sheetChoice_ = nullptr;
    QString sheetName_;                      // the sheet read ("": the active one)
    int headerRow_ = 1;                      // 0 until a new file's is found
    RejectsExport::Source lastSource_;
    QList<ImportRun::NotImported> lastRefused_;
    ValidationMarks marks_;
    QString editsKey_;    // editsKey() when the first edit was made
    QString editsSheet_;  // and the sheet
    QCheckBox* strictId_ = nullptr;
    QCheckBox* fillFromId_ = nullptr;
};
