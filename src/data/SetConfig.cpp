#include "data/SetConfig.h"

#include "data/UserDMUnit.h"
#include "platform/Dialogs.h"
#include "platform/IniFile.h"
#include "platform/gui/Application.h"
#include "platform/gui/Fonts.h"
#include "services/userGlobal.h"
#include "ui_SetConfig.h"

#include <QKeyEvent>
#include <QTimer>

namespace {
std::function<void(TSetConfigFrm&)> g_script;

const QString kPrompt = QStringLiteral("提示");
} // namespace

void setSetConfigScript(std::function<void(TSetConfigFrm&)> script)
{
    g_script = std::move(script);
}

TSetConfigFrm::TSetConfigFrm(QWidget* parent)
    : QDialog(parent)
    , ui_(std::make_unique<Ui::TSetConfigFrm>())
{
    ui_->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFont(pixelFont("宋体", 14));
    ui_->TBData->setFont(pixelFont("宋体", 13));

    connect(ui_->BtnOK, &QPushButton::clicked, this, guardedHandler([this] { BtnOKClick(); }));
    connect(ui_->BtnExit, &QPushButton::clicked, this, guardedHandler([this] { BtnExitClick(); }));
    connect(ui_->TBData, &QToolButton::clicked, this, guardedHandler([this] { TBDataClick(); }));

    // The form sees key presses before its controls.
    for (QWidget* w : findChildren<QWidget*>())
        w->installEventFilter(this);
}

TSetConfigFrm::~TSetConfigFrm() = default;

void TSetConfigFrm::showMode(int connectOption)
{
    mode_ = connectOption;
    const bool local = connectOption == 1;
    ui_->GroupBox1->setVisible(local);
    ui_->GroupBox2->setVisible(!local);
    if (!local)
        ui_->GroupBox2->setGeometry(0, 0, width(), ui_->GroupBox2->height());
}

bool TSetConfigFrm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && watched->isWidgetType())
        if (FormKeyPress(static_cast<QKeyEvent*>(event)->key()))
            return true;
    return QDialog::eventFilter(watched, event);
}

bool TSetConfigFrm::FormKeyPress(int key)
{
    if (key != Qt::Key_Return && key != Qt::Key_Enter)
        return false;
    focusNextChild();
    return true;
}

void TSetConfigFrm::BtnOKClick()
{
    const bool missing = mode_ == 1
        ? ui_->EdtPath->text().isEmpty()
        : ui_->EdtServerName->text().isEmpty() || ui_->EdtDataBaseName->text().isEmpty();
    if (missing) {
        Dialogs::messageBox(QStringLiteral("数据库路径不能为空!"), kPrompt, MsgIcon::Error);
        return;
    }
    done(QDialog::Accepted);
}

void TSetConfigFrm::BtnExitClick()
{
    done(2);
}

void TSetConfigFrm::TBDataClick()
{
    const QString path = Dialogs::openFileName(this, QStringLiteral("数据库文件(*.Vrd)|*.Vrd"), false);
    if (!path.isEmpty())
        ui_->EdtPath->setText(path);
}

bool ShowSetConfig()
{
    TSetConfigFrm dialog;
    IniFile ini(TUserDM::settingsPath());
    const int option = ini.readInteger(QStringLiteral("Connect"), QStringLiteral("ConnectOption"), 1);
    TSetValue.ConnectOption = option;
    Ui::TSetConfigFrm& ui = *dialog.ui();
    if (option == 1) {
        ui.EdtPath->setText(ini.readString(QStringLiteral("LocalDB"), QStringLiteral("DbNames"), QString()));
    } else {
        const QString section = QStringLiteral("DataBase");
        ui.EdtServerName->setText(ini.readString(section, QStringLiteral("ServerName"), QString()));
        ui.EdtDataBaseName->setText(ini.readString(section, QStringLiteral("DataBaseName"), QString()));
        ui.EdtUserName->setText(ini.readString(section, QStringLiteral("UserName"), QStringLiteral("sa")));
        ui.EdtPassword->setText(ini.readString(section, QStringLiteral("PassWord"), QString()));
    }
    dialog.showMode(option);

    if (g_script)
        QTimer::singleShot(0, &dialog, [&dialog] { g_script(dialog); });
    const int result = Application::instance()
        ? Application::instance()->execModal(dialog)
        : dialog.exec();
    if (result != QDialog::Accepted)
        return false;

    if (option == 1) {
        ini.writeString(QStringLiteral("LocalDB"), QStringLiteral("DbNames"), ui.EdtPath->text());
    } else {
        const QString section = QStringLiteral("DataBase");
        ini.writeString(section, QStringLiteral("ServerName"), ui.EdtServerName->text());
        ini.writeString(section, QStringLiteral("DataBaseName"), ui.EdtDataBaseName->text());
        ini.writeString(section, QStringLiteral("UserName"), ui.EdtUserName->text());
        ini.writeString(section, QStringLiteral("PassWord"), ui.EdtPassword->text());
    }
    Dialogs::messageBox(QStringLiteral("配置成功!"), kPrompt, MsgIcon::Information);
    return true;
}
