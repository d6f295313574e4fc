#pragma once

#include <QAction>
#include <QCoreApplication>
#include <QLineEdit>
#include <QString>
#include <QWidget>

#include <initializer_list>

// What a screen reader says of a window's controls: the accessible name and description.
namespace ScreenReader {

struct Control
{
    QWidget *widget;
    QString name;        // empty: the control's own text (a button's caption, a label's value)
    QString description; // what the control does or shows, beyond its name
};

// Gives each control its name, unless that is empty, and its description. A description also
// stands in for the tooltip, which a screen reader would be given instead (as markup, when it is
// one of FixedLayout::plainToolTip()).
inline void describe(std::initializer_list<Control> controls)
{
    for (const Control &control : controls) {
        if (!control.name.isEmpty())
            control.widget->setAccessibleName(control.name);
        control.widget->setAccessibleDescription(control.description);
    }
}

// Names the clear button of `edit` (QLineEdit::setClearButtonEnabled()), which Qt leaves without
// a name: through its action, the one Qt names "_q_qlineeditclearaction".
inline void nameClearButton(QLineEdit *edit)
{
    if (auto *clear = edit->findChild<QAction *>(QStringLiteral("_q_qlineeditclearaction")))
        clear->setText(QCoreApplication::translate("ScreenReader", "Clear the text"));
}

} // namespace ScreenReader
