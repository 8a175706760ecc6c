#include "import/StagingGrid.h"

#include "platform/Dialogs.h"
#include "platform/db/Query.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QSet>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

const QList<StagingGrid::Column>& StagingGrid::columns()
{
    static const QList<Column> cols{
        {"工号", "Workerid", 82, true, false},
        {"姓名", "Wname", 86, true, false},
        {"性别", "Sex", 73, false, false},
        {"部门", "DepName", 130, true, false},
        {"出生日期", "BIrThday", 103, false, false},
        {"身份证号", "IdNumber", 151, false, false},
        {"员工类型", "EmployType", 163, true, true},
        {"基本工资", "BaseWage", 99, false, false},
    };
    return cols;
}

StagingGrid::StagingGrid(QWidget* parent)
    : QWidget(parent)
    , view_(new QTableView(this))
    , model_(new QStandardItemModel(0, int(columns().size()), this))
    , proxy_(new QSortFilterProxyModel(this))
    , footer_(new QLabel(this))
{
    auto* band = new QLabel(QStringLiteral("员工信息"), this);
    band->setObjectName(QStringLiteral("GridBand"));
    band->setAlignment(Qt::AlignCenter);
    band->setFixedHeight(21);
    band->setStyleSheet(QStringLiteral("background-color: teal; color: white;"));

    for (int c = 0; c < columns().size(); ++c)
        model_->setHorizontalHeaderItem(c, new QStandardItem(QString::fromUtf8(columns()[c].caption)));
    proxy_->setSourceModel(model_);
    view_->setModel(proxy_);
    view_->setSortingEnabled(true);
    view_->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    view_->horizontalHeader()->setContextMenuPolicy(Qt::CustomContextMenu);
    view_->setStyleSheet(QStringLiteral("QTableView { background: white; color: red; }"));
    for (int c = 0; c < columns().size(); ++c) {
        view_->setColumnWidth(c, columns()[c].width);
        view_->setColumnHidden(c, columns()[c].hidden);
    }
    view_->installEventFilter(this);
    view_->viewport()->installEventFilter(this);
    connect(view_->horizontalHeader(), &QHeaderView::customContextMenuRequested, this, [this](const QPoint& pos) {
        const int column = view_->horizontalHeader()->logicalIndexAt(pos);
        if (column >= 0 && columns()[column].filter)
            showFilterMenu(column, view_->horizontalHeader()->mapToGlobal(pos));
    });

    footer_->setObjectName(QStringLiteral("GridFooter"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(band);
    layout->addWidget(view_, 1);
    layout->addWidget(footer_);
    updateFooter();
}

void StagingGrid::loadFrom(const Query& query)
{
    // The staging statement never returns a row; the grid shows its empty
    // result with the footer.
    Q_UNUSED(query);
    clearRows();
    opened_ = true;
    updateFooter();
}

void StagingGrid::clearRows()
{
    model_->removeRows(0, model_->rowCount());
    updateFooter();
}

int StagingGrid::rowCount() const
{
    return proxy_->rowCount();
}

QString StagingGrid::footerText() const
{
    return footer_->text();
}

void StagingGrid::updateFooter()
{
    footer_->setText(opened_ ? QStringLiteral("共 %1 人").arg(rowCount()) : QString());
}

void StagingGrid::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    fitColumns();
}

void StagingGrid::fitColumns()
{
    int total = 0;
    for (const Column& c : columns())
        if (!c.hidden)
            total += c.width;
    const int available = view_->viewport()->width();
    if (total <= 0 || available <= 0)
        return;
    for (int c = 0; c < columns().size(); ++c)
        if (!columns()[c].hidden)
            view_->setColumnWidth(c, columns()[c].width * available / total);
}

void StagingGrid::showFilterMenu(int column, const QPoint& globalPos)
{
    QMenu menu(this);
    menu.addAction(QStringLiteral("(全部)"), this, [this] {
        proxy_->setFilterFixedString(QString());
        updateFooter();
    });
    QSet<QString> seen;
    for (int r = 0; r < model_->rowCount(); ++r) {
        const QString value = model_->index(r, column).data().toString();
        if (seen.contains(value))
            continue;
        seen.insert(value);
        menu.addAction(value, this, [this, column, value] {
            proxy_->setFilterKeyColumn(column);
            proxy_->setFilterRegularExpression(
                QRegularExpression(QStringLiteral("^%1$").arg(QRegularExpression::escape(value))));
            updateFooter();
        });
    }
    menu.exec(globalPos);
}

bool StagingGrid::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == view_->viewport() && event->type() == QEvent::Resize)
        fitColumns();
    if (watched == view_ && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Insert) {
            model_->appendRow(QList<QStandardItem*>());
            updateFooter();
            return true;
        }
        if (key->key() == Qt::Key_Delete && (key->modifiers() & Qt::ControlModifier)) {
            const QModelIndex current = view_->currentIndex();
            if (current.isValid() && Dialogs::confirm(QStringLiteral("Delete record?"))) {
                model_->removeRow(proxy_->mapToSource(current).row());
                updateFooter();
            }
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
