#include "import/WorkerInfoImaport.h"

#include "data/UserDMUnit.h"
#include "import/HeaderMap.h"
#include "import/ImportCheck.h"
#include "import/ImportTemplate.h"
#include "import/SpreadsheetLink.h"
#include "import/StagingGrid.h"
#include "import/StagingQuery.h"
#include "import/WorkbookPreview.h"
#include "import/window/ElidedLabel.h"
#include "import/window/NotImportedModel.h"
#include "import/window/SheetChoice.h"
#include "import/window/WindowSize.h"
#include "platform/Dialogs.h"
#include "platform/Errors.h"
#include "platform/gui/Application.h"
#include "platform/gui/Fonts.h"
#include "records/RunRecorder.h"
#include "records/window/RunRecordsDialog.h"
#include "ui_WorkerInfoImaport.h"

#include <QCloseEvent>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QHeaderView>
#include <QScreen>
#include <QStyle>
#include <QTableView>
#include <QProgressBar>
#include <QSet>
#include <QThread>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>

namespace {

const QString kPrompt = QStringLiteral("提示");
const QString kWorkbookFilter = QStringLiteral(
    "表格文件 (*.xls *.xlsx *.ods *.csv *.txt *.tsv)|*.xls;*.xlsx;*.ods;*.csv;*.txt;*.tsv"
    "|Excel数据文件 (*.xls)|*.xls"
    "|Excel 工作簿 (*.xlsx)|*.xlsx"
    "|OpenDocument 电子表格 (*.ods)|*.ods"
    "|文本文件 (*.csv *.txt *.tsv)|*.csv;*.txt;*.tsv");
const QString kXlsxFilter = QStringLiteral("Excel 工作簿 (*.xlsx)|*.xlsx");
constexpr qint64 kPreviewBreathMs = 100; // between two looks at the events while the preview reads

QFrame* line(QFrame::Shape shape, QWidget* parent)
{
    auto* f = new QFrame(parent);
    f->setFrameShape(shape);
    f->setFrameShadow(QFrame::Plain);
    f->setLineWidth(1);
    f->setStyleSheet(QStringLiteral("color: #6F9FAF;"));
    return f;
}

void info(const QString& text)
{
    Dialogs::messageBox(text, kPrompt, MsgIcon::Information);
}

void refuse(const QString& text)
{
    Dialogs::messageBox(text, kPrompt, MsgIcon::Error);
}
} // namespace

TWorkerInfoImaportFrm::TWorkerInfoImaportFrm(QWidget* parent)
    : QWidget(parent)
    , ui_(std::make_unique<Ui::TWorkerInfoImaportFrm>())
    , run_(*this, row_, writer_)
    , notImported_(new NotImportedModel(this))
{
    ui_->setupUi(this);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);

    setFont(pixelFont("宋体", 12));
    ui_->LblTitle->setFont(pixelFont("仿宋_GB2312", 20, true));
    ui_->LblListHeader->setFont(pixelFont("宋体", 16, true));

    ui_->SBCancel->hide();
    setupNotImportedTable();
    setupValidation();
    setupButtons();
    buildColumnMap();
    connectButtons();
    restoreSize();

    previewTimer_.setSingleShot(true);
    previewTimer_.setInterval(0); // after the events queued: keys typed at once, one preview

    // The sheet and header row, under the file box: beside it they would
    // widen the window past a 1280-pixel screen.
    sheetChoice_ = new SheetChoice(ui_->BtSelect->parentWidget());
    if (auto* panel = qobject_cast<QBoxLayout*>(ui_->BtSelect->parentWidget()->layout())) {
        const int at = panel->indexOf(ui_->LblFile);
        auto* fileRow = new QHBoxLayout;
        fileRow->setSpacing(panel->spacing());
        for (QWidget* w : std::initializer_list<QWidget*>{ui_->LblFile, ui_->EdtPaths, ui_->BtSelect}) {
            panel->removeWidget(w);
            fileRow->addWidget(w);
        }
        auto* stack = new QVBoxLayout;
        stack->setSpacing(4);
        stack->addLayout(fileRow);
        stack->addWidget(sheetChoice_, 0, Qt::AlignLeft);
        panel->insertLayout(at, stack);
    }
    connect(sheetChoice_, &SheetChoice::sheetChosen, this,
            [this](const QString& name) { guardedHandler([this, name] { chooseSheet(name); })(); });
    connect(sheetChoice_, &SheetChoice::headerRowChosen, this,
            [this](int row) { guardedHandler([this, row] { chooseHeaderRow(row); })(); });
    connect(&previewTimer_, &QTimer::timeout, this, guardedHandler([this] { refreshPreview(); }));

    qryDept_ = std::make_unique<Query>(UserDM->ADOConnection1);
    for (const QString& l : stagingQuerySql())
        qryDept_->add(l);
    qryDept_->close();

    remembered_ = RememberedMap::load();
    for (int k = 1; k <= ImportRow::SlotCount; ++k)
        Edt(k)->setText(remembered_.boxes[size_t(k - 1)]);
    updateBoxNotes();
}

