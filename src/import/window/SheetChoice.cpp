#include "import/window/SheetChoice.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>

namespace {
// A header row is looked for among the first rows; the clerk may go further.
constexpr int kMaxHeaderRow = 1048575;
} // namespace

SheetChoice::SheetChoice(QWidget* parent)
    : QWidget(parent)
    , sheets_(new QComboBox(this))
    , headerRow_(new QSpinBox(this))
{
    auto* h = new QHBoxLayout(this);
    h->setContentsMargins(0, 0, 0, 0);
    h->setSpacing(4);
    h->addWidget(new QLabel(QStringLiteral("工作表："), this));
    sheets_->setObjectName(QStringLiteral("CbSheet"));
    sheets_->setMinimumContentsLength(8);
    sheets_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    sheets_->setEnabled(false);
    h->addWidget(sheets_);
    h->addSpacing(6);
    h->addWidget(new QLabel(QStringLiteral("表头：第"), this));
    headerRow_->setObjectName(QStringLiteral("SpinHeaderRow"));
    headerRow_->setRange(1, kMaxHeaderRow);
    headerRow_->setEnabled(false);
    headerRow_->setToolTip(QStringLiteral("表头所在的行：它下面一行起是数据，上面的标题行不导入"));
    // A fixed size: a spin box measures its widest value each time the
    // window's layout asks, and the status line asks many times a run.
    headerRow_->setFixedSize(headerRow_->sizeHint());
    h->addWidget(headerRow_);
    h->addWidget(new QLabel(QStringLiteral("行"), this));

    connect(sheets_, &QComboBox::currentIndexChanged, this, [this](int) {
        if (!filling_)
            Q_EMIT sheetChosen(sheet());
    });
    connect(headerRow_, &QSpinBox::valueChanged, this, [this](int row) {
        if (!filling_)
            Q_EMIT headerRowChosen(row);
    });
}

void SheetChoice::setSheets(const QList<SpreadsheetLink::SheetEntry>& sheets, const QString& current)
{
    filling_ = true;
    sheets_->clear();
    for (const SpreadsheetLink::SheetEntry& e : sheets) {
        sheets_->addItem(e.hidden ? e.name + QStringLiteral("（隐藏）") : e.name, e.name);
        if (e.name == current)
            sheets_->setCurrentIndex(sheets_->count() - 1);
    }
    sheets_->setEnabled(sheets.size() > 1);
    filling_ = false;
}

void SheetChoice::setHeaderRow(int row, int lastRow)
{
    filling_ = true;
    headerRow_->setRange(1, qBound(1, lastRow, kMaxHeaderRow));
    headerRow_->setValue(row);
    headerRow_->setEnabled(lastRow > 0);
    filling_ = false;
}

QString SheetChoice::sheet() const
{
    return sheets_->currentData().toString();
}

int SheetChoice::headerRow() const
{
    return headerRow_->value();
}
