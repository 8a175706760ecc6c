#include "platform/gui/QtDialogs.h"

#include "platform/gui/Application.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

std::unique_ptr<QMessageBox> QtDialogs::makeBox(const QString& text, const QString& caption, MsgIcon icon)
{
    auto box = std::make_unique<QMessageBox>(QApplication::activeWindow());
    box->setWindowTitle(caption);
    box->setText(text);
    box->setIcon(icon == MsgIcon::Error ? QMessageBox::Critical
                 : icon == MsgIcon::Information ? QMessageBox::Information
                                                : QMessageBox::NoIcon);
    box->setStandardButtons(QMessageBox::Ok);
    return box;
}

void QtDialogs::messageBox(const QString& text, const QString& caption, MsgIcon icon)
{
    makeBox(text, caption, icon)->exec();
}

bool QtDialogs::messageBoxWithCheck(const QString& text, const QString& caption, MsgIcon icon,
                                    const QString& checkText)
{
    const auto box = makeBox(text, caption, icon);
    auto* check = new QCheckBox(checkText);
    box->setCheckBox(check);
    box->exec();
    return check->isChecked();
}

std::unique_ptr<QMessageBox> QtDialogs::makeConfirm(const QString& text)
{
    // Standard buttons, so that they read in the loaded language (是/否).
    auto box = makeBox(text, QStringLiteral("确认"), MsgIcon::None);
    box->setIcon(QMessageBox::Question);
    box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box->setDefaultButton(QMessageBox::Yes);
    box->setEscapeButton(QMessageBox::No);
    return box;
}

bool QtDialogs::confirm(const QString& text)
{
    return makeConfirm(text)->exec() == QMessageBox::Yes;
}

QString QtDialogs::qtFilter(const QString& filter)
{
    const QStringList parts = filter.split(u'|');
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString pattern = parts[i + 1];
        pattern.replace(u';', u' ');
        // Patterns match without regard to case, as users of the file's
        // home platform expect ("*.Vrd" shows Wage.VRD).
        QStringList variants;
        for (const QString& p : pattern.split(u' ', Qt::SkipEmptyParts))
            variants << p << p.toLower() << p.toUpper();
        variants.removeDuplicates();
        pattern = variants.join(u' ');
        entries << QStringLiteral("%1 (%2)").arg(parts[i], pattern);
    }
    return entries.join(QStringLiteral(";;"));
}

std::unique_ptr<QFileDialog> QtDialogs::makeFileDialog(QWidget* parent, const QString& filter)
{
    auto dialog = std::make_unique<QFileDialog>(parent);
    // The list shows each description as written; the patterns with their
    // case variants stay out of sight.
    dialog->setOption(QFileDialog::HideNameFilterDetails);
    dialog->setNameFilter(qtFilter(filter));
    return dialog;
}

QString QtDialogs::openFileName(QWidget* parent, const QString& filter, bool mustExist)
{
    const auto dialog = makeFileDialog(parent, filter);
    dialog->setFileMode(mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return QString();
    return dialog->selectedFiles().first();
}

QString QtDialogs::saveFileName(QWidget* parent, const QString& filter, const QString& suggested)
{
    const auto dialog = makeFileDialog(parent, filter);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix(QStringLiteral("xlsx"));
    if (!suggested.isEmpty())
        dialog->selectFile(suggested);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return QString();
    return dialog->selectedFiles().first();
}