TWorkerInfoImaportFrm::~TWorkerInfoImaportFrm() = default;

void TWorkerInfoImaportFrm::connectButtons()
{
    const auto on = [this](QToolButton* b, void (TWorkerInfoImaportFrm::*slot)()) {
        connect(b, &QToolButton::clicked, this, guardedHandler([this, slot] { (this->*slot)(); }));
    };
    on(ui_->BtSelect, &TWorkerInfoImaportFrm::BtSelectClick);
    on(ui_->BtAutoMap, &TWorkerInfoImaportFrm::BtAutoMapClick);
    on(ui_->BtClearMap, &TWorkerInfoImaportFrm::BtClearMapClick);
    on(ui_->SBCheck, &TWorkerInfoImaportFrm::SBCheckClick);
    on(ui_->SBSave, &TWorkerInfoImaportFrm::SBSaveClick);
    on(ui_->SBRejects, &TWorkerInfoImaportFrm::SBRejectsClick);
    on(ui_->SBTemplate, &TWorkerInfoImaportFrm::SBTemplateClick);
    on(ui_->SBExit, &TWorkerInfoImaportFrm::SBExitClick);
    on(ui_->SBCancel, &TWorkerInfoImaportFrm::SBCancelClick);

    // The record of runs, beside 模板: a button the form does not hold.
    auto* records = new QToolButton(ui_->SBTemplate->parentWidget());
    records->setObjectName(QStringLiteral("SBRecords"));
    records->setText(QStringLiteral("导入记录"));
    records->setToolButtonStyle(ui_->SBTemplate->toolButtonStyle());
    records->setSizePolicy(ui_->SBTemplate->sizePolicy());
    if (auto* box = qobject_cast<QBoxLayout*>(ui_->SBTemplate->parentWidget()->layout()))
        box->insertWidget(box->indexOf(ui_->SBTemplate) + 1, records);
    connect(records, &QToolButton::clicked, this, guardedHandler([this] {
        RunRecordsDialog dialog(UserDM->ADOConnection1, this);
        dialog.exec();
    }));
}

void TWorkerInfoImaportFrm::buildColumnMap()
{
    auto* outer = new QVBoxLayout(ui_->MapArea);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(1);
    QHBoxLayout* rowLayout = nullptr;
    for (const ImportSlot& s : importSlots()) {
        if (s.slot == 1 || s.slot == 17) {
            if (s.slot == 17)
                outer->addWidget(line(QFrame::HLine, ui_->MapArea));
            rowLayout = new QHBoxLayout;
            rowLayout->setSpacing(2);
            outer->addLayout(rowLayout);
        } else {
            rowLayout->addWidget(line(QFrame::VLine, ui_->MapArea));
        }
        auto* cell = new QWidget(ui_->MapArea);
        auto* v = new QVBoxLayout(cell);
        v->setContentsMargins(0, 0, 0, 0);
        v->setSpacing(1);
        auto* caption = new QLabel(QString::fromUtf8(s.caption), cell);
        caption->setAlignment(Qt::AlignCenter);
        // A point smaller: sixteen captions in a row must fit a 1280-pixel screen.
        QFont f = caption->font();
        f.setPointSizeF(std::max(8.0, f.pointSizeF() - 1));
        f.setBold(s.required);
        caption->setFont(f);
        v->addWidget(caption);
        auto* h = new QHBoxLayout;
        h->setSpacing(1);
        auto* box = new QLineEdit(cell);
        box->setObjectName(QStringLiteral("Edt%1").arg(s.slot));
        box->setFixedWidth(35);
        h->addStretch();
        h->addWidget(box);
        auto* mark = new QLabel(s.updatable ? QStringLiteral("-") : QString(), cell);
        mark->setStyleSheet(QStringLiteral("color: red; font-weight: bold;"));
        mark->setFixedWidth(6);
        h->addWidget(mark);
        h->addStretch();
        v->addLayout(h);
        rowLayout->addWidget(cell);
        edt_[size_t(s.slot - 1)] = box;
        // A column letter is kept as its number, the one form of a box.
        connect(box, &QLineEdit::editingFinished, this, [box] {
            int column = 0;
            if (HeaderMap::parseColumn(box->text(), column) && column >= 1 && box->text() != HeaderMap::columnText(column))
                box->setText(HeaderMap::columnText(column));
        });
        connect(box, &QLineEdit::textChanged, this, [this, slot = s.slot](const QString& text) {
            boxTexts_[size_t(slot - 1)] = text;
            updateBoxNotes();
            if (book_ && !running_)
                previewTimer_.start();
        });
    }
    rowLayout->addStretch();
    for (int k = 1; k < ImportRow::SlotCount; ++k)
        setTabOrder(Edt(k), Edt(k + 1));
    setTabOrder(Edt(ImportRow::SlotCount), ui_->EdtPaths);
}

