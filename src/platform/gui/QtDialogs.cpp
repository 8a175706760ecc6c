#include "platform/gui/QtDialogs.h"

#include "platform/gui/Application.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

void QtDialogs::messageBox(const QString& text, const QString& caption, MsgIcon icon)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(caption);
    box.setText(text);
    box.setIcon(icon == MsgIcon::Error ? QMessageBox::Critical
                 : icon == MsgIcon::Information ? QMessageBox::Information
                                                : QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

bool QtDialogs::confirm(const QString& text)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(QStringLiteral("Confirm"));
    box.setText(text);
    box.setIcon(QMessageBox::Question);
    QPushButton* yes = box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
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

QString QtDialogs::openFileName(QWidget* parent, const QString& filter, bool mustExist)
{
    QFileDialog dialog(parent);
    dialog.setNameFilter(qtFilter(filter));
    dialog.setFileMode(mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}
