#include "import/StagingGrid.h"

#include "import/window/ValidationMarks.h"
#include "platform/Dialogs.h"
#include "platform/db/Query.h"

#include <QAbstractTableModel>
#include <QCheckBox>
#include <QFont>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QSet>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>

#include <functional>

namespace {
const QColor kRefusalColour(0xFF, 0xC7, 0xCE);
const QColor kWarningColour(0xFF, 0xEB, 0x9C);
const QColor kFilledColour(0xDD, 0xEB, 0xF7);
} // namespace

// Rows of texts; a workbook preview or a read-back can hold many thousands,
// so one string per cell and nothing more. A preview's marks are asked per
// cell as it is painted: nothing is stored per cell for them.
class GridModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    std::function<void(int row, int column, const QString& text)> edited;

    void reset(const QStringList& headers, QList<QStringList> rows, QList<StagingGrid::Column> columns = {})
    {
        beginResetModel();
        headers_ = headers;
        rows_ = std::move(rows);
        columns_ = std::move(columns);
        endResetModel();
    }
    void setMarks(const ValidationMarks* marks) { marks_ = marks; }
    bool marked() const { return marks_ && !columns_.isEmpty() && columns_[0].slot == 0; }
    // A preview's first column is the sheet row.
    int sheetRow(int row) const { return rows_[row].isEmpty() ? 0 : rows_[row][0].toInt(); }
    int slotOf(int column) const { return column < columns_.size() ? columns_[column].slot : 0; }
    int sheetColumnOf(int column) const { return column < columns_.size() ? columns_[column].sheetColumn : 0; }
    bool rowHasProblem(int row) const { return marked() && marks_->hasProblem(sheetRow(row)); }
    bool isEdited(const QModelIndex& index) const
    {
        return marked() && slotOf(index.column()) > 0
            && marks_->edits().find(sheetRow(index.row()), sheetColumnOf(index.column()));
    }
    void setText(int row, int column, const QString& text)
    {
        QStringList& cells = rows_[row];
        while (cells.size() <= column)
            cells << QString();
        cells[column] = text;
        Q_EMIT dataChanged(index(row, column), index(row, column));
    }
    // The marks' roles only: the proxy filters and sorts on EditRole, so it
    // need not look at 65,535 rows again.
    void marksChanged(int from = 0, int to = -1)
    {
        if (to < 0)
            to = int(rows_.size()) - 1;
        if (from <= to)
            Q_EMIT dataChanged(index(from, 0), index(to, int(headers_.size()) - 1),
                               {Qt::DisplayRole, Qt::BackgroundRole, Qt::ToolTipRole, Qt::FontRole});
    }
    int rowOfSheetRow(int wanted) const
    {
        // Preview rows come in sheet order.
        int lo = 0, hi = int(rows_.size()) - 1;
        while (lo <= hi) {
            const int mid = (lo + hi) / 2;
            const int at = sheetRow(mid);
            if (at == wanted)
                return mid;
            if (at < wanted)
                lo = mid + 1;
            else
                hi = mid - 1;
        }
        return -1;
    }
    void append(QList<QStringList> rows)
    {
        if (rows.isEmpty())
            return;
        beginInsertRows({}, int(rows_.size()), int(rows_.size() + rows.size() - 1));
        rows_.append(std::move(rows));
        endInsertRows();
    }

    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : int(rows_.size()); }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : int(headers_.size()); }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (marked() && role != Qt::EditRole) {
            const int slot = slotOf(index.column());
            if (slot == StagingGrid::kProblemsSlot)
                return role == Qt::DisplayRole || role == Qt::ToolTipRole ? marks_->rowText(sheetRow(index.row()))
                                                                        : QVariant();
            if (slot > 0 && role != Qt::DisplayRole)
                return mark(index, slot, role);
        }
        if (role != Qt::DisplayRole && role != Qt::EditRole)
            return {};
        const QStringList& row = rows_[index.row()];
        return index.column() < row.size() ? row[index.column()] : QString();
    }
    bool setData(const QModelIndex& index, const QVariant& value, int role) override
    {
        if (role != Qt::EditRole)
            return false;
        if (marked()) {
            // The cell's new text is what the import reads: the owner keeps it.
            if (slotOf(index.column()) <= 0 || data(index, Qt::EditRole).toString() == value.toString())
                return false;
            setText(index.row(), index.column(), value.toString());
            if (edited)
                edited(index.row(), index.column(), value.toString());
            return true;
        }
        QStringList& row = rows_[index.row()];
        while (row.size() <= index.column())
            row << QString();
        row[index.column()] = value.toString();
        Q_EMIT dataChanged(index, index);
        return true;
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section < headers_.size())
            return headers_[section];
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override
    {
        if (marked() && slotOf(index.column()) <= 0)
            return QAbstractTableModel::flags(index);
        return QAbstractTableModel::flags(index) | Qt::ItemIsEditable;
    }
    bool insertRows(int row, int count, const QModelIndex& parent) override
    {
        beginInsertRows(parent, row, row + count - 1);
        for (int i = 0; i < count; ++i)
            rows_.insert(row, QStringList());
        endInsertRows();
        return true;
    }
    bool removeRows(int row, int count, const QModelIndex& parent) override
    {
        beginRemoveRows(parent, row, row + count - 1);
        rows_.remove(row, count);
        endRemoveRows();
        return true;
    }

