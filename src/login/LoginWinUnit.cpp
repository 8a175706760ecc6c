#include "login/LoginWinUnit.h"

#include "data/UserDMUnit.h"
#include "login/LoginCheck.h"
#include "platform/DateFormats.h"
#include "platform/Dialogs.h"
#include "platform/Gbk.h"
#include "platform/Shell.h"
#include "platform/gui/Application.h"
#include "platform/gui/Fonts.h"
#include "services/userGlobal.h"
#include "ui_LoginWinUnit.h"

#include <QDate>
#include <QImageReader>
#include <QKeyEvent>
#include <QProcess>
#include <QScreen>
#include <QTimer>

namespace {
RestartLauncher g_launcher;
std::function<void(TUserLoginFrm&)> g_script;

void launchDetached(const QString& executable)
{
    QProcess::startDetached(executable, {});
}

bool isEnter(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}
} // namespace

void setRestartLauncher(RestartLauncher launcher)
{
    g_launcher = std::move(launcher);
}

void setLoginScript(std::function<void(TUserLoginFrm&)> script)
{
    g_script = std::move(script);
}

TUserLoginFrm::TUserLoginFrm(QWidget* parent)
    : QDialog(parent)
    , ui_(std::make_unique<Ui::TUserLoginFrm>())
{
    ui_->setupUi(this);
    // A title bar without caption buttons: only Cancel leaves the window.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFont(pixelFont("宋体", 15));
    ui_->Label1->setFont(pixelFont("楷体_GB2312", 15, true));
    ui_->Label2->setFont(pixelFont("楷体_GB2312", 15, true));
    ui_->BtOk->setFont(pixelFont("宋体", 14));
    ui_->BtCanCel->setFont(pixelFont("宋体", 14));
    ui_->Shape1->lower();
    ui_->Shape2->lower();

    ui_->LoginName_Edit->installEventFilter(this);
    ui_->Password_Edit->installEventFilter(this);
    connect(ui_->BtOk, &QPushButton::clicked, this, guardedHandler([this] { FlatButton1Click(); }));
    connect(ui_->BtCanCel, &QPushButton::clicked, this, guardedHandler([this] { FlatButton2Click(); }));

    if (auto* app = Application::instance())
        app->runCreationHandler([this] { FormCreate(); });
    else
        FormCreate();
}

TUserLoginFrm::~TUserLoginFrm() = default;

void TUserLoginFrm::FormCreate()
{
    formatsSet_ = SetLoginDateFormats();
    TSetValue.ComputerName = GetLocalComputerName();
}

void TUserLoginFrm::showEvent(QShowEvent* event)
{
    if (auto* app = Application::instance())
        app->runCreationHandler([this] { FormShow(); });
    else
        FormShow();
    if (QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
}

void TUserLoginFrm::FormShow()
{
    resize(330, 210);

    // A missing or broken banner is no reason to bother the user.
    QImageReader reader(TSetValue.AppPath + QStringLiteral("/image/StartTop.jpg"));
    const QImage banner = reader.read();
    ui_->Image1->setPixmap(banner.isNull() ? QPixmap() : QPixmap::fromImage(banner));

    // The format this instance started with decides; a new instance starts
    // with the one just written. Restart only when that write took hold,
    // so that a format that cannot be changed never makes a loop.
    const QString today = DateFormats::formatDate(QDate::currentDate(), DateFormats::startupShortDateFormat());
    if (Gbk::byteLength(today) < 10 && formatsSet_) {
        Shell::requestTerminate();
        (g_launcher ? g_launcher : launchDetached)(Shell::executablePath());
    }

    ui_->LoginName_Edit->clear();
    ui_->Password_Edit->clear();
    ui_->LoginName_Edit->setFocus();

    // OK does nothing without a connection; say why, or the clerk waits.
    ui_->LblNotConnected->setVisible(!UserDM || !UserDM->ADOConnection1.connected());
}

bool TUserLoginFrm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (watched == ui_->LoginName_Edit)
            LoginName_EditKeyDown(key);
        else if (watched == ui_->Password_Edit)
            Password_EditKeyDown(key);
        if (isEnter(key))
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TUserLoginFrm::LoginName_EditKeyDown(int key)
{
    if (isEnter(key))
        ui_->Password_Edit->setFocus();
}

void TUserLoginFrm::Password_EditKeyDown(int key)
{
    if (isEnter(key))
        ui_->BtOk->click();
}

void TUserLoginFrm::FlatButton1Click()
{
    const LoginOutcome outcome = CheckLogin(ui_->LoginName_Edit->text(), ui_->Password_Edit->text());
    if (outcome == LoginOutcome::Accepted) {
        done(1);
    } else if (outcome == LoginOutcome::WrongPassword) {
        // Selected, so that the retyped password replaces the wrong one.
        ui_->Password_Edit->setFocus();
        ui_->Password_Edit->selectAll();
    }
}

void TUserLoginFrm::FlatButton2Click()
{
    if (Dialogs::confirm(QStringLiteral("真的要退出吗？")))
        done(2);
}

bool ShowLogin()
{
    TUserLoginFrm window;
    if (g_script)
        QTimer::singleShot(0, &window, [&window] { g_script(window); });
    const int result = Application::instance()
        ? Application::instance()->execModal(window)
        : window.exec();
    return result == 1;
}
