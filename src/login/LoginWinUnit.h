#pragma once

#include <QDialog>

#include <functional>
#include <memory>

namespace Ui {
class TUserLoginFrm;
}

// The login window: checks the login id and password against Sys_User,
// sets the date formats and the computer name, and restarts the program
// when the date format it started with is too short.
class TUserLoginFrm : public QDialog {
    Q_OBJECT
public:
    explicit TUserLoginFrm(QWidget* parent = nullptr);
    ~TUserLoginFrm() override;

    Ui::TUserLoginFrm* ui() const { return ui_.get(); }

public Q_SLOTS:
    void FormCreate();
    void FormShow();
    void FlatButton1Click();
    void FlatButton2Click();

    // Escape and the window manager's close do nothing: only a confirmed
    // Cancel (or the program's termination) ends the wait.
    void reject() override {}

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void LoginName_EditKeyDown(int key);
    void Password_EditKeyDown(int key);

    std::unique_ptr<Ui::TUserLoginFrm> ui_;
    bool formatsSet_ = false;
};

// Shows the login window modally; true when the login succeeded.
bool ShowLogin();

// Starts the program anew (detached); tests put a recorder in its place.
using RestartLauncher = std::function<void(const QString& executable)>;
void setRestartLauncher(RestartLauncher launcher);
// Tests: called with the window once it waits, instead of a user.
void setLoginScript(std::function<void(TUserLoginFrm&)> script);
