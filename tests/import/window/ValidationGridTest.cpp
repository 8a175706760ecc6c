#include "import/StagingGrid.h"
#include "import/WorkerInfoImaport.h"
#include "import/window/NotImportedModel.h"
#include "support/ReadXlsx.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"
#include "support/TestDatabase.h"
#include "ui_WorkerInfoImaport.h"

#include <QCheckBox>
#include <QColor>
#include <QFont>
#include <QLineEdit>
#include <QTableView>

#include <gtest/gtest.h>

namespace {
// Numbers whose check character is computed here from the standard's weights.
QString idNumber(const QString& first17)
{
    static const int weights[17] = {7, 9, 10, 5, 8, 4, 2, 1, 6, 3, 7, 9, 10, 5, 8, 4, 2};
    int sum = 0;
    for (int i = 0; i < 17; ++i)
        sum += first17[i].digitValue() * weights[i];
    return first17 + QChar::fromLatin1("10X98765432"[sum % 11]);
}

class ValidationGridTest : public ::testing::Test {
protected:
    ValidationGridTest()
        : db(false)
    {
        db.addDepartment(QStringLiteral("D1"), QStringLiteral("人事部"));
        const QString man = idNumber(QStringLiteral("44010219800101001")); // 1980-01-01, 男
        const QString wrong = man.left(17) + (man[17] == u'3' ? u'4' : u'3');
        // 工号 姓名 性别 出生日期 身份证号码 部门名称, as openpyxl writes them.
        editXlsx(QStringLiteral("-"), book,
                 {QStringLiteral("A1=工号"), QStringLiteral("B1=姓名"), QStringLiteral("C1=性别"), QStringLiteral("D1=出生日期"),
                  QStringLiteral("E1=身份证号码"), QStringLiteral("F1=部门名称"),
                  QStringLiteral("A2=W1"), QStringLiteral("B2=张三"), QStringLiteral("C2=男"), QStringLiteral("D2=1980-01-01"),
                  QStringLiteral("E2=") + man, QStringLiteral("F2=人事部"),
                  QStringLiteral("A3=W2"), QStringLiteral("C3=男"), QStringLiteral("E3=") + man, QStringLiteral("F3=人事部"),
                  QStringLiteral("A4=W1"), QStringLiteral("B4=李四"), QStringLiteral("F4=人事部"),
                  QStringLiteral("A5=W3"), QStringLiteral("B5=王五"), QStringLiteral("C5=女"), QStringLiteral("E5=") + wrong,
                  QStringLiteral("F5=人事部")});
        wrongId = wrong;
    }

    void open(TWorkerInfoImaportFrm& w)
    {
        const int map[][2] = {{1, 1}, {2, 2}, {3, 3}, {6, 4}, {9, 5}, {17, 6}};
        for (int k = 1; k <= 31; ++k)
            w.Edt(k)->clear();
        for (const auto& m : map)
            w.Edt(m[0])->setText(QString::number(m[1]));
        scriptedDialogs().fileAnswers = {book};
        w.ui()->BtSelect->click();
    }
    static StagingGrid* grid(TWorkerInfoImaportFrm& w) { return w.ui()->dxDBGrid1; }
    // The model's cell of a sheet row under a caption.
    static QModelIndex cell(TWorkerInfoImaportFrm& w, int sheetRow, const QString& caption)
    {
        QAbstractItemModel* m = grid(w)->model();
        const int column = int(grid(w)->captions().indexOf(caption));
        for (int r = 0; r < m->rowCount(); ++r)
            if (m->index(r, 0).data().toInt() == sheetRow)
                return m->index(r, column);
        return {};
    }
    QString stored(const QString& sql) { return db.scalar(sql).toString(); }

    TestDatabase db;
    TempDir dir;
    QString book = dir.file(QStringLiteral("staff.xlsx"));
    QString wrongId;
};
} // namespace

