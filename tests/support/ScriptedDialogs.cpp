#include "support/ScriptedDialogs.h"

void ScriptedDialogs::messageBox(const QString& text, const QString& caption, MsgIcon icon)
{
    boxes.append({text, caption, icon});
    if (onBox)
        onBox(boxes.last());
}

bool ScriptedDialogs::confirm(const QString& text)
{
    confirmations << text;
    return confirmAnswers.isEmpty() ? false : confirmAnswers.takeFirst();
}

QString ScriptedDialogs::openFileName(QWidget*, const QString& filter, bool)
{
    fileFilters << filter;
    return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
}

void ScriptedDialogs::reset()
{
    *this = ScriptedDialogs();
}

ScriptedDialogs& scriptedDialogs()
{
    static ScriptedDialogs instance;
    return instance;
}