private:
    QVariant mark(const QModelIndex& index, int slot, int role) const
    {
        const int sheet = sheetRow(index.row());
        switch (role) {
        case Qt::BackgroundRole:
            if (const CellProblem* p = marks_->worst(sheet, slot))
                return p->level == CellProblem::Level::Refusal ? kRefusalColour
                    : p->level == CellProblem::Level::Warning  ? kWarningColour
                                                               : kFilledColour;
            return {};
        case Qt::ToolTipRole: {
            QString tip = marks_->cellTip(sheet, slot);
            if (isEdited(index))
                tip = (tip.isEmpty() ? QString() : tip + u'\n') + QStringLiteral("已修改（表格文件不变）");
            return tip.isEmpty() ? QVariant() : tip;
        }
        case Qt::FontRole:
            if (isEdited(index)) {
                QFont bold;
                bold.setBold(true);
                bold.setUnderline(true);
                return bold;
            }
            return {};
        default:
            return {};
        }
    }

    QStringList headers_;
    QList<QStringList> rows_;
    QList<StagingGrid::Column> columns_;
    const ValidationMarks* marks_ = nullptr;
};

// The value filters of the columns, and "only rows with problems".
class GridProxy : public QSortFilterProxyModel {
public:
    GridProxy(GridModel* grid, QObject* parent)
        : QSortFilterProxyModel(parent)
        , grid_(grid)
    {
    }
    void setOnlyProblems(bool only)
    {
        only_ = only;
        // One new layout: filtering row by row removes 60,000 rows in 5,000
        // ranges, each a signal the view lays out again.
        invalidate();
    }
    bool onlyProblems() const { return only_; }

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override
    {
        if (only_ && !grid_->rowHasProblem(row))
            return false;
        return QSortFilterProxyModel::filterAcceptsRow(row, parent);
    }

private:
    GridModel* grid_;
    bool only_ = false;
};

namespace {
QList<QStringList> rowsOf(Query& query, const QList<StagingGrid::Column>& columns)
{
    Query& q = query;
    QList<QStringList> rows;
    if (!q.isOpen() || q.isEmpty())
        return rows;
    for (q.first(); !q.eof(); q.next()) {
        QStringList row;
        for (const StagingGrid::Column& c : columns)
            row << q.fieldText(c.field);
        rows << row;
    }
    return rows;
}
} // namespace

const QList<StagingGrid::Column>& StagingGrid::columns()
{
    static const QList<Column> cols{
        {QStringLiteral("工号"), QStringLiteral("Workerid"), 82, true, false},
        {QStringLiteral("姓名"), QStringLiteral("Wname"), 86, true, false},
        {QStringLiteral("性别"), QStringLiteral("Sex"), 73, false, false},
        {QStringLiteral("部门"), QStringLiteral("DepName"), 130, true, false},
        {QStringLiteral("出生日期"), QStringLiteral("BIrThday"), 103, false, false},
        {QStringLiteral("身份证号"), QStringLiteral("IdNumber"), 151, false, false},
        {QStringLiteral("员工类型"), QStringLiteral("EmployType"), 163, true, true},
        {QStringLiteral("基本工资"), QStringLiteral("BaseWage"), 99, false, false},
    };
    return cols;
}

