#include "import/WorkerInfoImaport.h"

#include "data/UserDMUnit.h"
#include "import/StagingGrid.h"
#include "import/StagingQuery.h"
#include "platform/Dialogs.h"
#include "platform/gui/Application.h"
#include "platform/gui/Fonts.h"
#include "ui_WorkerInfoImaport.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QVBoxLayout>

namespace {

QFrame* line(QFrame::Shape shape, QWidget* parent)
{
    auto* f = new QFrame(parent);
    f->setFrameShape(shape);
    f->setFrameShadow(QFrame::Plain);
    f->setLineWidth(1);
    f->setStyleSheet(QStringLiteral("color: #6F9FAF;"));
    return f;
}
} // namespace

TWorkerInfoImaportFrm::TWorkerInfoImaportFrm(QWidget* parent)
    : QWidget(parent)
    , ui_(std::make_unique<Ui::TWorkerInfoImaportFrm>())
    , run_(*this, row_, writer_)
{
    ui_->setupUi(this);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowState(Qt::WindowMaximized);

    setFont(pixelFont("宋体", 12));
    ui_->LblTitle->setFont(pixelFont("仿宋_GB2312", 20, true));
    ui_->LblListHeader->setFont(pixelFont("宋体", 16, true));

    ui_->RadioGroup1->hide();
    ui_->SBCancel->hide();
    buildColumnMap();

    connect(ui_->BtSelect, &QToolButton::clicked, this, guardedHandler([this] { BtSelectClick(); }));
    connect(ui_->SBSave, &QToolButton::clicked, this, guardedHandler([this] { SBSaveClick(); }));
    connect(ui_->SBExit, &QToolButton::clicked, this, guardedHandler([this] { SBExitClick(); }));
    connect(ui_->SBCancel, &QToolButton::clicked, this, guardedHandler([this] { SBCancelClick(); }));

    qryDept_ = std::make_unique<Query>(UserDM->ADOConnection1);
    for (const QString& l : stagingQuerySql())
        qryDept_->add(l);
    qryDept_->close();
}

TWorkerInfoImaportFrm::~TWorkerInfoImaportFrm() = default;

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
        if (s.required) {
            QFont f = caption->font();
            f.setBold(true);
            caption->setFont(f);
        }
        v->addWidget(caption);
        auto* h = new QHBoxLayout;
        h->setSpacing(1);
        auto* box = new QLineEdit(cell);
        box->setObjectName(QStringLiteral("Edt%1").arg(s.slot));
        box->setFixedWidth(35);
        box->setToolTip(QString::fromLatin1(s.column));
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

void TWorkerInfoImaportFrm::BtSelectClick()
{
    const QString path = Dialogs::openFileName(this, QStringLiteral("Excel数据文件|*.xls"));
    if (!path.isEmpty())
        ui_->EdtPaths->setText(path);
}

void TWorkerInfoImaportFrm::SBSaveClick()
{
    // One run at a time: the write pass lets the window handle clicks.
    if (running_)
        return;
    running_ = true;
    closeRequested_ = false;
    ui_->LblCounts->clear();
    struct Reset {
        TWorkerInfoImaportFrm& w;
        ~Reset() { w.running_ = false; }
    } reset{*this};
    run_.SBSaveClick();
    if (closeRequested_) {
        running_ = false;
        close();
    }
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
        // Stop after the row in hand; the run closes the window when done.
        closeRequested_ = true;
        event->ignore();
        return;
    }
    event->accept();
    if (auto* app = Application::instance(); app && app->mainForm() == this)
        app->Terminate();
}

void TWorkerInfoImaportFrm::SaveWorkerRow(int mode)
{
    writer_.SaveWorkerRow(row_, mode);
}

QString TWorkerInfoImaportFrm::mapText(int slot) const
{
    return Edt(slot)->text();
}

QString TWorkerInfoImaportFrm::pathText() const
{
    return ui_->EdtPaths->text();
}

void TWorkerInfoImaportFrm::clearPath()
{
    ui_->EdtPaths->clear();
}

void TWorkerInfoImaportFrm::clearList()
{
    ui_->ListBox1->clear();
}

void TWorkerInfoImaportFrm::addListLine(const QString& text, const QString& reason)
{
    auto* item = new QListWidgetItem(text, ui_->ListBox1);
    item->setToolTip(reason);
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
    ui_->dxDBGrid1->loadFrom(*qryDept_);
}

void TWorkerInfoImaportFrm::processMessages()
{
    QCoreApplication::processEvents();
}

void TWorkerInfoImaportFrm::runFinished(int imported, int notImported)
{
    ui_->LblCounts->setText(QStringLiteral("已导入 %1 人，未导入 %2 人").arg(imported).arg(notImported));
}
