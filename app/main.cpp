// Voltrane Meter - PC Utility: reads the hand-held fence-energizer meter over a serial port,
// shows its data sets and prints test reports.
#include "ui/MainWindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Voltrane Meter"));
    QApplication::setOrganizationName(QStringLiteral("Quillmarsh"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/voltrane-32.png")));

    MainWindow frmMain;
    frmMain.show();
    return QApplication::exec();
}
