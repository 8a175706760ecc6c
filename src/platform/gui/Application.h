#pragma once

#include <QApplication>
#include <QList>
#include <QPointer>
#include <QTranslator>
#include <QWidget>

#include <exception>
#include <functional>
#include <memory>

class QDialog;

// The application object: title, form creation, the message loop and
// termination, and the general error handler.
//
// Terminate only sets a request; it takes effect at the next wait for
// messages: the main loop ends, and a modal window that is waiting (or that
// starts waiting afterwards) closes at once with Cancel (2).
class Application : public QApplication {
    Q_OBJECT
public:
    Application(int& argc, char** argv);
    ~Application() override;

    static Application* instance();

    // Loads the toolkit's Chinese translations.
    void Initialize();
    // Qt's own texts in this locale ("zh_CN"); "" goes back to English.
    // False when the translation file is missing.
    bool loadQtTranslations(const QString& locale);
    void setTitle(const QString& title);
    QString title() const { return title_; }

    // Runs a handler; an error in it is reported by the general error
    // handler and the program goes on.
    void runHandler(const std::function<void()>& handler);
    // The same for a creation handler: creation goes on after an error.
    void runCreationHandler(const std::function<void()>& handler) { runHandler(handler); }
    // Makes the window the main window if there is none yet.
    void registerForm(QWidget* form);
    QWidget* mainForm() const { return mainForm_; }

    // Shows the main window and processes messages until termination is
    // requested. Returns at once when termination was requested before.
    void Run();
    void Terminate();
    bool terminated() const;

    // Runs a dialog modally under the termination rule above.
    int execModal(QDialog& dialog);

    // The general error handler: the text (with a full stop added when its
    // last character sorts after "."), the title as caption, the error icon.
    void showException(const std::exception& e);
    static QString withFullStop(const QString& text);

    bool notify(QObject* receiver, QEvent* event) override;

    // Forget everything of an earlier start-up (tests).
    void resetForTest();

private:
    void endModals();

    QString title_;
    std::unique_ptr<QTranslator> qtTranslator_;
    QPointer<QWidget> mainForm_;
    QList<QPointer<QDialog>> modals_;
    bool running_ = false;
};

// Wraps a slot so that an error escaping it is shown by the general error
// handler right there, instead of unwinding through Qt's signal delivery.
template <class F>
auto guardedHandler(F handler)
{
    return [handler]() {
        if (Application* app = Application::instance())
            app->runHandler(handler);
        else
            handler();
    };
}
