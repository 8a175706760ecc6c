#include "support/ScriptedDialogs.h"

void ScriptedDialogs::messageBox(const QString& text, const QString& caption, MsgIcon icon)
{
    boxes.append({text, caption, icon});
    if (onBox)
        onBox(boxes.last());
}

bool ScriptedDialogs::messageBoxWithCheck(const QString& text, const QString& caption, MsgIcon icon,
                                          const QString& checkText)
{
    boxes.append({text, caption, icon, checkText});
    if (onBox)
        onBox(boxes.last());
    return checkAnswers.isEmpty() ? false : checkAnswers.takeFirst();
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

QString ScriptedDialogs::saveFileName(QWidget*, const QString& filter, const QString& suggested)
{
    fileFilters << filter;
    suggestedNames << suggested;
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