void TWorkerInfoImaportFrm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TWorkerInfoImaportFrm::FormShow()
{
    row_.DeptNo.clear();
}

namespace {
// A box a run shows mid-way (a duplicate worker number, say) stands over
// the status line as it is then, not as it was at the last breath.
class RunDialogs : public ForwardingDialogs {
public:
    RunDialogs(DialogSeam& inner, std::function<void()> before)
        : ForwardingDialogs(inner)
        , before_(std::move(before))
    {
    }
    void messageBox(const QString& text, const QString& caption, MsgIcon icon) override
    {
        before_();
        inner_.messageBox(text, caption, icon);
    }
    bool messageBoxWithCheck(const QString& text, const QString& caption, MsgIcon icon, const QString& checkText) override
    {
        before_();
        return inner_.messageBoxWithCheck(text, caption, icon, checkText);
    }
    bool confirm(const QString& text) override
    {
        before_();
        return inner_.confirm(text);
    }

private:
    std::function<void()> before_;
};
} // namespace

void TWorkerInfoImaportFrm::busy(const std::function<void()>& work, RunProgress::Kind kind)
{
    // One long action at a time: each lets the window handle clicks.
    if (running_)
        return;
    running_ = true;
    closeRequested_ = stopAsked_ = writingShown_ = countsShown_ = rowsCounted_ = false;
    importing_ = kind == RunProgress::Kind::Import;
    previewTimer_.stop();
    clock_.start();
    progress_.start(kind, clock_.elapsed());
    setButtonsEnabled(false);
    RunDialogs dialogs(Dialogs::seam(), [this] {
        if (rowsCounted_ && !countsShown_) // the end's counts stay
            showProgress();
    });
    struct Reset {
        TWorkerInfoImaportFrm& w;
        DialogSeam* dialogs;
        ~Reset()
        {
            Dialogs::install(dialogs);
            w.running_ = w.importing_ = false;
            w.notImported_->flush();
            w.setButtonsEnabled(true);
            w.ui_->ProgressBar1->setRange(0, 100);
            // A run refused before its end (an unknown department, say)
            // leaves no "正在…" nor a bar part-way behind: its box said why.
            if (!w.countsShown_) {
                w.ui_->LblCounts->clear();
                w.ui_->ProgressBar1->setValue(0);
            }
        }
    } reset{*this, Dialogs::install(&dialogs)};
    work();
    if (closeRequested_) {
        running_ = false;
        notImported_->flush();
        if (stopAsked_)
            info(QStringLiteral("导入已停止。\n%1").arg(progress_.stoppedSummary(run_.imported(), run_.notImported())));
        close();
    }
}

void TWorkerInfoImaportFrm::setButtonsEnabled(bool enabled)
{
    for (QWidget* b : std::initializer_list<QWidget*>{ui_->BtSelect, ui_->BtAutoMap, ui_->BtClearMap, ui_->SBCheck, ui_->SBSave,
                                                      ui_->SBRejects, ui_->SBTemplate, ui_->RadioGroup1})
        b->setEnabled(enabled);
    sheetChoice_->setEnabled(enabled);
    // The grid's cells are what a run reads: not edited while one does, nor
    // after an import emptied the file box (an edit then reaches no run).
    const bool editable = enabled && !pathText().isEmpty();
    ui_->dxDBGrid1->view()->setEditTriggers(editable ? QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                                                     : QAbstractItemView::NoEditTriggers);
}

