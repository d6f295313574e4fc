#pragma once

#include <QString>

#include <chrono>

struct ReportDetails;
struct ReportValues;

// Hands the report page to the system's default printer and says what became of it. It talks to
// the print service (the CUPS scheduler on Linux), which may take its time or not answer at all:
// call it on a worker thread, never on the window's. The printing itself is a plugin,
// libvoltrane-printing.so, loaded on the first print (the program starts without Qt's print
// support and libcups).
namespace PrintService {

struct Outcome
{
    enum class Kind
    {
        Printed,      // accepted by a printer that is ready
        Paused,       // accepted, but the printer is paused: the page waits in its queue
        NoPrinter,    // the service runs but has no default printer
        NotRunning,   // no print service to talk to, or no printing part to talk to it
        NotAnswering, // the service took the connection but did not answer in time
        Refused,      // the printer or the service would not take the page
    };
    Kind kind = Kind::Printed;
    QString printer; // the default printer's name, where one was found
    QString message; // what happened, in words for the operator; empty when Printed
};

// Prints one copy of the page on A4 and waits for the service's answer, giving up after `limit`
// (through CUPS; Qt's printer, used where there is no CUPS, takes as long as it takes).
Outcome printReport(const ReportDetails &details, const ReportValues &values,
                    std::chrono::milliseconds limit = std::chrono::seconds(8));

// Where the plugin lies, relative to the running program's folder; by default where the
// installed program finds it. A build tree's tests name the file in VOLTRANE_PRINTING_PLUGIN.
void setPluginFolder(const QString &relativeToProgram);

} // namespace PrintService
