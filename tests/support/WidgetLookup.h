#pragma once

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRect>
#include <QWidget>

// Finding the windows' controls by name, and reading what they show, for the window tests.

// The child named `name`; a missing one ends the test run at once with its name.
template <typename T = QWidget> T *child(QWidget &window, const char *name)
{
    T *found = window.findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("no widget named %s", name);
    return found;
}

// What a control shows as its caption or text: a label's or button's text, a frame's title, a
// combo box's or text box's current text.
inline QString captionOf(const QWidget *control)
{
    if (auto *l = qobject_cast<const QLabel *>(control))
        return l->text();
    if (auto *b = qobject_cast<const QAbstractButton *>(control))
        return b->text();
    if (auto *g = qobject_cast<const QGroupBox *>(control))
        return g->title();
    if (auto *c = qobject_cast<const QComboBox *>(control))
        return c->currentText();
    if (auto *e = qobject_cast<const QLineEdit *>(control))
        return e->text();
    return QString();
}

// The pixel geometry of a Left/Top/Width/Height in twips, 15 twips to a pixel.
inline QRect pixelsOfTwips(const QRect &twips)
{
    return QRect(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15);
}