void TWorkerInfoImaportFrm::setupNotImportedTable()
{
    QTableView* t = ui_->ListBox1;
    t->setModel(notImported_);
    t->setWordWrap(false);
    t->setTextElideMode(Qt::ElideRight);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setAlternatingRowColors(true);
    t->verticalHeader()->hide();
    // Fixed heights and widths: nothing is measured per line, so tens of
    // thousands of lines lay out at once.
    t->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    t->verticalHeader()->setDefaultSectionSize(t->fontMetrics().height() + 6);
    QHeaderView* h = t->horizontalHeader();
    h->setSectionResizeMode(QHeaderView::Interactive);
    h->setStretchLastSection(true);
    const int digit = t->fontMetrics().horizontalAdvance(u'0');
    const int han = t->fontMetrics().horizontalAdvance(QChar(0x4E00));
    t->setColumnWidth(NotImportedModel::SheetRow, digit * 6 + 8);
    t->setColumnWidth(NotImportedModel::Workerid, digit * 8 + 8);
    t->setColumnWidth(NotImportedModel::Name, han * 4 + 8);
}

void TWorkerInfoImaportFrm::setupButtons()
{
    // Buttons that look like buttons: raised, an icon beside the text.
    const std::pair<QToolButton*, QStyle::StandardPixmap> icons[] = {
        {ui_->BtSelect, QStyle::SP_DialogOpenButton},   {ui_->BtAutoMap, QStyle::SP_FileDialogDetailedView},
        {ui_->BtClearMap, QStyle::SP_DialogResetButton}, {ui_->SBCheck, QStyle::SP_DialogApplyButton},
        {ui_->SBRejects, QStyle::SP_DialogSaveButton},  {ui_->SBTemplate, QStyle::SP_FileIcon},
    };
    for (const auto& [button, pixmap] : icons)
        if (button->icon().isNull())
            button->setIcon(style()->standardIcon(pixmap));
    for (QToolButton* b : findChildren<QToolButton*>()) {
        b->setAutoRaise(false);
        b->setToolButtonStyle(b == ui_->BtSelect ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextBesideIcon);
    }
    ui_->BtSelect->setToolTip(QStringLiteral("选择导入文件"));
    // The path is chosen with the button only: the box looks read-only too.
    ui_->EdtPaths->setStyleSheet(QStringLiteral("QLineEdit { background: palette(window); }"));
    ui_->EdtPaths->setPlaceholderText(QStringLiteral("按右边的按钮选择文件"));
}

void TWorkerInfoImaportFrm::restoreSize()
{
    const WindowSize last = WindowSize::load();
    if (last.maximized) {
        setWindowState(Qt::WindowMaximized);
        return;
    }
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1240, 680);
    resize(WindowSize::clamped(last.size, minimumSizeHint(), available));
}

void TWorkerInfoImaportFrm::rememberSize() const
{
    WindowSize w;
    w.maximized = isMaximized();
    w.size = w.maximized ? normalGeometry().size() : size();
    w.save();
}

void TWorkerInfoImaportFrm::openWorkbook(SpreadsheetLink& link, const QString& path)
{
    // A large workbook takes a second or more to open: open it on another
    // thread while the window stays alive, its bar moving.
    dropStaleEdits();
    link.setEdits(&marks_.edits());
    std::exception_ptr failure;
    QEventLoop wait;
    std::unique_ptr<QThread> opener(QThread::create([&, sheet = sheetName_] {
        try {
            link.OpenWorkbook(path, sheet);
        } catch (...) {
            failure = std::current_exception();
        }
    }));
    connect(opener.get(), &QThread::finished, &wait, &QEventLoop::quit);
    ui_->ProgressBar1->setRange(0, 0);
    opener->start();
    wait.exec();
    opener->wait();
    ui_->ProgressBar1->setRange(0, 100);
    if (failure)
        std::rethrow_exception(failure);
}

void TWorkerInfoImaportFrm::BtSelectClick()
{
    if (running_)
        return;
    const QString path = Dialogs::openFileName(this, kWorkbookFilter);
    if (path.isEmpty())
        return;
    ui_->EdtPaths->setText(path);
    startAfresh();
    sheetName_.clear();
    headerRow_ = 0;
    busy([this, path] { loadWorkbook(path); });
}

void TWorkerInfoImaportFrm::startAfresh()
{
    notImported_->clear();
    ui_->LblCounts->clear();
    ui_->ProgressBar1->setValue(0);
    lastRefused_.clear();
}

