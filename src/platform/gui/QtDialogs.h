#pragma once

#include "platform/Dialogs.h"

// The dialog seam of the running program: Qt message boxes and file dialogs.
class QtDialogs : public DialogSeam {
public:
    void messageBox(const QString& text, const QString& caption, MsgIcon icon) override;
    bool confirm(const QString& text) override;
    QString openFileName(QWidget* parent, const QString& filter, bool mustExist) override;

    // "desc|pattern|desc|pattern" to Qt's "desc (pattern);;desc (pattern)".
    static QString qtFilter(const QString& filter);
};
