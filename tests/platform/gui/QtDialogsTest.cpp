#include "platform/gui/Application.h"
#include "platform/gui/QtDialogs.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QWidget>

#include <gtest/gtest.h>

namespace {
// Qt's own texts in Chinese for one test, English again afterwards.
class QtDialogsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Application::instance()->loadQtTranslations(QStringLiteral("zh_CN"))); }
    void TearDown() override { Application::instance()->loadQtTranslations(QString()); }
};
} // namespace

TEST_F(QtDialogsTest, StandardButtonsAndDialogsReadInChinese)
{
    const auto confirm = QtDialogs::makeConfirm(QStringLiteral("真的要退出吗？"));
    EXPECT_EQ(confirm->windowTitle(), "确认");
    EXPECT_EQ(confirm->icon(), QMessageBox::Question);
    EXPECT_EQ(confirm->button(QMessageBox::Yes)->text(), "是(&Y)");
    EXPECT_EQ(confirm->button(QMessageBox::No)->text(), "否(&N)");
    EXPECT_EQ(confirm->defaultButton(), confirm->button(QMessageBox::Yes));
    EXPECT_EQ(confirm->escapeButton(), confirm->button(QMessageBox::No));
    const auto box = QtDialogs::makeBox(QStringLiteral("x"), QStringLiteral("提示"), MsgIcon::Error);
    EXPECT_EQ(box->button(QMessageBox::Ok)->text(), "确定");

    // File dialogs: Chinese buttons, each filter shown by its description.
    const auto dialog = QtDialogs::makeFileDialog(
        nullptr, QStringLiteral("表格文件 (*.xls *.csv)|*.xls;*.csv|数据库文件(*.Vrd)|*.Vrd"));
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    const auto* buttons = dialog->findChild<QDialogButtonBox*>();
    ASSERT_NE(buttons, nullptr);
    EXPECT_EQ(buttons->button(QDialogButtonBox::Open)->text(), "打开(&O)");
    EXPECT_EQ(buttons->button(QDialogButtonBox::Cancel)->text(), "取消");
    const auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    ASSERT_NE(types, nullptr);
    ASSERT_EQ(types->count(), 2);
    EXPECT_EQ(types->itemText(0), "表格文件 (*.xls *.csv)");
    EXPECT_EQ(types->itemText(1), "数据库文件(*.Vrd)");
    EXPECT_TRUE(dialog->nameFilters()[1].endsWith(QStringLiteral("(*.Vrd *.vrd *.VRD)")));

    // Qt appends a display name to every window title: there is none.
    Application::instance()->setTitle(QStringLiteral("Ostrel数据导入管理"));
    EXPECT_NE(QGuiApplication::applicationDisplayName(), "Ostrel数据导入管理");
}
