#pragma once

#include <QFontMetrics>
#include <QLabel>

// The layouts' label widths were drawn for a narrow font. A caption wider than its label is set
// a little smaller, down to 7 points, rather than cut; one that still does not fit shows whole
// in its tooltip.
inline void setFittedCaption(QLabel *label, const QString &text)
{
    constexpr qreal SmallestPointSize = 7;
    label->setText(text);
    const QFont inherited = label->parentWidget() ? label->parentWidget()->font() : QFont();
    QFont font = inherited;
    const auto fits = [&] { return QFontMetrics(font).horizontalAdvance(text) <= label->width(); };
    while (!fits() && font.pointSizeF() - 0.5 >= SmallestPointSize)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    label->setFont(font == inherited ? QFont() : font); // an empty font: the parent's again
    label->setToolTip(fits() ? QString() : text);
}
