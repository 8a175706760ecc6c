#pragma once

#include <QString>

class QWidget;

// Every message box, confirmation and file dialog of the program goes through
// this seam. The program installs the Qt one; the command-line tool writes
// boxes to standard error; tests install a scripted one that records each box
// and answers it, so that no modal box ever blocks.
enum class MsgIcon { None, Information, Error };

class DialogSeam {
public:
    virtual ~DialogSeam() = default;

    // A modal box with one OK button.
    virtual void messageBox(const QString& text, const QString& caption, MsgIcon icon) = 0;

    // The same box with a check box under the text; true when it was ticked.
    virtual bool messageBoxWithCheck(const QString& text, const QString& caption, MsgIcon icon,
                                     const QString& checkText) = 0;

    // The confirmation dialog: question icon, "&Yes" (default) and "&No",
    // Escape answers No, caption "Confirm". True for Yes.
    virtual bool confirm(const QString& text) = 0;

    // A file-open dialog. The filter is written "description|pattern", and
    // several entries follow each other the same way ("d1|p1|d2|p2"); a
    // pattern lists its extensions with ";". The description is shown as it
    // stands. Returns the chosen file's full path, or empty text when
    // cancelled. With mustExist false the user may name a file that does
    // not exist yet.
    virtual QString openFileName(QWidget* parent, const QString& filter, bool mustExist) = 0;

    // A file-save dialog (filter as above) starting at the suggested path;
    // it asks before replacing a file. Empty text when cancelled.
    virtual QString saveFileName(QWidget* parent, const QString& filter, const QString& suggested) = 0;
};

// Hands everything to another seam: the base of a seam that changes one
// thing about the boxes of a stretch of work.
class ForwardingDialogs : public DialogSeam {
public:
    explicit ForwardingDialogs(DialogSeam& inner)
        : inner_(inner)
    {
    }
    void messageBox(const QString& text, const QString& caption, MsgIcon icon) override
    {
        inner_.messageBox(text, caption, icon);
    }
    bool messageBoxWithCheck(const QString& text, const QString& caption, MsgIcon icon, const QString& checkText) override
    {
        return inner_.messageBoxWithCheck(text, caption, icon, checkText);
    }
    bool confirm(const QString& text) override { return inner_.confirm(text); }
    QString openFileName(QWidget* parent, const QString& filter, bool mustExist) override
    {
        return inner_.openFileName(parent, filter, mustExist);
    }
    QString saveFileName(QWidget* parent, const QString& filter, const QString& suggested) override
    {
        return inner_.saveFileName(parent, filter, suggested);
    }

protected:
    DialogSeam& inner_;
};

namespace Dialogs {

// The seam in use; never null (a standard-error one until another is installed).
DialogSeam& seam();
// Installs a seam and returns the previous one; the caller keeps ownership.
DialogSeam* install(DialogSeam* seam);

inline void messageBox(const QString& text, const QString& caption, MsgIcon icon)
{
    seam().messageBox(text, caption, icon);
}
inline bool messageBoxWithCheck(const QString& text, const QString& caption, MsgIcon icon, const QString& checkText)
{
    return seam().messageBoxWithCheck(text, caption, icon, checkText);
}
inline bool confirm(const QString& text) { return seam().confirm(text); }
inline QString openFileName(QWidget* parent, const QString& filter, bool mustExist = true)
{
    return seam().openFileName(parent, filter, mustExist);
}
inline QString saveFileName(QWidget* parent, const QString& filter, const QString& suggested)
{
    return seam().saveFileName(parent, filter, suggested);
}

} // namespace Dialogs

// Writes each box as "CAPTION: TEXT" on standard error; confirms nothing and
// chooses no file. The command-line tool's seam.
class StderrDialogs : public DialogSeam {
public:
    void messageBox(const QString& text, const QString& caption, MsgIcon icon) override;
    bool messageBoxWithCheck(const QString& text, const QString& caption, MsgIcon icon,
                             const QString& checkText) override;
    bool confirm(const QString& text) override;
    QString openFileName(QWidget* parent, const QString& filter, bool mustExist) override;
    QString saveFileName(QWidget* parent, const QString& filter, const QString& suggested) override;
};
