// Voltrane Meter - PC Utility: reads the hand-held fence-energizer meter over a serial port,
// shows its data sets and prints test reports.
#include "MainWindow.h"
#include "MeterPort.h"
#include "MeterSession.h"
#include "Settings.h"
#include "TeamServer.h"
#include "TeamSharing.h"
#include "TestRecorder.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
#ifdef Q_OS_LINUX
    // Without a display Qt aborts with advice to reinstall, which misleads: say what is missing.
    // QT_QPA_PLATFORM set (offscreen, vnc, ...) means the caller chose a platform knowingly.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fputs("voltrane-meter needs a desktop session (an X11 or Wayland display); without "
                   "one, use voltrane-meter-cli.\n",
                   stderr);
        return 2;
    }
#endif
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Voltrane Meter"));
    QApplication::setOrganizationName(QStringLiteral("Quillmarsh"));
    // Lets Wayland desktops match the window to the installed menu entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("voltrane-meter"));

    // The meter's port and the session on it, handed to the window.
    MeterPort cm;
    MeterSession session(cm, {.program = QStringLiteral("voltrane-meter " VOLTRANE_VERSION)});
    TestRecorder recorder; // the test records, on a thread of their own
    // The team server, when one is set: the records not on it yet are sent in the background, at
    // start, after each new record and when asked, so that nothing waits for it.
    const Result<std::optional<TeamServer>> server = TeamServer::configured(Settings());
    TeamSharing sharing(recorder.storePath(), server ? *server : std::nullopt);
    MainWindow frmMain(session, &recorder);
    frmMain.setTeamSharing(&sharing);
    frmMain.show();
    // The records (Qt SQL, SQLite) and the team server (libpq) are not needed for the first
    // window: they are opened once it is on the screen. The window icon follows it too: until
    // then desktops show the installed entry's icon, which they match by the window's class.
    QObject::connect(
        &frmMain, &MainWindow::firstPainted, &frmMain,
        [&] {
            QApplication::setWindowIcon(MainWindow::programIcon());
            frmMain.listKeptFetches();
            if (!server)
                frmMain.teamNotice(QString::fromStdString(server.error()));
            sharing.shareNow();
        },
        Qt::SingleShotConnection);
    // "voltrane-meter FILE" (a double click in a file manager) opens a kept fetch.
    const QStringList files = QApplication::arguments().mid(1);
    if (!files.isEmpty())
        frmMain.openFetch(files[0]);
    for (const QString &other : files.mid(1))
        std::fprintf(stderr,
                     "voltrane-meter opens one kept fetch at a time: “%s” was not opened.\n",
                     qPrintable(other));
    return QApplication::exec();
}
