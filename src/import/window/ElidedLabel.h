#pragma once

#include <QLabel>

// A one-line label that never asks for more width than it is given: a text
// too long for it ends in "…" and the whole text is its tooltip. text()
// stays the whole text.
class ElidedLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

    // Hides QLabel's: the tooltip follows the text.
    void setText(const QString& text);
    void clear() { setText(QString()); }

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;
    // True when the text shown is cut.
    bool elided() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void updateTip();
};