TEST_F(ValidationGridTest, CheckColoursProblemCellsAndEditsChangeWhatIsStoredAndExported)
{
    TWorkerInfoImaportFrm w;
    w.findChild<QCheckBox*>(QStringLiteral("FillFromIdBox"))->setChecked(true);
    {
        TWorkerInfoImaportFrm next; // the setting is kept for the user
        EXPECT_TRUE(next.findChild<QCheckBox*>(QStringLiteral("FillFromIdBox"))->isChecked());
        EXPECT_FALSE(next.findChild<QCheckBox*>(QStringLiteral("StrictIdBox"))->isChecked());
    }
    open(w);
    w.ui()->SBCheck->click();
    ASSERT_EQ(scriptedDialogs().boxes.last().text, "检查完成：可导入 2 人，不能导入 2 人");

    const QColor red(0xFF, 0xC7, 0xCE), amber(0xFF, 0xEB, 0x9C);
    const struct {
        int row;
        const char* caption;
        QColor colour;
        const char* tip;
    } marked[] = {
        {3, "姓名", red, "姓名为空（B列）"},
        {4, "工号", red, "工号与第 2 行重复（A列「W1」）"},
        {5, "身份证号", amber, "身份证号码校验位应为"},
        {5, "性别", QColor(), ""}, // a wrong check: the sex is not compared
        {2, "姓名", QColor(), ""},
    };
    for (const auto& m : marked) {
        SCOPED_TRACE(std::string(m.caption) + " " + std::to_string(m.row));
        const QModelIndex at = cell(w, m.row, QString::fromUtf8(m.caption));
        ASSERT_TRUE(at.isValid());
        EXPECT_EQ(at.data(Qt::BackgroundRole).value<QColor>(), m.colour);
        EXPECT_TRUE(at.data(Qt::ToolTipRole).toString().contains(QString::fromUtf8(m.tip)));
    }
    // Row 3 has a filled birth date: marked in the 问题 column, not a problem.
    EXPECT_TRUE(cell(w, 3, QStringLiteral("问题")).data().toString().contains(QStringLiteral("出生日期由身份证号码补全为 1980-01-01")));
    EXPECT_EQ(w.notImportedModel().line(0).reason, QStringLiteral("第 3 行 姓名为空（B列）"));

    QCheckBox* only = grid(w)->problemFilter();
    EXPECT_EQ(only->text(), "只看有问题的行 (3)");
    only->setChecked(true);
    EXPECT_EQ(grid(w)->view()->model()->rowCount(), 3);

    // A click on a not-imported line selects its row in the grid.
    w.ui()->ListBox1->clicked(w.notImportedModel().index(1, 0));
    EXPECT_EQ(grid(w)->view()->currentIndex().siblingAtColumn(0).data().toInt(), 4);

    // Editing: the row is checked again at once, the cell marked.
    grid(w)->model()->setData(cell(w, 3, QStringLiteral("姓名")), QStringLiteral("钱七"), Qt::EditRole);
    grid(w)->model()->setData(cell(w, 4, QStringLiteral("姓名")), QStringLiteral("孙八"), Qt::EditRole);
    EXPECT_FALSE(cell(w, 3, QStringLiteral("姓名")).data(Qt::BackgroundRole).isValid());
    EXPECT_TRUE(cell(w, 3, QStringLiteral("姓名")).data(Qt::FontRole).value<QFont>().bold());
    EXPECT_EQ(only->text(), "只看有问题的行 (2)");
    EXPECT_EQ(cell(w, 4, QStringLiteral("工号")).data(Qt::BackgroundRole).value<QColor>(), red);

    // The edits survive a check and go into the export.
    w.ui()->SBCheck->click();
    EXPECT_EQ(scriptedDialogs().boxes.last().text, "检查完成：可导入 3 人，不能导入 1 人");
    EXPECT_EQ(cell(w, 3, QStringLiteral("姓名")).data().toString(), "钱七");
    const QString rejects = dir.file(QStringLiteral("rejects.xlsx"));
    scriptedDialogs().fileAnswers = {rejects};
    w.ui()->SBRejects->click();
    const XlsxContent out = readXlsx(rejects);
    ASSERT_EQ(out.rows.size(), 2);
    EXPECT_EQ(out.rows[0].mid(6), (QStringList{QStringLiteral("未导入原因"), QStringLiteral("数据库原文")}));
    EXPECT_EQ(out.rows[1].mid(0, 2), (QStringList{QStringLiteral("W1"), QStringLiteral("孙八")}));
    EXPECT_EQ(out.rows[1].value(6), QStringLiteral("第 4 行 工号与第 2 行重复（A列「W1」）"));

    // 撤销修改 takes row 4 back to the file's text.
    Q_EMIT grid(w)->editUndone(4, 2, 2);
    EXPECT_EQ(cell(w, 4, QStringLiteral("姓名")).data().toString(), "李四");
    EXPECT_EQ(w.marks().edits().size(), 1);

    // The import stores the edited text, the filled date and the rest as read.
    w.ui()->SBSave->click();
    EXPECT_EQ(stored(QStringLiteral("select group_concat(Workerid || ':' || Wname || ':' || ifnull(BIrThday, '-') || ':' || Sex, ';') "
                                    "from (select * from Hrp_workers order by Workerid)")),
              "W1:张三:1980-01-01:男;W2:钱七:1980-01-01:男;W3:王五:-:女");
    EXPECT_EQ(stored(QStringLiteral("select IdNumber from Hrp_workers where Workerid='W3'")), wrongId);
    EXPECT_TRUE(w.marks().edits().isEmpty());
}

