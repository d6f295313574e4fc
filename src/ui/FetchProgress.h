#pragma once

#include <QFrame>

// The "Fetching Data ..." strip, `frmFetch`: a borderless window with a one-pixel frame, centred
// on the screen while the meter is read. It does not block the main window and does not take
// the keyboard focus from it.
class FetchProgress : public QFrame
{
    Q_OBJECT

public:
    explicit FetchProgress(QWidget *parent = nullptr);

    // Shows the strip in the middle of the screen.
    void showCentred();
};