StagingGrid::StagingGrid(QWidget* parent)
    : QWidget(parent)
    , view_(new QTableView(this))
    , model_(new GridModel(this))
    , proxy_(new GridProxy(model_, this))
    , footer_(new QLabel(this))
    , problemFilter_(new QCheckBox(this))
{
    auto* band = new QLabel(QStringLiteral("员工信息"), this);
    band->setObjectName(QStringLiteral("GridBand"));
    band->setAlignment(Qt::AlignCenter);
    band->setFixedHeight(21);
    band->setStyleSheet(QStringLiteral("background-color: teal; color: white;"));

    proxy_->setSourceModel(model_);
    proxy_->setFilterRole(Qt::EditRole);
    proxy_->setSortRole(Qt::EditRole);
    view_->setModel(proxy_);
    view_->setSortingEnabled(true);
    view_->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    view_->horizontalHeader()->setContextMenuPolicy(Qt::CustomContextMenu);
    view_->setStyleSheet(QStringLiteral("QTableView { background: white; color: red; }"));
    view_->installEventFilter(this);
    view_->viewport()->installEventFilter(this);
    connect(view_->horizontalHeader(), &QHeaderView::customContextMenuRequested, this, [this](const QPoint& pos) {
        const int column = view_->horizontalHeader()->logicalIndexAt(pos);
        if (column >= 0 && column < columns_.size() && columns_[column].filter)
            showFilterMenu(column, view_->horizontalHeader()->mapToGlobal(pos));
    });

    footer_->setObjectName(QStringLiteral("GridFooter"));
    problemFilter_->setObjectName(QStringLiteral("OnlyProblems"));
    problemFilter_->hide();
    connect(problemFilter_, &QCheckBox::toggled, this, [this](bool on) { setOnlyProblems(on); });
    model_->edited = [this](int row, int column, const QString& text) {
        Q_EMIT cellEdited(model_->sheetRow(row), model_->slotOf(column), model_->sheetColumnOf(column), text);
    };
    view_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view_, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) { showCellMenu(pos); });
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(band);
    layout->addWidget(view_, 1);
    auto* bottom = new QHBoxLayout;
    bottom->setContentsMargins(0, 0, 0, 0);
    bottom->addWidget(footer_, 1);
    bottom->addWidget(problemFilter_);
    layout->addLayout(bottom);
    setColumns(columns());
    updateFooter();
}

void StagingGrid::setColumns(const QList<Column>& columns)
{
    columns_ = columns;
    proxy_->setFilterFixedString(QString());
    view_->sortByColumn(-1, Qt::AscendingOrder);
    QStringList headers;
    for (const Column& c : columns_)
        headers << c.caption;
    const bool preview = columns_ != StagingGrid::columns();
    model_->reset(headers, {}, preview ? columns_ : QList<Column>{});
    // Only problem cells are coloured in a preview: colour means something.
    view_->setStyleSheet(preview ? QStringLiteral("QTableView { background: white; }")
                                 : QStringLiteral("QTableView { background: white; color: red; }"));
    // A preview numbers its rows as the sheet does, in its first column.
    view_->verticalHeader()->setVisible(!preview);
    marksChanged();
    for (int c = 0; c < columns_.size(); ++c) {
        view_->setColumnWidth(c, columns_[c].width);
        view_->setColumnHidden(c, columns_[c].hidden);
    }
    fitColumns();
}

void StagingGrid::setMarks(const ValidationMarks* marks)
{
    marks_ = marks;
    model_->setMarks(marks);
    marksChanged();
}

void StagingGrid::marksChanged()
{
    const bool marked = model_->marked();
    problemFilter_->setVisible(marked);
    if (marked)
        problemFilter_->setText(QStringLiteral("只看有问题的行 (%1)").arg(marks_->rowsWithProblems()));
    model_->marksChanged();
    if (proxy_->onlyProblems())
        proxy_->setOnlyProblems(marked && problemFilter_->isChecked());
    updateFooter();
}

void StagingGrid::rowMarksChanged(int sheetRow)
{
    const int row = model_->rowOfSheetRow(sheetRow);
    if (row < 0)
        return;
    problemFilter_->setText(QStringLiteral("只看有问题的行 (%1)").arg(marks_->rowsWithProblems()));
    model_->marksChanged(row, row);
    // A row corrected stays in sight until the filter is set again.
}

void StagingGrid::setOnlyProblems(bool only)
{
    if (problemFilter_->isChecked() != only)
        problemFilter_->setChecked(only); // comes back here
    proxy_->setOnlyProblems(only && model_->marked());
    updateFooter();
}

bool StagingGrid::selectSheetRow(int sheetRow)
{
    if (!model_->marked())
        return false;
    for (int r = 0; r < model_->rowCount(); ++r) {
        if (model_->sheetRow(r) != sheetRow)
            continue;
        QModelIndex at = proxy_->mapFromSource(model_->index(r, 0));
        if (!at.isValid() && proxy_->onlyProblems()) {
            setOnlyProblems(false); // the row has no problem left: show it anyway
            at = proxy_->mapFromSource(model_->index(r, 0));
        }
        if (!at.isValid())
            return false;
        view_->selectRow(at.row());
        view_->scrollTo(at, QAbstractItemView::PositionAtCenter);
        return true;
    }
    return false;
}

