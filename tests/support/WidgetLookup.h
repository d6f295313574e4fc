#pragma once

#include <QtTest>
#include <QtWidgets>

// The child named `name` (member k of a group of like controls, by its "index" property); a
// missing one ends the test run at once.
template <typename T = QWidget> T *child(const QObject &window, const char *name, int k = -1)
{
    for (T *found : window.findChildren<T *>(name))
        if (k < 0 || found->property("index") == k)
            return found;
    qFatal("no widget named %s", name);
}

// The control named `name` that becomes visible in `window` within 10 s, or none.
template <typename T = QWidget> T *shown(const QWidget &window, const char *name)
{
    T *found = nullptr;
    (void)QTest::qWaitFor(
        [&] { return (found = window.findChild<T *>(name)) && found->isVisible(); }, 10'000);
    return found;
}
inline void click(QWidget *control)
{
    QTest::mouseClick(control, Qt::LeftButton);
}

// A window as the operator sees it: title, size in twips, minimise and maximise buttons; each
// control it names: container, place and size in twips, caption, and whether greyed out, checked,
// pressed by Enter, bold or focused; the keyboard order; each open message box and file dialog.
inline QStringList controls(const QWidget &w)
{
    const auto flag = [](bool on, const QString &name) { return on ? name : QString(); };
    QStringList lines{QString("%1 \"%2\" %3 x %4")
                          .arg(w.objectName(), w.windowTitle(),
                               QString::number(w.maximumWidth() * 15),
                               QString::number(w.maximumHeight() * 15)) +
                      flag(w.windowFlags() & Qt::WindowMinimizeButtonHint, " min") +
                      flag(w.windowFlags() & Qt::WindowMaximizeButtonHint, " max")};
    const auto name = [](const QWidget *c) {
        return c->objectName() + c->property("index").toString();
    };
    for (const QWidget *c : w.findChildren<QWidget *>(QRegularExpression("^[^q]"))) {
        const QRect r(c->geometry().topLeft() * 15, c->geometry().size() * 15);
        QString caption;
        for (const char *property : {"currentText", "title", "text"})
            caption = c->property(property).isValid() ? c->property(property).toString() : caption;
        if (c->window() == &w) // not the controls of a dialog of its own
            lines << QString("%1 in %2 at %3 %4 %5 %6 \"%7\"")
                             .arg(name(c), c->parentWidget()->objectName(), QString::number(r.x()),
                                  QString::number(r.y()), QString::number(r.width()),
                                  QString::number(r.height()), caption.replace('\r', "\\r")) +
                         flag(!c->isEnabled(), " greyed") +
                         flag(c->property("checked").toBool(), " checked") +
                         flag(c->property("autoDefault").toBool(), " default") +
                         flag(c->font().bold(),
                              " bold " + QString::number(c->font().pointSizeF())) +
                         flag(w.focusWidget() == c, " focus");
    }
    QStringList order{"keyboard order:"};
    for (const QWidget *c = w.nextInFocusChain(); c != &w && order.size() < 40;
         c = c->nextInFocusChain())
        if ((c->focusPolicy() & Qt::TabFocus) && !c->focusProxy())
            order << name(c);
    lines << order.join(' ');
    for (const QMessageBox *box : w.findChildren<QMessageBox *>())
        lines << QString("message %1 \"%2\" icon %3 buttons %4: %5")
                     .arg(box->objectName(), box->windowTitle(), QString::number(box->icon()),
                          QString::number(box->standardButtons()),
                          box->text().replace(u'\n', " / "));
    for (const QFileDialog *files : w.findChildren<QFileDialog *>())
        lines << "file dialog " + files->objectName() + " \"" + files->windowTitle() + "\" for " +
                     QFileInfo(files->selectedFiles().value(0)).fileName() + ' ' +
                     files->nameFilters().join(';');
    return lines;
}

// A road through a window: after each step, its name and the lines of controls() that are new,
// pseudo-terminals and their entries (which differ between machines) read /dev/pts/N and COM n.
struct Road
{
    void step(const QString &name)
    {
        static const QRegularExpression pts("/dev/pts/\\d+"),
            entry("COM (?!255\\b)(129|1[3-9]\\d|2\\d\\d)");
        const QStringList now =
            controls(window).replaceInStrings(pts, "/dev/pts/N").replaceInStrings(entry, "COM n");
        lines << "-- " + name;
        for (const QString &line : now)
            lines << (seen.contains(line) ? QString() : line);
        lines.removeAll(QString());
        seen = now;
    }
    const QWidget &window;
    QStringList lines{}, seen{};
};
