#pragma once

#include <QDialog>

#include <functional>
#include <memory>

namespace Ui {
class TSetConfigFrm;
}

// The settings dialog: the local database file, or the server, database,
// user and password, for the mode the settings file is in.
class TSetConfigFrm : public QDialog {
    Q_OBJECT
public:
    explicit TSetConfigFrm(QWidget* parent = nullptr);
    ~TSetConfigFrm() override;

    Ui::TSetConfigFrm* ui() const { return ui_.get(); }
    // Shows the controls of the mode.
    void showMode(int connectOption);

public Q_SLOTS:
    void BtnOKClick();
    void BtnExitClick();
    void TBDataClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Enter moves on like Tab. Returns true when it took the key.
    bool FormKeyPress(int key);

    std::unique_ptr<Ui::TSetConfigFrm> ui_;
    int mode_ = 1;
};

// Runs the dialog over MyConnect.ini; true when the user saved it.
bool ShowSetConfig();

// Hook for tests: called with the dialog once it is set up, instead of
// waiting for the user (the test clicks or types, then closes it).
void setSetConfigScript(std::function<void(TSetConfigFrm&)> script);
