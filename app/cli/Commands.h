#pragma once

#include "DataSets.h"
#include "RecordStore.h"
#include "TestRecorder.h"

#include <QString>

#include <optional>

// The commands of voltrane-meter-cli. Each writes its result to standard output and, when
// something fails, one plain line to standard error that says what and why; it returns the exit
// code. Standard output carries nothing but the result, so it can be piped.
namespace Commands {

enum ExitCode
{
    Done = 0,
    Failed = 1,
    WrongUsage = 2,
};

// The "COM n" entries whose device is present: "COM 33  /dev/ttyUSB0  FT232R USB UART", and
// "  (no permission: not in group dialout)" after those this user may not open.
int ports();

// One fetch as the window does it, kept in the fetch history (unless !keepInHistory) and as
// `saveAs` when not empty, then shown as show() shows it. Progress goes to standard error, one
// line per command. `port` is an entry ("com 33") or a device path. Runs the event loop.
int fetch(const QString &port, const QString &saveAs, bool keepInHistory, bool json);

// The meter's model and serial number and the five values of each data set of a kept fetch.
// With --json, each valid data set also has its measures from the samples and the indicative
// limit check against `profile` (its name; empty: the one the settings name, or the built-in
// one); a profile of that name that is not there is wrong usage, said with the names there are.
int show(const QString &file, bool json, const QString &profile = {});

// What "report" is asked for.
struct ReportRequest
{
    QString file{};
    int dataSet = 1;               // 1..4
    QString pdf;                   // the PDF file to write; empty: print
    QString model{}, serial{};     // the energizer's, as typed
    QString customer{};            // the customer or site, for the test record
    std::optional<QString> date{}; // today's in the print dialog's format when not given
    bool record = true;            // record the test once the page is issued
    QString recordId{};            // not empty: the page of this test record again, no new one
};

// The test report page, as the print dialog makes it, into a PDF file or on the default printer.
// Drawing needs Qt Gui and the print support, which take long to load: this program hands the
// report to its helper program (voltrane-meter-cli-report), which draws it with a
// QGuiApplication on the offscreen platform. Both define this function.
int report(const ReportRequest &request);

// The data set `dataSet` (1..4) of a kept fetch, and the page a report of it issues (the fetch
// file, its history path when it is one, the data set; no texts yet); nothing, after saying why,
// when the file cannot be read or that data set holds no valid data.
struct ReadDataSet
{
    ShownDataSet shown;
    IssuedPage page;
};
std::optional<ReadDataSet> readDataSet(const QString &file, int dataSet);

// The page of a test record again, as it was issued: its data set and texts; nothing, after
// saying why, when the record cannot be read.
std::optional<ReadDataSet> readRecord(const QString &id);

// The test records, newest first, as lines, JSON or CSV.
enum class Format
{
    Text,
    Json,
    Csv,
};
// With `team`, the team server's records (all the team's); when it cannot be reached, this
// computer's, after one line that says so.
int records(const RecordQuery &query, Format format, bool team = false);

// The trend of one energizer's tests, oldest first, as lines or JSON: the team's when a team
// server is set and can be reached, this computer's otherwise.
int trend(const QString &energizerSerial, bool json);

// Sends the test records not yet on the team server: "sent N, pending M".
int share();

// After a record is made: sends what is pending when a team server is set; a send that fails is
// one line on standard error, and changes nothing else.
void shareQuietly();

// The data set as the window's CSV export writes it.
int exportCsv(const QString &file, int dataSet, const QString &csv);

// Writes to standard output and standard error, as UTF-8, every character (a NUL too).
void out(const QString &text);
void out(const QByteArray &bytes);
void err(const QString &line);

// The exit code `code`, once standard output has taken everything: when it could not (a full
// disk, a closed output), one line on standard error says so and the code is Failed; a closed
// pipe (`| head -1`) ends quietly.
int finish(int code);

// The program's arguments as the system gave them, for notUtf8().
void takeArguments(int argc, char **argv);
// Whether `argument`, as Qt decoded it, came from bytes that are not UTF-8 text: a file of that
// name cannot be named through Qt.
bool notUtf8(const QString &argument);

// Whether the two paths name one file (the same file on the same disk, however spelt); false
// when either is not there.
bool sameFile(const QString &a, const QString &b);

} // namespace Commands
