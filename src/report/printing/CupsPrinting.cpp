// The printing plugin: the report page handed to the print service. Everything that needs Qt's
// print support or libcups is here, so that the program loads them on the first print only.
#include "PrintingPlugin.h"

#include "ReportPrinter.h"

#include <QObject>

#if VOLTRANE_HAVE_CUPS
#include <cups/cups.h>

#include <QDeadlineTimer>
#include <QRegularExpression>

#include <memory>
#else
#include "PrinterSurface.h"
#include "ReportPage.h"

#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#endif

namespace {

using Kind = PrintService::Outcome::Kind;

QString noPrinter()
{
    return QObject::tr("No printer is installed on this computer.");
}

#if VOLTRANE_HAVE_CUPS

QString notRunning()
{
    return QObject::tr("The print service is not running on this computer.");
}

QString refused(const QString &printer, const QString &reason)
{
    return QObject::tr("The printer \"%1\" did not take the report: %2. Nothing was printed; "
                       "put the printer right, then press \"P R I N T\" again.")
        .arg(printer, reason);
}

QString paused(const QString &printer)
{
    return QObject::tr("The printer \"%1\" is paused; the page will print when it is resumed.")
        .arg(printer);
}

QString notAnswering()
{
    return QObject::tr("The print service does not answer, so the report may not have been "
                       "printed. Wait a moment and press \"P R I N T\" again; if it still does not "
                       "answer, restart the computer.");
}

// The scheduler's connection, closed when it goes out of scope; `gaveUp` tells whether the time
// ran out while waiting for an answer on it.
struct Connection
{
    QDeadlineTimer deadline;
    bool gaveUp = false;
    std::unique_ptr<http_t, decltype(&httpClose)> http{nullptr, &httpClose};
};

// libcups asks this each time the connection has stayed silent for the timeout set on it: go on
// waiting until the deadline, then give up.
int keepWaiting(http_t *, void *connection)
{
    auto *c = static_cast<Connection *>(connection);
    c->gaveUp = c->deadline.hasExpired();
    return c->gaveUp ? 0 : 1;
}

QString lastError()
{
    return QString::fromUtf8(cupsLastErrorString()).remove(QRegularExpression("\\.$"));
}

// What the scheduler says of the printer now: paused or not, taking jobs or not, and why.
struct PrinterState
{
    bool stopped = false;
    bool accepting = true;
    QString message;
};

PrinterState readState(http_t *http, const cups_dest_t &dest)
{
    char uri[HTTP_MAX_URI];
    if (const char *given = cupsGetOption("printer-uri-supported", dest.num_options, dest.options))
        qstrncpy(uri, given, sizeof uri);
    else
        httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost",
                         ippPort(), "/printers/%s", dest.name);
    ipp_t *request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    static const char *const wanted[] = {"printer-state", "printer-is-accepting-jobs",
                                         "printer-state-message"};
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 3, nullptr,
                  wanted);
    const std::unique_ptr<ipp_t, decltype(&ippDelete)> answer(cupsDoRequest(http, request, "/"),
                                                              &ippDelete);
    PrinterState state;
    if (ipp_attribute_t *a = ippFindAttribute(answer.get(), "printer-state", IPP_TAG_ENUM))
        state.stopped = ippGetInteger(a, 0) == IPP_PSTATE_STOPPED;
    if (ipp_attribute_t *a =
            ippFindAttribute(answer.get(), "printer-is-accepting-jobs", IPP_TAG_BOOLEAN))
        state.accepting = ippGetBoolean(a, 0);
    if (ipp_attribute_t *a = ippFindAttribute(answer.get(), "printer-state-message", IPP_TAG_TEXT))
        state.message = QString::fromUtf8(ippGetString(a, 0, nullptr));
    return state;
}

PrintService::Outcome submit(Connection &c, const char *printer, const QByteArray &pdf)
{
    const QString name = QString::fromUtf8(printer);
    cups_option_t *options = nullptr;
    int count = cupsAddOption("media", "A4", 0, &options);
    count = cupsAddOption("copies", "1", count, &options);
    const char *title = "Voltrane test report";
    const int job = cupsCreateJob(c.http.get(), printer, title, count, options);
    cupsFreeOptions(count, options);
    if (c.gaveUp)
        return {Kind::NotAnswering, name, notAnswering()};
    if (job <= 0)
        return {Kind::Refused, name, refused(name, lastError())};
    const bool started = cupsStartDocument(c.http.get(), printer, job, title, CUPS_FORMAT_PDF, 1) ==
                         HTTP_STATUS_CONTINUE;
    const bool written =
        started && cupsWriteRequestData(c.http.get(), pdf.constData(), size_t(pdf.size())) ==
                       HTTP_STATUS_CONTINUE;
    // Finishing reads the scheduler's answer, also after a failed write.
    const bool finished = started && cupsFinishDocument(c.http.get(), printer) == IPP_STATUS_OK;
    if (c.gaveUp)
        return {Kind::NotAnswering, name, notAnswering()};
    if (!written || !finished) {
        const QString why = lastError();
        cupsCancelJob2(c.http.get(), printer, job, 0); // no empty job left in the queue
        return {Kind::Refused, name, refused(name, why)};
    }
    return {Kind::Printed, name, {}};
}