void TWorkerInfoImaportFrm::readHeaderRow()
{
    sheetChoice_->setHeaderRow(headerRow_, book_->usedRows());
    headers_ = HeaderMap::readHeaderRow(*book_, headerRow_);
}

void TWorkerInfoImaportFrm::suggestFromHeader()
{
    const HeaderMap::Columns columns = HeaderMap::suggest(*headers_);
    if (std::count_if(columns.begin(), columns.end(), [](int c) { return c > 0; }) < HeaderMap::kHeaderMinFields)
        return;
    for (int k = 1; k <= ImportRow::SlotCount; ++k) {
        const int c = columns[size_t(k - 1)];
        Edt(k)->setText(c > 0 ? HeaderMap::columnText(c) : QString());
    }
}

void TWorkerInfoImaportFrm::chooseSheet(const QString& name)
{
    if (running_ || name == sheetName_)
        return;
    startAfresh();
    if (!book_) { // given up for a run: read the file again
        if (pathText().isEmpty())
            return;
        sheetName_ = name;
        headerRow_ = 0;
        busy([this] { loadWorkbook(pathText()); });
        return;
    }
    try {
        book_->selectSheet(name);
    } catch (const std::exception& e) {
        refuse(errorText(e));
        sheetChoice_->setSheets(book_->sheets(), sheetName_);
        return;
    }
    sheetName_ = name;
    headerRow_ = ::chooseHeaderRow(*book_, remembered_);
    readHeaderRow();
    suggestFromHeader();
    updateBoxNotes();
    refreshPreview();
}

void TWorkerInfoImaportFrm::chooseHeaderRow(int row)
{
    if (running_ || row == headerRow_)
        return;
    startAfresh();
    headerRow_ = row;
    if (!book_) {
        if (pathText().isEmpty())
            return;
        busy([this] { loadWorkbook(pathText()); });
        return;
    }
    readHeaderRow();
    suggestFromHeader();
    updateBoxNotes();
    refreshPreview();
}

void TWorkerInfoImaportFrm::loadWorkbook(const QString& path)
{
    book_.reset();
    headers_.reset();
    auto link = std::make_unique<SpreadsheetLink>();
    try {
        openWorkbook(*link, path);
    } catch (const std::exception& e) {
        updateBoxNotes();
        refuse(cannotOpenWorkbookText(path, errorText(e)));
        return;
    }
    book_ = std::move(link);
    bookPath_ = path;
    if (sheetName_.isEmpty())
        ::chooseRememberedSheet(*book_, remembered_);
    sheetName_ = book_->sheetName();
    sheetChoice_->setSheets(book_->sheets(), sheetName_);
    if (headerRow_ < 1)
        headerRow_ = ::chooseHeaderRow(*book_, remembered_);
    readHeaderRow();
    const auto current = boxes();
    if (std::all_of(current.begin(), current.end(), [](const QString& b) { return b.isEmpty(); }))
        fillFromHeader();
    updateBoxNotes();
    refreshPreview();
}

void TWorkerInfoImaportFrm::BtAutoMapClick()
{
    if (running_)
        return;
    if (!headers_) {
        refuse(QStringLiteral("请先选择导入文件，再按表头对应。"));
        return;
    }
    fillFromHeader();
    refreshPreview();
}

void TWorkerInfoImaportFrm::fillFromHeader()
{
    const HeaderMap::Columns columns = HeaderMap::suggest(*headers_);
    for (int k = 1; k <= ImportRow::SlotCount; ++k) {
        const int c = columns[size_t(k - 1)];
        Edt(k)->setText(c > 0 ? HeaderMap::columnText(c) : QString());
    }
    const QStringList missing = HeaderMap::missingRequired(columns);
    if (missing.isEmpty())
        return;
    QString text = HeaderMap::missingMessage(missing);
    const QString other = book_ ? HeaderMap::otherSheetWithHeader(*book_) : QString();
    if (!other.isEmpty())
        text += u'\n' + HeaderMap::otherSheetHint(other, QStringLiteral("请在「工作表」中选择它"));
    refuse(text);
}

void TWorkerInfoImaportFrm::BtClearMapClick()
{
    if (running_)
        return;
    for (QLineEdit* box : edt_)
        box->clear();
}

