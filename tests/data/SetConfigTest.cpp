#include "data/SetConfig.h"
#include "data/UserDMUnit.h"
#include "platform/IniFile.h"
#include "platform/Shell.h"
#include "services/userGlobal.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"
#include "ui_SetConfig.h"

#include <QFile>
#include <QTest>

#include <gtest/gtest.h>

namespace {
const RecordedBox kSaved{QStringLiteral("配置成功!"), QStringLiteral("提示"), MsgIcon::Information};
const RecordedBox kEmpty{QStringLiteral("数据库路径不能为空!"), QStringLiteral("提示"), MsgIcon::Error};

class SetConfigTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Shell::overrideExecutableDirectory(dir.path());
        ResetGlobalRecords();
    }
    void TearDown() override
    {
        setSetConfigScript({});
        Shell::overrideExecutableDirectory(QString());
    }
    QString iniPath() const { return dir.file(QStringLiteral("MyConnect.ini")); }
    QByteArray iniBytes() const
    {
        QFile f(iniPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void writeIni(const QByteArray& bytes)
    {
        QFile f(iniPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    TempDir dir;
};
} // namespace

TEST_F(SetConfigTest, NoFileOpensLocalModeAndOkCreatesOnlyTheLocalEntry)
{
    setSetConfigScript([](TSetConfigFrm& d) {
        EXPECT_TRUE(d.ui()->GroupBox1->isVisible());
        EXPECT_FALSE(d.ui()->GroupBox2->isVisible());
        EXPECT_TRUE(d.ui()->EdtPath->text().isEmpty());
        d.ui()->EdtPath->setText(QStringLiteral("/srv/人事/Wage.VRD"));
        d.ui()->BtnOK->click();
    });
    EXPECT_TRUE(ShowSetConfig());
    EXPECT_EQ(scriptedDialogs().boxes, QList<RecordedBox>{kSaved});
    EXPECT_EQ(TSetValue.ConnectOption, 1);
    IniFile ini(iniPath());
    EXPECT_EQ(ini.readString(QStringLiteral("localdb"), QStringLiteral("DBNAMES"), QString()), "/srv/人事/Wage.VRD");
    EXPECT_FALSE(iniBytes().contains("Connect]"));
    EXPECT_FALSE(iniBytes().contains("DataBase]"));
}

TEST_F(SetConfigTest, EmptyPathIsRefusedAndTheDialogStaysOpen)
{
    int attempts = 0;
    setSetConfigScript([&attempts](TSetConfigFrm& d) {
        d.ui()->BtnOK->click();
        ++attempts;
        EXPECT_TRUE(d.isVisible());
        d.ui()->EdtPath->setText(QStringLiteral(" "));  // blanks count as filled
        d.ui()->BtnOK->click();
    });
    EXPECT_TRUE(ShowSetConfig());
    EXPECT_EQ(attempts, 1);
    EXPECT_EQ(scriptedDialogs().boxes, (QList<RecordedBox>{kEmpty, kSaved}));
}

TEST_F(SetConfigTest, ExitAndCloseBoxWriteNothing)
{
    writeIni("[LocalDB]\r\nDBnames=/a/b.VRD\r\n");
    const QByteArray before = iniBytes();
    setSetConfigScript([](TSetConfigFrm& d) {
        EXPECT_EQ(d.ui()->EdtPath->text(), "/a/b.VRD");
        d.ui()->EdtPath->setText(QStringLiteral("/changed"));
        d.ui()->BtnExit->click();
    });
    EXPECT_FALSE(ShowSetConfig());
    setSetConfigScript([](TSetConfigFrm& d) { d.close(); });
    EXPECT_FALSE(ShowSetConfig());
    EXPECT_EQ(iniBytes(), before);
    EXPECT_TRUE(scriptedDialogs().boxes.isEmpty());
}

TEST_F(SetConfigTest, ServerModeShowsAndWritesTheServerKeys)
{
    writeIni("[Connect]\r\nConnectOption=0\r\n[DataBase]\r\nServerName=db1\r\nDataBaseName=hr\r\nPassWord=pw\r\n");
    setSetConfigScript([](TSetConfigFrm& d) {
        EXPECT_FALSE(d.ui()->GroupBox1->isVisible());
        EXPECT_TRUE(d.ui()->GroupBox2->isVisible());
        EXPECT_EQ(d.ui()->GroupBox2->y(), 0);
        EXPECT_EQ(d.ui()->EdtServerName->text(), "db1");
        EXPECT_EQ(d.ui()->EdtDataBaseName->text(), "hr");
        EXPECT_EQ(d.ui()->EdtUserName->text(), "sa");
        EXPECT_EQ(d.ui()->EdtPassword->text(), "pw");
        d.ui()->EdtUserName->clear();
        d.ui()->EdtPassword->clear();
        d.ui()->BtnOK->click();
    });
    EXPECT_TRUE(ShowSetConfig());
    EXPECT_EQ(TSetValue.ConnectOption, 0);
    IniFile ini(iniPath());
    EXPECT_EQ(ini.readString(QStringLiteral("DataBase"), QStringLiteral("UserName"), QStringLiteral("absent")), "");
    EXPECT_EQ(ini.readString(QStringLiteral("DataBase"), QStringLiteral("Password"), QStringLiteral("absent")), "");
    EXPECT_EQ(ini.readInteger(QStringLiteral("Connect"), QStringLiteral("ConnectOption"), 1), 0);
}

TEST_F(SetConfigTest, ServerModeNeedsServerAndDatabase)
{
    writeIni("[Connect]\r\nConnectOption=2\r\n");
    setSetConfigScript([](TSetConfigFrm& d) {
        d.ui()->EdtServerName->setText(QStringLiteral("db1"));
        d.ui()->BtnOK->click();   // database empty
        d.ui()->EdtDataBaseName->setText(QStringLiteral("hr"));
        d.ui()->EdtServerName->clear();
        d.ui()->BtnOK->click();   // server empty
        d.ui()->BtnExit->click();
    });
    EXPECT_FALSE(ShowSetConfig());
    EXPECT_EQ(scriptedDialogs().boxes, (QList<RecordedBox>{kEmpty, kEmpty}));
}

TEST_F(SetConfigTest, FileButtonUsesTheFilterAndKeepsThePathOnCancel)
{
    TSetConfigFrm d;
    d.showMode(1);
    d.ui()->EdtPath->setText(QStringLiteral("/old.VRD"));
    d.TBDataClick();
    EXPECT_EQ(d.ui()->EdtPath->text(), "/old.VRD");
    scriptedDialogs().fileAnswers = {QStringLiteral("/new/Wage.VRD")};
    d.TBDataClick();
    EXPECT_EQ(d.ui()->EdtPath->text(), "/new/Wage.VRD");
    EXPECT_EQ(scriptedDialogs().fileFilters.first(), "数据库文件(*.Vrd)|*.Vrd");
    EXPECT_EQ(d.ui()->TBData->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(d.windowTitle(), "系统参数设置 ");
}

TEST_F(SetConfigTest, EnterMovesFocusLikeTabInTabOrder)
{
    TSetConfigFrm d;
    d.showMode(0);
    d.show();
    d.ui()->EdtServerName->setFocus();
    QStringList order;
    for (int i = 0; i < 6; ++i) {
        order << (d.focusWidget() ? d.focusWidget()->objectName() : QString());
        QTest::keyClick(d.focusWidget(), Qt::Key_Return);
    }
    EXPECT_EQ(order, (QStringList{QStringLiteral("EdtServerName"), QStringLiteral("EdtDataBaseName"),
                                  QStringLiteral("EdtUserName"), QStringLiteral("EdtPassword"),
                                  QStringLiteral("BtnOK"), QStringLiteral("BtnExit")}));
    EXPECT_EQ(d.result(), 0); // Enter on a button moved on instead of clicking it
}