TEST_F(ValidationGridTest, EditsAreDroppedWithAWordWhenTheMapChanges)
{
    TWorkerInfoImaportFrm w;
    open(w);
    grid(w)->model()->setData(cell(w, 3, QStringLiteral("姓名")), QStringLiteral("钱七"), Qt::EditRole);
    ASSERT_EQ(w.marks().edits().size(), 1);
    scriptedDialogs().reset();
    w.Edt(3)->clear();
    scriptedDialogs().fileAnswers = {book};
    w.ui()->BtSelect->click();
    ASSERT_FALSE(scriptedDialogs().boxes.isEmpty());
    EXPECT_TRUE(scriptedDialogs().boxes[0].text.contains(QStringLiteral("1 个单元格已放弃修改")));
    EXPECT_TRUE(w.marks().edits().isEmpty());
}

TEST_F(ValidationGridTest, ProblemRowsPastThePreviewAreShownAndFound)
{
    QStringList cells{QStringLiteral("A1=工号"), QStringLiteral("B1=姓名"), QStringLiteral("F1=部门名称")};
    constexpr int kLast = 1003; // the preview keeps 1,000 rows
    for (int r = 2; r <= kLast; ++r) {
        cells << QStringLiteral("A%1=P%1").arg(r) << QStringLiteral("F%1=人事部").arg(r);
        if (r != kLast)
            cells << QStringLiteral("B%1=某人").arg(r);
    }
    editXlsx(QStringLiteral("-"), book, cells);
    TWorkerInfoImaportFrm w;
    open(w);
    w.ui()->SBCheck->click();
    EXPECT_EQ(scriptedDialogs().boxes.last().text, "检查完成：可导入 1001 人，不能导入 1 人");
    EXPECT_EQ(grid(w)->model()->rowCount(), 1001);
    EXPECT_EQ(grid(w)->footerText(), "共 1002 行（显示 1001 行）");
    EXPECT_EQ(cell(w, kLast, QStringLiteral("工号")).data().toString(), QStringLiteral("P%1").arg(kLast));
    w.ui()->ListBox1->clicked(w.notImportedModel().index(0, 0));
    EXPECT_EQ(grid(w)->view()->currentIndex().siblingAtColumn(0).data().toInt(), kLast);
}

