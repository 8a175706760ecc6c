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
    bool operator==(const RecordedBox&) const = default;
};

class ScriptedDialogs : public DialogSeam {
public:
    void messageBox(const QString& text, const QString& caption, MsgIcon icon) override;
    bool confirm(const QString& text) override;
    QString openFileName(QWidget* parent, const QString& filter, bool mustExist) override;

    void reset();

    QList<RecordedBox> boxes;
    QStringList confirmations;   // texts asked
    QList<bool> confirmAnswers;  // answered in order; No when exhausted
    QStringList fileFilters;     // filters shown
    QStringList fileAnswers;     // chosen paths in order; cancel when exhausted
    // Runs inside each box (for example to click something while it is up).
    std::function<void(const RecordedBox&)> onBox;
};

// The instance installed by the test main.
ScriptedDialogs& scriptedDialogs();
