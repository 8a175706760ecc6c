#include "import/window/ElidedLabel.h"

#include <QEvent>
#include <QPainter>
#include <QStyle>

namespace {
constexpr int kMinimumChars = 6; // what is left shown at the narrowest
}

void ElidedLabel::setText(const QString& text)
{
    QLabel::setText(text);
    updateTip();
}

QSize ElidedLabel::minimumSizeHint() const
{
    const QFontMetrics fm(font());
    return {fm.horizontalAdvance(QString(kMinimumChars, QChar(0x4E00))), fm.height()};
}

QSize ElidedLabel::sizeHint() const
{
    const QFontMetrics fm(font());
    return {std::max(minimumSizeHint().width(), fm.horizontalAdvance(text())), fm.height()};
}

bool ElidedLabel::elided() const
{
    return QFontMetrics(font()).horizontalAdvance(text()) > contentsRect().width();
}

void ElidedLabel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect r = contentsRect();
    const QString shown = QFontMetrics(font()).elidedText(text(), Qt::ElideRight, r.width());
    style()->drawItemText(&p, r, int(alignment() | Qt::TextSingleLine), palette(), isEnabled(), shown, foregroundRole());
}

void ElidedLabel::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    updateTip();
}

void ElidedLabel::changeEvent(QEvent* event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        updateTip();
}

void ElidedLabel::updateTip()
{
    setToolTip(elided() ? text() : QString());
}
