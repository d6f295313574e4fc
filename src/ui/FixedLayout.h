#pragma once

#include "Twips.h"

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

} // namespace FixedLayout
