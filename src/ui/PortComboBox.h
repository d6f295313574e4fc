#pragma once

#include <QComboBox>

// The port list, `cmbPort`: "COM 1" ... "COM 255", with an editable text field. Each entry's
// tooltip names its device; entries whose device is present are shown in bold, looked up each
// time the list drops down (not before: looking costs the first window its time), so the operator
// can see where the meter is. The tooltip of the entry a
// fetch was last started on (Settings::LastPort) ends in "(last used)"; the list still starts at
// "COM 1".
class PortComboBox : public QComboBox
{
    Q_OBJECT

public:
    explicit PortComboBox(QWidget *parent = nullptr);

    // The port number of the text in the field: the entry it names ("COM 7", in any letter
    // case), or 0 when it names none.
    int portNumber() const;
    // Marks the entries whose device is present now and sets every tooltip.
    void refreshPresence();
    // A fetch was started on the entry `entry` ("COM 33"): its tooltip says so once the list
    // drops down again.
    void setLastUsed(const QString &entry);

    void showPopup() override;

private:
    QString m_lastUsed;
};
