#include "import/DepartmentProblems.h"

namespace {
// "第 3、7、12 行（共 3 行）", the first rows only when there are many.
QString rowList(const QList<int>& rows)
{
    QStringList shown;
    for (qsizetype i = 0; i < rows.size() && i < DepartmentProblems::kRowsShown; ++i)
        shown << QString::number(rows[i]);
    const QString end = rows.size() > DepartmentProblems::kRowsShown ? QStringLiteral("等行") : QStringLiteral("行");
    return QStringLiteral("第 %1 %2（共 %3 行）").arg(shown.join(u'、'), end).arg(rows.size());
}
} // namespace

void DepartmentProblems::unknown(int sheetRow, const QString& workerid, const QString& department)
{
    if (firstLine_.isEmpty())
        firstLine_ = QStringLiteral("工号为：%1-的,部门信息未能与软件中的部门对应上!!!").arg(workerid);
    auto it = rows_.find(department);
    if (it == rows_.end()) {
        names_ << department;
        it = rows_.insert(department, {});
    }
    it->append(sheetRow);
}

void DepartmentProblems::empty(int sheetRow, const QString& workerid)
{
    (void)workerid;
    if (firstLine_.isEmpty())
        firstLine_ = QStringLiteral("在数据导入文件中,部门信息需要都填上!!!");
    emptyRows_ << sheetRow;
}

QString DepartmentProblems::message() const
{
    if (isEmpty())
        return QString();
    QStringList lines{firstLine_};
    for (qsizetype i = 0; i < names_.size() && i < kNamesShown; ++i)
        lines << QStringLiteral("部门「%1」不存在：%2").arg(names_[i], rowList(rows_.value(names_[i])));
    if (names_.size() > kNamesShown)
        lines << QStringLiteral("等 %1 个部门").arg(names_.size());
    if (!emptyRows_.isEmpty())
        lines << QStringLiteral("部门名称是空的：%1").arg(rowList(emptyRows_));
    lines << (names_.isEmpty() ? QStringLiteral("本次未导入任何数据。请在表中填上这些行的部门名称。")
                               : QStringLiteral("本次未导入任何数据。请先在部门设置中添加这些部门，或改正表中的部门名称。"));
    return lines.join(u'\n');
}
