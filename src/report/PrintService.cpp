// Printing is a plugin of its own: Qt's print support and libcups, with all they bring (TLS,
// Kerberos, service discovery …), take longer to load than the rest of the first window, so the
// program loads them on the first print instead of at start.
#include "PrintService.h"

#include "ReportPrinting.h"
#include "Result.h"

#include <QCoreApplication>
#include <QMutex>
#include <QPluginLoader>

namespace {

QMutex pluginLock;
QString pluginFolder = QStringLiteral(VOLTRANE_PRINTING_FOLDER);

// The plugin's printing, loaded on the first call and kept until the program ends; why not, in
// words for the operator.
Result<ReportPrinting *> printing()
{
    const QMutexLocker locked(&pluginLock);
    static ReportPrinting *loaded = nullptr;
    if (loaded)
        return loaded;
    // A build tree's tests are given the plugin they were built with.
    QString file = qEnvironmentVariable("VOLTRANE_PRINTING_PLUGIN");
    if (file.isEmpty())
        file = QCoreApplication::applicationDirPath() + '/' + pluginFolder +
               QStringLiteral("/libvoltrane-printing.so");
    QPluginLoader loader(file);
    loaded = qobject_cast<ReportPrinting *>(loader.instance());
    if (!loaded)
        return failure(QObject::tr("Printing is not available: the program's printing part "
                                   "could not be loaded (%1). Reinstall the program.")
                           .arg(loader.errorString()));
    return loaded;
}

} // namespace

namespace PrintService {

void setPluginFolder(const QString &relativeToProgram)
{
    const QMutexLocker locked(&pluginLock);
    pluginFolder = relativeToProgram;
}

Outcome printReport(const ReportDetails &details, const ReportValues &values,
                    std::chrono::milliseconds limit)
{
    const Result<ReportPrinting *> loaded = printing();
    if (!loaded)
        return {Outcome::Kind::NotRunning, {}, QString::fromStdString(loaded.error())};
    return (*loaded)->printReport(details, values, limit);
}

} // namespace PrintService
