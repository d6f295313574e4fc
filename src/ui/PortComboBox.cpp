#include "PortComboBox.h"

#include "FixedLayout.h"
#include "PortDiscovery.h"
#include "PortNames.h"
#include "Settings.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QLineEdit>
#include <QStyle>

PortComboBox::PortComboBox(QWidget *parent) : QComboBox(parent)
{
    setObjectName(QStringLiteral("cmbPort"));
    // Editable through a line edit of its own: setEditable() would also make the drop-down list's
    // popup window at once, before the list is ever dropped down. A line edit lays out its empty
    // text in the application's font while it is made, before it takes its parent's: made while
    // that is the window's face, it loads no second face (the desktop's) at start. The desktop's
    // font is the application's again at once, for the windows that follow it.
    const QFont desktopFont = QApplication::font();
    QApplication::setFont(font());
    setLineEdit(new QLineEdit(this));
    QApplication::setFont(desktopFont);
    // Typed text is only looked up, never added to the list.
    setInsertPolicy(QComboBox::NoInsert);
    setMaxVisibleItems(16);
    addItems(PortNames::portList());
    setCurrentIndex(0);
    m_lastUsed = Settings().text(QString::fromLatin1(Settings::LastPort)).trimmed();
}

int PortComboBox::portNumber() const
{
    const int index = findText(currentText().trimmed(), Qt::MatchFixedString);
    return index >= 0 ? index + 1 : 0;
}

void PortComboBox::refreshPresence()
{
    const QMap<int, QString> present = PortDiscovery::presentPorts();
    QFont bold = font();
    bold.setBold(true);
    for (int index = 0; index < count(); ++index) {
        const int port = index + 1;
        QString tip = PortDiscovery::entryToolTip(port, present);
        if (itemText(index).compare(m_lastUsed, Qt::CaseInsensitive) == 0)
            tip += tr(" (last used)");
        setItemData(index, FixedLayout::plainToolTip(tip), Qt::ToolTipRole);
        setItemData(index, present.contains(port) ? QVariant(bold) : QVariant(), Qt::FontRole);
    }
    // The drop-down list is as wide as its widest entry in bold, so no entry is cut.
    const int widest = QFontMetrics(bold).horizontalAdvance(QStringLiteral("COM 255"));
    view()->setMinimumWidth(widest + 4 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin) +
                            style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 16);
}

void PortComboBox::setLastUsed(const QString &entry)
{
    m_lastUsed = entry.trimmed(); // shown when the list next drops down
}

void PortComboBox::showPopup()
{
    refreshPresence();
    QComboBox::showPopup();
}