TEST_F(ValidationGridTest, UnknownDepartmentsAreMarkedAndCorrectedInTheGrid)
{
    editXlsx(QStringLiteral("-"), book,
             {QStringLiteral("A1=工号"), QStringLiteral("B1=姓名"), QStringLiteral("F1=部门名称"), QStringLiteral("A2=W1"),
              QStringLiteral("B2=张三"), QStringLiteral("F2=市场部"), QStringLiteral("A3=W2"), QStringLiteral("B3=李四"),
              QStringLiteral("F3=人事部")});
    TWorkerInfoImaportFrm w;
    open(w);
    // As a long workbook's pass shows itself before the refusal; after it,
    // no pass is said to be going on.
    scriptedDialogs().onBox = [&w](const RecordedBox&) {
        w.ui()->LblCounts->setText(QStringLiteral("正在核对部门（已读 2,046 行）"));
        w.ui()->ProgressBar1->setValue(40);
    };
    w.ui()->SBCheck->click();
    scriptedDialogs().onBox = nullptr;
    EXPECT_TRUE(w.ui()->LblCounts->text().isEmpty()) << w.ui()->LblCounts->text().toStdString();
    EXPECT_EQ(w.ui()->ProgressBar1->value(), 0);
    ASSERT_TRUE(scriptedDialogs().boxes.last().text.contains(QStringLiteral("部门「市场部」不存在：第 2 行")));
    const QModelIndex dept = cell(w, 2, QStringLiteral("部门"));
    EXPECT_EQ(dept.data(Qt::BackgroundRole).value<QColor>(), QColor(0xFF, 0xC7, 0xCE));
    EXPECT_EQ(dept.data(Qt::ToolTipRole).toString(), QStringLiteral("部门「市场部」不存在（F列「市场部」）"));
    EXPECT_FALSE(cell(w, 3, QStringLiteral("部门")).data(Qt::BackgroundRole).value<QColor>().isValid());

    grid(w)->model()->setData(dept, QStringLiteral("人事部"), Qt::EditRole);
    w.ui()->SBCheck->click();
    EXPECT_EQ(scriptedDialogs().boxes.last().text, "检查完成：可导入 2 人，不能导入 0 人");

    // An import refused for it shows the workbook's rows again, not the
    // stored employees, so that the department is corrected where it stands.
    grid(w)->model()->setData(cell(w, 3, QStringLiteral("部门")), QStringLiteral("市场部"), Qt::EditRole);
    w.ui()->SBSave->click();
    ASSERT_TRUE(scriptedDialogs().boxes.last().text.contains(QStringLiteral("部门「市场部」不存在：第 3 行")));
    const QModelIndex again = cell(w, 3, QStringLiteral("部门"));
    ASSERT_TRUE(again.isValid());
    EXPECT_EQ(again.data(Qt::BackgroundRole).value<QColor>(), QColor(0xFF, 0xC7, 0xCE));
}

TEST_F(ValidationGridTest, ABoxMidRunStandsOverTheRowsDoneSoFar)
{
    QStringList cells{QStringLiteral("A1=工号"), QStringLiteral("B1=姓名"), QStringLiteral("F1=部门名称")};
    for (int r = 2; r <= 7; ++r)
        cells << QStringLiteral("A%1=W%2").arg(r).arg(r == 7 ? 3 : r - 1) << QStringLiteral("B%1=张%2").arg(r).arg(r)
              << QStringLiteral("F%1=人事部").arg(r);
    editXlsx(QStringLiteral("-"), book, cells);
    TWorkerInfoImaportFrm w;
    open(w);
    QString status;
    scriptedDialogs().onBox = [&](const RecordedBox& box) {
        if (box.text.contains(QStringLiteral("与第 4 行重复")))
            status = w.ui()->LblCounts->text();
    };
    w.ui()->SBSave->click();
    scriptedDialogs().onBox = nullptr;
    EXPECT_TRUE(status.startsWith(QStringLiteral("正在导入 5 / 6 行"))) << status.toStdString();
}