void StagingGrid::setCellText(int sheetRow, int sheetColumn, const QString& text)
{
    for (int r = 0; r < model_->rowCount(); ++r) {
        if (model_->sheetRow(r) != sheetRow)
            continue;
        for (int c = 0; c < columns_.size(); ++c)
            if (columns_[c].slot > 0 && columns_[c].sheetColumn == sheetColumn)
                model_->setText(r, c, text);
    }
}

void StagingGrid::showCellMenu(const QPoint& pos)
{
    const QModelIndex at = proxy_->mapToSource(view_->indexAt(pos));
    if (!at.isValid() || !model_->isEdited(at))
        return;
    QMenu menu(this);
    const int sheetRow = model_->sheetRow(at.row());
    const int slot = model_->slotOf(at.column());
    const int sheetColumn = model_->sheetColumnOf(at.column());
    menu.addAction(QStringLiteral("撤销修改"), this,
                   [this, sheetRow, slot, sheetColumn] { Q_EMIT editUndone(sheetRow, slot, sheetColumn); });
    menu.exec(view_->viewport()->mapToGlobal(pos));
}

void StagingGrid::loadFrom(Query& query)
{
    setColumns(columns());
    model_->append(rowsOf(query, columns_));
    footerKind_ = Footer::People;
    totalRows_ = 0;
    updateFooter();
}

void StagingGrid::setTotalPeople(int total)
{
    totalRows_ = total;
    updateFooter();
}

void StagingGrid::appendFrom(Query& query)
{
    model_->append(rowsOf(query, columns_));
    updateFooter();
}

void StagingGrid::appendPreviewRows(QList<QStringList> rows)
{
    model_->append(std::move(rows));
    updateFooter();
}

int StagingGrid::lastSheetRow() const
{
    return model_->rowCount() > 0 && !columns_.isEmpty() && columns_[0].slot == 0 && columns_ != columns()
        ? model_->sheetRow(model_->rowCount() - 1)
        : 0;
}

void StagingGrid::showPreview(const QList<Column>& columns, QList<QStringList> rows, int totalRows)
{
    setColumns(columns);
    model_->append(std::move(rows));
    footerKind_ = Footer::Lines;
    totalRows_ = totalRows;
    updateFooter();
}

void StagingGrid::clearRows()
{
    model_->removeRows(0, model_->rowCount(), {});
    updateFooter();
}

int StagingGrid::rowCount() const
{
    return proxy_->rowCount();
}

QAbstractItemModel* StagingGrid::model() const
{
    return model_;
}

QStringList StagingGrid::captions() const
{
    QStringList out;
    for (const Column& c : columns_)
        out << c.caption;
    return out;
}

QString StagingGrid::footerText() const
{
    return footer_->text();
}

void StagingGrid::updateFooter()
{
    switch (footerKind_) {
    case Footer::None:
        footer_->clear();
        break;
    case Footer::People:
        footer_->setText(rowCount() < totalRows_
                             ? QStringLiteral("共 %1 人（显示前 %2 人）").arg(totalRows_).arg(rowCount())
                             : QStringLiteral("共 %1 人").arg(rowCount()));
        break;
    case Footer::Lines:
        footer_->setText(model_->rowCount() < totalRows_
                             ? QStringLiteral("共 %1 行（显示 %2 行）").arg(totalRows_).arg(model_->rowCount())
                             : QStringLiteral("共 %1 行").arg(totalRows_));
        break;
    }
}

void StagingGrid::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    fitColumns();
}

void StagingGrid::fitColumns()
{
    int total = 0;
    for (const Column& c : columns_)
        if (!c.hidden)
            total += c.width;
    const int available = view_->viewport()->width();
    if (total <= 0 || available <= 0)
        return;
    // A wide preview keeps its widths and scrolls; the staging columns fill.
    if (total > available && columns_.size() > columns().size())
        return;
    for (int c = 0; c < columns_.size(); ++c)
        if (!columns_[c].hidden)
            view_->setColumnWidth(c, columns_[c].width * available / total);
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
            model_->insertRows(model_->rowCount(), 1, {});
            updateFooter();
            return true;
        }
        if (key->key() == Qt::Key_Delete && (key->modifiers() & Qt::ControlModifier)) {
            const QModelIndex current = view_->currentIndex();
            if (current.isValid() && Dialogs::confirm(QStringLiteral("删除这条记录吗？"))) {
                model_->removeRows(proxy_->mapToSource(current).row(), 1, {});
                updateFooter();
            }
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
