#include "PortComboBox.h"

#include "PortDiscovery.h"
#include "PortNames.h"

#include <QLineEdit>

PortComboBox::PortComboBox(QWidget *parent) : QComboBox(parent)
{
    setObjectName(QStringLiteral("cmbPort"));
    setEditable(true);
    // Typed text is only looked up, never added to the list.
    setInsertPolicy(QComboBox::NoInsert);
    setMaxVisibleItems(16);
    addItems(PortNames::portList());
    setCurrentIndex(0);
    refreshPresence();
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
        setItemData(index, PortDiscovery::entryToolTip(port, present), Qt::ToolTipRole);
        setItemData(index, present.contains(port) ? QVariant(bold) : QVariant(), Qt::FontRole);
    }
}

void PortComboBox::showPopup()
{
    refreshPresence();
    QComboBox::showPopup();
}
