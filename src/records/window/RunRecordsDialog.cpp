#include "records/window/RunRecordsDialog.h"

#include "records/RunUndo.h"
#include "services/userGlobal.h"

#include <QBrush>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace {
const char* const kColumns[] = {"时间", "用户", "文件", "方式", "导入", "未导入", "结果", "撤销"};
constexpr int kColumnCount = int(sizeof(kColumns) / sizeof(kColumns[0]));

QString modeText(const RunRecords::Run& r)
{
    if (r.kind != QStringLiteral("导入"))
        return QStringLiteral("撤销第 %1 次导入").arg(r.undoOf);
    return r.mode == 1 ? QStringLiteral("更新导入") : QStringLiteral("增加导入");
}

QString cellText(const CellValue& c)
{
    return c.null ? QStringLiteral("(空)") : c.text;
}
} // namespace

RunRecordsModel::RunRecordsModel(const Connection& connection, QObject* parent)
    : QAbstractTableModel(parent)
    , connection_(connection)
{
}

void RunRecordsModel::setRuns(QList<RunRecords::Run> runs)
{
    beginResetModel();
    runs_ = std::move(runs);
    endResetModel();
}

bool RunRecordsModel::undoable(int row) const
{
    return row >= 0 && row < runs_.size() && RunUndo::refusal(connection_, runs_[row]).isEmpty();
}

int RunRecordsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(runs_.size());
}

int RunRecordsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant RunRecordsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= runs_.size())
        return QVariant();
    const RunRecords::Run& r = runs_[index.row()];
    if (role == Qt::ForegroundRole)
        return undoable(index.row()) ? QVariant() : QVariant(QBrush(Qt::gray));
    if (role == Qt::ToolTipRole)
        return QStringLiteral("%1\n%2").arg(r.workbook, r.database);
    if (role != Qt::DisplayRole)
        return QVariant();
    switch (index.column()) {
    case 0:
        return r.started.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case 1:
        return r.userId;
    case 2:
        return QFileInfo(r.workbook).fileName();
    case 3:
        return modeText(r);
    case 4:
        return r.imported;
    case 5:
        return r.notImported;
    case 6:
        return r.outcome;
    case 7:
        return r.undoneAt.isValid()
            ? QStringLiteral("已撤销（%1，%2）").arg(r.undoneBy, r.undoneAt.toString(QStringLiteral("yyyy-MM-dd HH:mm")))
            : QString();
    }
    return QVariant();
}

QVariant RunRecordsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < kColumnCount)
        return QString::fromUtf8(kColumns[section]);
    return QAbstractTableModel::headerData(section, orientation, role);
}

RunRecordsDialog::RunRecordsDialog(Connection& connection, QWidget* parent, const QString& recordsPath)
    : QDialog(parent)
    , connection_(connection)
    , records_(recordsPath)
    , model_(new RunRecordsModel(connection, this))
    , table_(new QTableView(this))
{
    setWindowTitle(QStringLiteral("导入记录"));
    resize(1000, 520);  // fits a 1366×768 screen
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->verticalHeader()->hide();
    connect(table_, &QTableView::doubleClicked, this, [this](const QModelIndex& i) { showRows(i.row()); });

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* undo = buttons->addButton(QStringLiteral("撤销本次导入"), QDialogButtonBox::ActionRole);
    undo->setObjectName(QStringLiteral("BtnUndo"));
    undo->setEnabled(false);
    buttons->addButton(QStringLiteral("关闭"), QDialogButtonBox::RejectRole);
    connect(undo, &QPushButton::clicked, this, [this] { undoSelected(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    auto* hint = new QLabel(QStringLiteral("双击一行查看这次导入的各行。灰色的记录不能在这里撤销：已经撤销过，是一次撤销，或写入的是另一个数据库。"), this);
    hint->setWordWrap(true);
    layout->addWidget(hint);
    layout->addWidget(table_);
    layout->addWidget(buttons);

    const int pruned = records_.pruneBySetting();
    if (pruned > 0)
        hint->setText(hint->text() + QStringLiteral("（已按设置删除 %1 条一年以前的记录）").arg(pruned));
    reload();
    const auto chosen = [this, undo] {
        const QModelIndexList rows = table_->selectionModel()->selectedRows();
        undo->setEnabled(!rows.isEmpty() && model_->undoable(rows.first().row()));
    };
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this, chosen);
    // Reloaded after an undo: the choice is gone without a word of it.
    connect(model_, &QAbstractItemModel::modelReset, this, chosen);
}

RunRecordsDialog::~RunRecordsDialog() = default;

void RunRecordsDialog::reload()
{
    model_->setRuns(records_.runs());
    table_->resizeColumnsToContents();
}

void RunRecordsDialog::undoSelected()
{
    const QModelIndexList rows = table_->selectionModel()->selectedRows();
    if (rows.isEmpty() || !model_->undoable(rows.first().row()))
        return;
    if (undoAfterConfirmation(connection_, records_, model_->run(rows.first().row()).id, TUser.UserID))
        reload();
}

void RunRecordsDialog::showRows(int row)
{
    if (row < 0 || row >= model_->rowCount())
        return;
    const RunRecords::Run& run = model_->run(row);
    QStringList lines;
    for (const RunRecords::Row& r : records_.rows(run.id)) {
        if (r.changes.isEmpty()) {
            lines << QStringLiteral("第 %1 行\t工号 %2\tWkid %3").arg(r.sheetRow).arg(r.workerid).arg(r.wkid);
            continue;
        }
        QStringList changes;
        for (const FieldChange& f : r.changes)
            changes << QStringLiteral("%1：%2 → %3").arg(f.column, cellText(f.before), cellText(f.after));
        lines << QStringLiteral("第 %1 行\t工号 %2\t%3").arg(r.sheetRow).arg(r.workerid, changes.join(QStringLiteral("；")));
    }
    QDialog view(this);
    view.setWindowTitle(QStringLiteral("导入记录 %1：%2").arg(run.id).arg(QFileInfo(run.workbook).fileName()));
    view.resize(900, 480);
    auto* text = new QPlainTextEdit(lines.join(u'\n'), &view);
    text->setReadOnly(true);
    auto* layout = new QVBoxLayout(&view);
    layout->addWidget(text);
    view.exec();
}
