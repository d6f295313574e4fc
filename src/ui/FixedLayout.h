#pragma once

#include "Twips.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>

// The windows place their controls at fixed positions given in twips, as in the layout tables,
// and name each control so that it can be found by name.
namespace FixedLayout {

template <typename Widget>
Widget *place(Widget *widget, const char *name, int left, int top, int width, int height)
{
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(Twips::rect(left, top, width, height));
    return widget;
}

// A push button that Enter never presses: neither default nor auto-default.
inline QPushButton *button(const QString &caption, QWidget *parent)
{
    auto *b = new QPushButton(caption, parent);
    b->setAutoDefault(false);
    b->setDefault(false);
    return b;
}

// A label that shows its text as plain characters, never as markup.
inline QLabel *label(const QString &caption, QWidget *parent)
{
    auto *l = new QLabel(caption, parent);
    l->setTextFormat(Qt::PlainText);
    return l;
}

// The face of the windows laid out in twips, whatever the desktop's font: their label widths
// were drawn for a narrow face of about 8 points. Liberation Sans (the package depends on
// fonts-liberation2) fits every caption at 7.5 points, the largest size at which "Energizer Serial
// No.:" fits its label. Where it is missing, Qt's font matching takes the platform's sans serif,
// and setFittedCaption() keeps a caption whole.
inline constexpr qreal FacePoints = 7.5;
inline QFont face(qreal points = FacePoints)
{
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    return font;
}

// The face in bold, for the layouts' large captions.
inline QFont boldSansSerif(qreal points)
{
    QFont font = face(points);
    font.setBold(true);
    return font;
}

// Gives a window laid out in twips the face, and with it every control in it; the windows of its
// own that it opens (message boxes, file dialogs) keep the desktop's font.
inline void useFace(QWidget *window)
{
    window->setFont(face());
    // Without the face the windows work on; said once, for whoever installed the program.
    static const bool said = [] {
        const QString family = QFontInfo(face()).family();
        if (family != QLatin1String("Liberation Sans"))
            qWarning("Liberation Sans (package fonts-liberation2) is not installed: the windows "
                     "use %s, with captions that do not fit set smaller.",
                     qPrintable(family));
        return true;
    }();
    (void)said;
}

// A tooltip that shows `text` as the characters it is: Qt takes a tooltip that looks like markup
// for rich text, and would load the images it names.
inline QString plainToolTip(const QString &text)
{
    return text.isEmpty()
               ? text
               : QStringLiteral("<p style=\"white-space:pre\">%1</p>").arg(text.toHtmlEscaped());
}

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
    label->setToolTip(fits() ? QString() : plainToolTip(text));
}

} // namespace FixedLayout