void TWorkerInfoImaportFrm::updateBoxNotes()
{
    const QStringList* headers = headers_ ? &*headers_ : nullptr;
    for (int k = 1; k <= ImportRow::SlotCount; ++k) {
        QLineEdit* box = Edt(k);
        const size_t i = size_t(k - 1);
        // The header remembered for a box counts only while it holds the
        // number it held then.
        const QString remembered = box->text() == remembered_.boxes[i] ? remembered_.headers[i] : QString();
        const HeaderMap::BoxNote note = HeaderMap::noteForBox(k, box->text(), headers, remembered, book_ ? book_->usedColumns() : 0);
        box->setToolTip(note.text);
        // A style sheet costs a polish of the box: set only when it changes.
        const QString style = note.suspect ? QStringLiteral("QLineEdit { border: 2px solid red; }") : QString();
        box->setProperty("suspect", note.suspect);
        if (box->styleSheet() != style)
            box->setStyleSheet(style);
    }
}

void TWorkerInfoImaportFrm::refreshPreview()
{
    if (!book_)
        return;
    dropStaleEdits();
    // The window looks at its events now and then by time, not at every
    // progress call: a preview after each box must stay quick.
    QElapsedTimer sinceEvents;
    sinceEvents.start();
    const WorkbookPreview p = WorkbookPreview::read(*book_, boxes(), [this, &sinceEvents](int percent) {
        if (sinceEvents.elapsed() >= kPreviewBreathMs) {
            setProgress(percent);
            QCoreApplication::processEvents();
            sinceEvents.restart();
        }
        return !closeRequested_;
    }, WorkbookPreview::kShownRows, headerRow_);
    QList<StagingGrid::Column> columns{{QStringLiteral("行号"), QString(), 50, false, false}};
    for (const WorkbookPreview::Column& c : p.columns) {
        const bool filter = c.slot == 1 || c.slot == 2 || c.slot == 17 || c.slot == 19;
        int sheetColumn = 0;
        HeaderMap::parseColumn(mapText(c.slot), sheetColumn);
        // An identity number typed over shows bold: wide enough for that too.
        columns.append({c.caption, QString(), c.slot == 9 ? 170 : 90, filter, false, c.slot, sheetColumn});
    }
    columns.append({QStringLiteral("问题"), QString(), 320, false, false, StagingGrid::kProblemsSlot, 0});
    QList<QStringList> rows;
    rows.reserve(p.cells.size());
    for (qsizetype i = 0; i < p.cells.size(); ++i)
        rows << (QStringList{QString::number(p.sheetRows[i])} + p.cells[i]);
    ui_->dxDBGrid1->showPreview(columns, std::move(rows), p.dataRows);
}

void TWorkerInfoImaportFrm::SBSaveClick()
{
    busy([this] {
        ui_->LblCounts->clear();
        book_.reset(); // the run opens the workbook itself
        lastSource_ = RejectsExport::Source::of(pathText());
        RunRecorder recorder(UserDM->ADOConnection1, *this);
        writer_.setRecorder(&recorder);
        recorder.runComing();
        const RunEnd end = run_.SBSaveClick();
        writer_.setRecorder(nullptr);
        recorder.runEnded(end, run_.imported(), run_.notImported());
        lastRefused_ = run_.notImportedRows();
        if (end == RunEnd::Succeeded || end == RunEnd::Stopped || end == RunEnd::WritePassFailed) {
            if (run_.notImported() > 0 && !closeRequested_)
                showRefusedRows();
            else
                showStoredWorkers();
        } else if (end == RunEnd::DeptCheckFailed && !closeRequested_ && !pathText().isEmpty()) {
            // Nothing was written and the file is still chosen: its rows
            // again, the departments to correct marked.
            showRefusedRows();
        }
    }, RunProgress::Kind::Import);
}

void TWorkerInfoImaportFrm::SBCheckClick()
{
    busy([this] {
        ui_->LblCounts->clear();
        const QString path = pathText();
        // The preview of the file checked stays in the grid, so nothing is
        // read again afterwards; another file's goes (the check opens its own).
        if (bookPath_ != path)
            book_.reset();
        keepGrid_ = book_ != nullptr;
        struct Restore {
            bool& keep;
            ~Restore() { keep = false; }
        } restore{keepGrid_};
        lastSource_ = RejectsExport::Source::of(path);
        ImportCheck check(*this, row_);
        const RunEnd end = check.run();
        ui_->dxDBGrid1->marksChanged();
        lastRefused_ = check.lastRun().notImportedRows();
        // The file is still the one to import: show its rows again.
        if (!keepGrid_ && end != RunEnd::MapRefused && end != RunEnd::PathRefused && !closeRequested_)
            loadWorkbook(path);
        showProblemRows();
    });
}

