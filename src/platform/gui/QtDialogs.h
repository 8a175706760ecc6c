#pragma once

#include "platform/Dialogs.h"

#include <memory>

class QFileDialog;
class QMessageBox;

// The dialog seam of the running program: Qt message boxes and file dialogs.
// Their standard buttons read in the language of the translations the
// application loaded.
class QtDialogs : public DialogSeam {
public:
    void messageBox(const QString& text, const QString& caption, MsgIcon icon) override;
    bool messageBoxWithCheck(const QString& text, const QString& caption, MsgIcon icon,
                             const QString& checkText) override;
    bool confirm(const QString& text) override;
    QString openFileName(QWidget* parent, const QString& filter, bool mustExist) override;
    QString saveFileName(QWidget* parent, const QString& filter, const QString& suggested) override;

    // "desc|pattern|desc|pattern" to Qt's "desc (pattern);;desc (pattern)".
    static QString qtFilter(const QString& filter);

    // The boxes and dialogs as they are shown, unshown (tests look at them).
    static std::unique_ptr<QMessageBox> makeBox(const QString& text, const QString& caption, MsgIcon icon);
    static std::unique_ptr<QMessageBox> makeConfirm(const QString& text);
    static std::unique_ptr<QFileDialog> makeFileDialog(QWidget* parent, const QString& filter);
};
