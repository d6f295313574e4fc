// "report" in voltrane-meter-cli: handed to the helper program that draws, so that the other
// commands start without loading Qt Gui, the print support and the print service's library.
#include "Commands.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <vector>

int Commands::report(const ReportRequest &)
{
    // Beside this program in the build tree; installed, in <prefix>/libexec/voltrane-meter.
    const QString dir = QCoreApplication::applicationDirPath();
    const QString name = QStringLiteral("/voltrane-meter-cli-report");
    for (const QString &path : {dir + name, dir + QStringLiteral("/" VOLTRANE_HELPER_DIR) + name}) {
        if (!QFileInfo::exists(path))
            continue;
        if (!QFileInfo(path).isExecutable()) {
            err(QStringLiteral("The report could not be made: its helper program \"%1\" cannot "
                               "be started: it is not executable. Install the program again.")
                    .arg(path));
            return Failed;
        }
        // The helper takes the same arguments and answers in this program's place.
        QByteArrayList arguments;
        for (const QString &argument : QCoreApplication::arguments())
            arguments << argument.toLocal8Bit();
        std::vector<char *> argv;
        for (QByteArray &argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        std::fflush(stdout);
        ::execv(QFile::encodeName(path).constData(), argv.data());
        err(QStringLiteral("The report could not be made: \"%1\" does not start (%2).")
                .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
        return Failed;
    }
    err(QStringLiteral("The report could not be made: its helper program "
                       "\"voltrane-meter-cli-report\" is missing. Install the program again."));
    return Failed;
}