void TWorkerInfoImaportFrm::showRefusedRows()
{
    auto link = std::make_unique<SpreadsheetLink>();
    try {
        link->OpenWorkbook(lastSource_.path, openedSheet());
    } catch (const std::exception&) {
        showStoredWorkers(); // the file is gone: what was stored, then
        return;
    }
    book_ = std::move(link);
    bookPath_ = lastSource_.path;
    headerRow_ = run_.firstDataRow() - 1;
    refreshPreview();
    ui_->dxDBGrid1->marksChanged();
    showProblemRows();
    ui_->dxDBGrid1->setOnlyProblems(true);
}

void TWorkerInfoImaportFrm::showStoredWorkers()
{
    StagingGrid* grid = ui_->dxDBGrid1;
    grid->loadFrom(*qryDept_);
    QStringList ids;
    QSet<QString> seen;
    for (const QString& id : run_.firstStoredWorkerids())
        if (ids.size() < WorkbookPreview::kShownRows && !seen.contains(id.toUpper())) {
            seen.insert(id.toUpper());
            ids << id;
        }
    // The first of them, as the preview shows the first rows: reading back
    // 65,535 employees kept the window from clicks after the end box.
    const int total = run_.storedPeople();
    readBackWorkers(UserDM->ADOConnection1, ids, [grid](Query& q) { grid->appendFrom(q); });
    grid->setTotalPeople(total);
}

void TWorkerInfoImaportFrm::SBRejectsClick()
{
    if (running_)
        return;
    if (lastRefused_.isEmpty()) {
        info(QStringLiteral("上一次导入没有未导入的行，不需要导出。"));
        return;
    }
    const QFileInfo source(lastSource_.path);
    const QString suggested = source.absolutePath() + u'/' + source.completeBaseName() + QStringLiteral("-未导入.xlsx");
    const QString out = Dialogs::saveFileName(this, kXlsxFilter, suggested);
    if (out.isEmpty())
        return;
    busy([this, out] {
        SpreadsheetLink link;
        try {
            openWorkbook(link, lastSource_.path);
            RejectsExport::write(
                link, lastSource_, lastRefused_, out,
                [this](int p) {
                    setProgress(p);
                    QCoreApplication::processEvents();
                },
                headerRow());
        } catch (const std::exception& e) {
            refuse(QStringLiteral("未导入的行没有导出。\n%1").arg(errorText(e)));
            return;
        }
        info(QStringLiteral("已把 %1 行未导入的数据导出到「%2」。改正后可以用同样的列号再导入。")
                 .arg(lastRefused_.size()).arg(QDir::toNativeSeparators(out)));
    });
}

void TWorkerInfoImaportFrm::SBTemplateClick()
{
    if (running_)
        return;
    const QString out = Dialogs::saveFileName(this, kXlsxFilter, QDir::homePath() + QStringLiteral("/人事资料导入模板.xlsx"));
    if (out.isEmpty())
        return;
    try {
        writeImportTemplate(out);
    } catch (const std::exception& e) {
        refuse(QStringLiteral("模板没有保存。\n%1").arg(errorText(e)));
        return;
    }
    info(QStringLiteral("模板已保存到「%1」。填好后选择它，按表头对应即可导入。").arg(QDir::toNativeSeparators(out)));
}

void TWorkerInfoImaportFrm::SBExitClick()
{
    close();
}

void TWorkerInfoImaportFrm::SBCancelClick()
{
}

void TWorkerInfoImaportFrm::closeEvent(QCloseEvent* event)
{
    if (running_) {
        // An import asks, as rows it has not reached stay out; a check or a
        // read simply stops. Either way the run ends after the row in hand
        // and closes the window when done.
        event->ignore();
        if (closeRequested_)
            return;
        if (importing_) {
            if (!Dialogs::confirm(progress_.closeQuestion()))
                return;
            stopAsked_ = true;
        }
        closeRequested_ = true;
        return;
    }
    event->accept();
    rememberSize();
    if (auto* app = Application::instance(); app && app->mainForm() == this)
        app->Terminate();
}

void TWorkerInfoImaportFrm::SaveWorkerRow(int mode)
{
    writer_.SaveWorkerRow(row_, mode);
}

std::array<QString, ImportRow::SlotCount> TWorkerInfoImaportFrm::boxes() const
{
    std::array<QString, ImportRow::SlotCount> texts;
    for (int k = 1; k <= ImportRow::SlotCount; ++k)
        texts[size_t(k - 1)] = mapText(k);
    return texts;
}