#endif

} // namespace

#if VOLTRANE_HAVE_CUPS

PrintService::Outcome PrintingPlugin::printReport(const ReportDetails &details,
                                                  const ReportValues &values,
                                                  std::chrono::milliseconds limit)
{
    // A service that wants a password would otherwise ask for it on the terminal, and wait.
    cupsSetPasswordCB2([](const char *, http_t *, const char *, const char *,
                          void *) { return static_cast<const char *>(nullptr); },
                       nullptr);
    Connection c{QDeadlineTimer(limit)};
    c.http.reset(httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                              int(limit.count()), nullptr));
    if (!c.http)
        return {Kind::NotRunning, {}, notRunning()};
    httpSetTimeout(c.http.get(), 0.25, keepWaiting, &c);

    const std::unique_ptr<cups_dest_t, void (*)(cups_dest_t *)> dest(
        cupsGetNamedDest(c.http.get(), nullptr, nullptr),
        [](cups_dest_t *d) { cupsFreeDests(1, d); });
    if (c.gaveUp)
        return {Kind::NotAnswering, {}, notAnswering()};
    if (!dest) {
        if (cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND || cupsLastError() == IPP_STATUS_OK)
            return {Kind::NoPrinter, {}, noPrinter()};
        return {Kind::Refused,
                {},
                QObject::tr("The print service did not say which printer to use: %1. Nothing "
                            "was printed.")
                    .arg(lastError())};
    }
    const QString name = QString::fromUtf8(dest->name);
    const PrinterState state = readState(c.http.get(), *dest);
    PrintService::Outcome outcome =
        c.gaveUp ? PrintService::Outcome{Kind::NotAnswering, name, notAnswering()}
                 : submit(c, dest->name, ReportPrinter::pdf(details, values));
    // The scheduler's answer names no reason beyond "not accepting jobs"; the printer's own
    // message says why (the text given to cupsreject).
    if (outcome.kind == Kind::Refused && !state.accepting && !state.message.isEmpty())
        outcome.message =
            refused(name, QObject::tr("it does not accept print jobs now (%1)").arg(state.message));
    if (outcome.kind == Kind::Printed && state.stopped)
        outcome = {Kind::Paused, name, paused(name)};
    return outcome;
}

#else

namespace {

// Sets `printer` up for the report (A4 portrait, one copy, the logical page on the printable
// area), draws the page and ends the job; why not, in words for the operator. A failed job is
// aborted, so nothing half-drawn is printed.
Result<> print(QPrinter &printer, const ReportDetails &details, const ReportValues &values)
{
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setFullPage(false); // the logical page spans the printable area
    printer.setCopyCount(1);
    printer.setDocName(QString::fromLatin1(ReportPrinter::DocumentTitle));

    QPainter painter;
    if (!painter.begin(&printer)) {
        return failure(QObject::tr("The printer \"%1\" could not start the report. Check that "
                                   "it is switched on and connected.")
                           .arg(printer.printerName()));
    }
    PrinterSurface page(painter);
    ReportPage::draw(page, details, values);
    if (printer.printerState() == QPrinter::Error) {
        printer.abort();
        painter.end();
        return failure(QObject::tr("Printing the report failed; the job was cancelled. Check "
                                   "the printer, then press \"P R I N T\" again."));
    }
    if (!painter.end() || printer.printerState() == QPrinter::Error) {
        return failure(QObject::tr("The report could not be finished on \"%1\". Check the "
                                   "printer, then press \"P R I N T\" again.")
                           .arg(printer.printerName()));
    }
    return {};
}

} // namespace

// Without the print service's own library, Qt's printer prints the page; it says when it fails.
PrintService::Outcome PrintingPlugin::printReport(const ReportDetails &details,
                                                  const ReportValues &values,
                                                  std::chrono::milliseconds)
{
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull())
        return {Kind::NoPrinter, {}, noPrinter()};
    QPrinter printer(info, QPrinter::HighResolution);
    if (const Result<> printed = print(printer, details, values); !printed)
        return {Kind::Refused, info.printerName(), QString::fromStdString(printed.error())};
    return {Kind::Printed, info.printerName(), {}};
}

#endif
