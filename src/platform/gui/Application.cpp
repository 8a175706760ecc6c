#include "platform/gui/Application.h"

#include "platform/Dialogs.h"
#include "platform/Errors.h"
#include "platform/Shell.h"

#include <QDialog>
#include <QIcon>
#include <QLibraryInfo>
#include <QTimer>
#include <QWidget>

static void initResources()
{
    // The pictures live in a static library; its resources need a nudge.
    Q_INIT_RESOURCE(ostrel);
}

Application::Application(int& argc, char** argv)
    : QApplication(argc, argv)
{
    initResources();
    setOrganizationName(QStringLiteral("Ostrel"));
    setApplicationName(QStringLiteral("ostrel-import"));
    // Lets the desktop match windows to the menu entry and its icon.
    setDesktopFileName(QStringLiteral("ostrel-import"));
    setWindowIcon(QIcon::fromTheme(QStringLiteral("ostrel-import"), QIcon(QStringLiteral(":/icons/ostrel-import.svg"))));
    // The main window's close ends the loop through Terminate, not through
    // Qt's last-window rule (the login window closes long before).
    setQuitOnLastWindowClosed(false);
    Shell::setTerminateHandler([this] { Terminate(); });
}

Application::~Application()
{
    Shell::setTerminateHandler({});
}

Application* Application::instance()
{
    return qobject_cast<Application*>(QCoreApplication::instance());
}

void Application::Initialize()
{
    // The platform layer that needs starting here is the toolkit's language:
    // its file dialogs and standard buttons speak Chinese, as the rest does.
    loadQtTranslations(QStringLiteral("zh_CN"));
}

bool Application::loadQtTranslations(const QString& locale)
{
    if (qtTranslator_) {
        removeTranslator(qtTranslator_.get());
        qtTranslator_.reset();
    }
    if (locale.isEmpty())
        return true;
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral("qtbase_") + locale, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false; // the toolkit stays in English: no reason to stop
    installTranslator(translator.get());
    qtTranslator_ = std::move(translator);
    return true;
}

void Application::setTitle(const QString& title)
{
    // Not the display name: Qt would append it to every window's caption.
    title_ = title;
}

void Application::runHandler(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const std::exception& e) {
        showException(e);
    }
}

void Application::registerForm(QWidget* form)
{
    if (!mainForm_)
        mainForm_ = form;
}

void Application::Run()
{
    if (terminated() || !mainForm_)
        return;
    mainForm_->show();
    running_ = true;
    exec();
    running_ = false;
}

void Application::Terminate()
{
    if (!Shell::terminateRequested()) {
        // Through Shell so that code without widgets sees the request too.
        Shell::requestTerminate();
        return;
    }
    endModals();
    if (running_)
        QTimer::singleShot(0, this, [] { QCoreApplication::exit(0); });
}

bool Application::terminated() const
{
    return Shell::terminateRequested();
}

void Application::endModals()
{
    for (const QPointer<QDialog>& d : modals_) {
        if (d)
            QTimer::singleShot(0, d, [dlg = d] {
                if (dlg && dlg->isVisible())
                    dlg->done(2);
            });
    }
}

int Application::execModal(QDialog& dialog)
{
    modals_.append(&dialog);
    if (terminated()) {
        // Let the show handlers run, then end the wait at once.
        QTimer::singleShot(0, &dialog, [&dialog] { dialog.done(2); });
    }
    const int result = dialog.exec();
    modals_.removeAll(&dialog);
    modals_.removeAll(nullptr);
    return result;
}

QString Application::withFullStop(const QString& text)
{
    if (!text.isEmpty() && text.back() > QChar(u'.'))
        return text + u'.';
    return text;
}

void Application::showException(const std::exception& e)
{
    Dialogs::messageBox(withFullStop(errorText(e)), title_, MsgIcon::Error);
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        showException(e);
    } catch (...) {
        showException(Error(QStringLiteral("Unknown error")));
    }
    return false;
}

void Application::resetForTest()
{
    mainForm_ = nullptr;
    modals_.clear();
    running_ = false;
    Shell::resetTerminateRequest();
}