const QString& TWorkerInfoImaportFrm::mapText(int slot) const
{
    // The run reads every box at every row: a copy kept as they change
    // costs nothing, asking the line edits costs a tenth of the run.
    return boxTexts_[size_t(slot - 1)];
}

QString TWorkerInfoImaportFrm::pathText() const
{
    return ui_->EdtPaths->text();
}

void TWorkerInfoImaportFrm::clearPath()
{
    ui_->EdtPaths->clear();
    sheetChoice_->setSheets({}, QString());
    sheetChoice_->setHeaderRow(1, 0);
    marks_.edits().clear(); // imported: a new file is a new start
}

void TWorkerInfoImaportFrm::clearList()
{
    notImported_->clear();
    marks_.clearProblems();
}

void TWorkerInfoImaportFrm::addListLine(const QString& text, const QString& reason)
{
    // A line without its sheet row: the first field is the worker number.
    notImported_->add({0, text.section(u'-', 0, 0), text.section(u'-', 1, 1), reason});
}

void TWorkerInfoImaportFrm::rowRefused(int sheetRow, const ImportRow& row, const QString&, const QString& reason)
{
    notImported_->add({sheetRow, row.Workerid, row.Wname, reason});
}

void TWorkerInfoImaportFrm::rowsDone(const Progress& progress)
{
    // The write pass's first row shows at once: a box on an early row would
    // otherwise stand over the department pass's count.
    rowsCounted_ = true;
    const bool passBegins = progress.writing && !writingShown_;
    writingShown_ = progress.writing;
    progress_.update(progress);
    if (passBegins)
        showProgress();
}

void TWorkerInfoImaportFrm::showProgress()
{
    notImported_->flush();
    if (running_)
        ui_->LblCounts->setText(progress_.statusText(clock_.elapsed()));
}

void TWorkerInfoImaportFrm::setProgress(int value)
{
    ui_->ProgressBar1->setValue(qBound(0, value, 100));
}

int TWorkerInfoImaportFrm::importMode() const
{
    return ui_->RadioUpdate->isChecked() ? 1 : 0;
}

void TWorkerInfoImaportFrm::reopenStaging()
{
    qryDept_->close();
    qryDept_->open();
    if (!keepGrid_)
        ui_->dxDBGrid1->loadFrom(*qryDept_);
}

void TWorkerInfoImaportFrm::processMessages()
{
    // Called after every row: the window looks at its events by time, so a
    // run of refused rows goes at the tool's speed and still repaints.
    if (!clock_.isValid() || !progress_.breathDue(clock_.elapsed()))
        return;
    showProgress();
    QCoreApplication::processEvents();
}

void TWorkerInfoImaportFrm::checkFinished(int importable, int refused)
{
    // The list and the filter's count whole behind the end box: the lines
    // since the last breath go in, and the marks' count is one number.
    notImported_->flush();
    ui_->dxDBGrid1->marksChanged();
    ui_->LblCounts->setText(QStringLiteral("检查：可导入 %1 人，不能导入 %2 人").arg(importable).arg(refused));
    countsShown_ = true;
}

void TWorkerInfoImaportFrm::runFinished(int imported, int notImported)
{
    // The list whole behind the end box: only the lines since the last
    // breath are still to go in.
    notImported_->flush();
    countsShown_ = true;
    ui_->LblCounts->setText(QStringLiteral("%1 %2 人，未导入 %3 人")
                                .arg(importMode() == 1 ? QStringLiteral("已更新") : QStringLiteral("已导入"))
                                .arg(imported)
                                .arg(notImported));
}

void TWorkerInfoImaportFrm::mapAccepted()
{
    RememberedMap map;
    for (int k = 1; k <= ImportRow::SlotCount; ++k) {
        const size_t i = size_t(k - 1);
        map.boxes[i] = mapText(k);
        int c = 0;
        // A letter not yet turned into its number (a button clicked while in
        // the box) is kept as the number, the one form.
        if (HeaderMap::parseColumn(map.boxes[i], c) && c >= 1)
            map.boxes[i] = HeaderMap::columnText(c);
        if (headers_ && c >= 1 && c <= headers_->size())
            map.headers[i] = (*headers_)[c - 1];
        else if (!headers_ && map.boxes[i] == remembered_.boxes[i])
            map.headers[i] = remembered_.headers[i];
    }
    map.headerRow = headers_ ? headerRow_ : remembered_.headerRow;
    map.sheet = headers_ ? sheetName_ : remembered_.sheet;
    map.save();
    remembered_ = map;
}
