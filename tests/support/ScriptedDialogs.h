#pragma once

#include "platform/Dialogs.h"

#include <QList>
#include <QString>

#include <functional>

// Records every box and answers it from a script, so that no modal box ever
// blocks a test. Installed for the whole test run; each test starts clean.
struct RecordedBox {
    QString text;
    QString caption;
    MsgIcon icon;
    QString check = {}; // the check box's text, for a box that has one
    bool operator==(const RecordedBox&) const = default;
};

class ScriptedDialogs : public DialogSeam {
public:
    void messageBox(const QString& text, const QString& caption, MsgIcon icon) override;
    bool messageBoxWithCheck(const QString& text, const QString& caption, MsgIcon icon,
                             const QString& checkText) override;
    bool confirm(const QString& text) override;
    QString openFileName(QWidget* parent, const QString& filter, bool mustExist) override;
    QString saveFileName(QWidget* parent, const QString& filter, const QString& suggested) override;

    void reset();

    QList<RecordedBox> boxes;
    QStringList confirmations;   // texts asked
    QList<bool> confirmAnswers;  // answered in order; No when exhausted
    QList<bool> checkAnswers;    // check boxes ticked, in order; not ticked when exhausted
    QStringList fileFilters;     // filters shown (open and save dialogs)
    QStringList fileAnswers;     // chosen paths in order (open and save); cancel when exhausted
    QStringList suggestedNames;  // suggested paths of save dialogs
    // Runs inside each box (for example to click something while it is up).
    std::function<void(const RecordedBox&)> onBox;
};

// The instance installed by the test main.
ScriptedDialogs& scriptedDialogs();
