// The import window's validation grid: the problems a check or an import
// found, shown on the preview's cells; cells edited in place, each edit
// checked again at once and read by the next run instead of the file's
// text; the settings of the identity-number checks.

#include "import/ImportRun.h"
#include "import/SpreadsheetLink.h"
#include "import/StagingGrid.h"
#include "import/WorkerInfoImaport.h"
#include "import/window/NotImportedModel.h"
#include "platform/Dialogs.h"
#include "platform/gui/Application.h"
#include "ui_WorkerInfoImaport.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTableView>
#include <QVBoxLayout>

namespace {
const QString kStrictId = QStringLiteral("StrictId");
const QString kFillFromId = QStringLiteral("FillFromId");

QString settingsPath()
{
    return checkSettingsPath();
}

bool setting(const QString& key)
{
    return QSettings(settingsPath(), QSettings::IniFormat).value(key, false).toBool();
}

// The cell as the file has it (once its edit is removed); an error value
// reads as nothing, as the preview shows it.
QString fileText(SpreadsheetLink& link, int row, int column)
{
    QString text;
    try {
        text = link.ReadCellText(row, column);
    } catch (const std::exception&) {
    }
    return text;
}

void saveSetting(const QString& key, bool value)
{
    QDir().mkpath(QFileInfo(settingsPath()).absolutePath());
    QSettings(settingsPath(), QSettings::IniFormat).setValue(key, value);
}
} // namespace

QString checkSettingsPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + QStringLiteral("/checks.ini");
}

void TWorkerInfoImaportFrm::setupValidation()
{
    StagingGrid* grid = ui_->dxDBGrid1;
    grid->setMarks(&marks_);
    connect(grid, &StagingGrid::cellEdited, this,
            [this](int sheetRow, int slot, int sheetColumn, const QString& text) {
                guardedHandler([&] { cellEdited(sheetRow, slot, sheetColumn, text); })();
            });
    connect(grid, &StagingGrid::editUndone, this, [this](int sheetRow, int slot, int sheetColumn) {
        guardedHandler([&] { editUndone(sheetRow, slot, sheetColumn); })();
    });
    connect(ui_->ListBox1, &QTableView::clicked, this, [this](const QModelIndex& index) {
        if (index.isValid())
            ui_->dxDBGrid1->selectSheetRow(notImported_->line(index.row()).sheetRow);
    });

    const auto box = [this](const QString& name, const QString& text, const QString& key) {
        auto* b = new QCheckBox(text, ui_->Panel2);
        b->setObjectName(name);
        b->setChecked(setting(key));
        connect(b, &QCheckBox::toggled, this, [key](bool on) { saveSetting(key, on); });
        ui_->Panel2Layout->addWidget(b);
        return b;
    };
    strictId_ = box(QStringLiteral("StrictIdBox"), QStringLiteral("身份证号码有误的行不导入"), kStrictId);
    fillFromId_ = box(QStringLiteral("FillFromIdBox"), QStringLiteral("由身份证号码补全出生日期和性别"), kFillFromId);
}

ImportView::CheckSettings TWorkerInfoImaportFrm::checkSettings() const
{
    return {strictId_->isChecked(), fillFromId_->isChecked()};
}

void TWorkerInfoImaportFrm::cellProblem(const CellProblem& problem)
{
    marks_.add(problem);
}

QString TWorkerInfoImaportFrm::editsKey() const
{
    QStringList key{pathText()};
    for (const QString& b : boxes())
        key << b;
    return key.join(u'\t');
}

void TWorkerInfoImaportFrm::dropStaleEdits()
{
    if (marks_.edits().isEmpty())
        return;
    if (editsKey() == editsKey_ && (!book_ || book_->sheetName() == editsSheet_))
        return;
    const int dropped = marks_.edits().size();
    marks_.edits().clear();
    ui_->dxDBGrid1->marksChanged();
    Dialogs::messageBox(QStringLiteral("表格文件、工作表或列的对应已改变，表格中修改过的 %1 个单元格已放弃修改。").arg(dropped),
                        QStringLiteral("提示"), MsgIcon::Information);
}

void TWorkerInfoImaportFrm::cellEdited(int sheetRow, int slot, int sheetColumn, const QString& text)
{
    if (!book_ || running_ || sheetRow <= headerRow() || sheetColumn < 1)
        return;
    if (marks_.edits().isEmpty()) {
        editsKey_ = editsKey();
        editsSheet_ = book_->sheetName();
    }
    // Typing the file's own text back undoes the edit.
    marks_.edits().remove(sheetRow, sheetColumn);
    if (fileText(*book_, sheetRow, sheetColumn) != text)
        marks_.edits().set(sheetRow, sheetColumn, text);
    // A key or a date in another column may read the same cell.
    ui_->dxDBGrid1->setCellText(sheetRow, sheetColumn, text);
    recheckRow(sheetRow, slot);
}

void TWorkerInfoImaportFrm::editUndone(int sheetRow, int slot, int sheetColumn)
{
    if (!book_ || running_ || !marks_.edits().remove(sheetRow, sheetColumn))
        return;
    ui_->dxDBGrid1->setCellText(sheetRow, sheetColumn, fileText(*book_, sheetRow, sheetColumn));
    recheckRow(sheetRow, slot);
}

void TWorkerInfoImaportFrm::recheckRow(int sheetRow, int editedSlot)
{
    const RowChecks::Columns columns = ImportRun::mapColumns(*this);
    RowChecks::Options options;
    options.strictId = strictId_->isChecked();
    options.fillFromId = fillFromId_->isChecked();
    options.adding = importMode() == 0;
    marks_.recheck(sheetRow, ValidationMarks::checkRow(*book_, sheetRow, columns, options), editedSlot);
    ui_->dxDBGrid1->rowMarksChanged(sheetRow);
}

void TWorkerInfoImaportFrm::showProblemRows()
{
    StagingGrid* grid = ui_->dxDBGrid1;
    const int last = grid->lastSheetRow();
    if (!book_ || last == 0)
        return;
    QList<QStringList> rows;
    for (int sheetRow : marks_.problemRowsAfter(last)) {
        QStringList cells;
        for (const StagingGrid::Column& c : grid->shownColumns()) {
            if (c.slot == 0) {
                cells << QString::number(sheetRow);
            } else if (c.slot > 0 && c.sheetColumn > 0) {
                try {
                    cells << book_->ReadCellText(sheetRow, c.sheetColumn);
                } catch (const std::exception&) {
                    cells << QString(); // the run named it already
                }
            } else {
                cells << QString();
            }
        }
        rows << cells;
    }
    grid->appendPreviewRows(std::move(rows));
}
