// Voltrane Meter - PC Utility: reads the hand-held fence-energizer meter over a serial port,
// shows its data sets and prints test reports.
#include "ui/MainWindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Voltrane Meter"));
    QApplication::setOrganizationName(QStringLiteral("Quillmarsh"));
    // Lets Wayland desktops match the window to the installed menu entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("voltrane-meter"));
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/voltrane-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);

    MainWindow frmMain;
    frmMain.show();
    return QApplication::exec();
}
