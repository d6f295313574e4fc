#pragma once

#include "DataSets.h"
#include "FetchFile.h"
#include "FetchOutcome.h"
#include "FetchSequence.h"
#include "MeterLine.h"
#include "Result.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <chrono>
#include <optional>

// One meter session: the line to the meter, the one fetch held (the last fetch, or a kept fetch
// opened from a file), its data sets decoded once, the data set shown, and how the last fetch
// ended. The window and the command line are views of it: they ask it to do things and are told
// what changed; the rules about a fetch (when it is kept, what counts as a failed one) are
// answered here alone.
//
// A fetch runs on the line through the fetch sequence and never blocks: the event loop runs
// between its steps. When it ends it is decided whether it is kept; a kept fetch is written once
// as a fetch file's bytes and, when the session keeps a history, written into the history folder
// on a worker thread.
class MeterSession : public QObject
{
    Q_OBJECT

public:
    static constexpr int StepCount = 6;

    struct Options
    {
        QString program;         // written into every kept fetch: "voltrane-meter 0.2.0"
        bool keepHistory = true; // keep every kept fetch in FetchFile::historyFolder()
        std::chrono::milliseconds replyWait = FetchSequence::ReplyWait; // tests shorten it
    };

    // `line` must outlive the session.
    MeterSession(MeterLine &line, Options options, QObject *parent = nullptr);
    ~MeterSession() override;

    // Opens the port. Whatever the port had received when it opened stands as data set 1 until
    // the next fetch (normally nothing).
    Result<> openPort(const PortChoice &port);
    bool isPortOpen() const;
    void closePort();
    // The port opened last.
    const PortChoice &port() const { return m_port; }

    // Starts a fetch on the open port: what was held is forgotten (fetchStarted()), and the
    // fetch ends with fetchEnded(). False when a fetch runs already; false after fetchEnded()
    // when the port is not open.
    bool startFetch();
    // Stops a running fetch at once: nothing more is sent, taken, kept or emitted.
    void abortFetch();
    // The operator or a signal stops a running fetch: it ends as Interrupted, cut short, and is
    // kept by the same rule as one that a failing line cut short.
    void interruptFetch();
    bool isFetching() const;
    // A kept fetch is being written into the history; fetchKept() follows.
    bool isKeeping() const { return m_keeping > 0; }

    // The fetch held: the last fetch (also while it runs) or the file opened.
    const FetchRecord &fetch() const { return m_fetch; }
    const DataSets &dataSets() const { return m_dataSets; }
    // The meter's replies to "?M" and "?S" of the fetch held, as ValueTexts takes them; none
    // before they came.
    std::optional<std::string> modelReply() const;
    std::optional<std::string> serialReply() const;
    // The name of the file opened ("2026-12-07_103105_SN-1.vmfetch"); empty after a fetch.
    const QString &fileName() const { return m_fileName; }
    // There is a fetch file to save: a fetch was kept or a file opened.
    bool canSave() const { return !m_fileBytes.isEmpty(); }
    // The fetch file of the fetch held (what Save As writes, what a test record keeps); empty
    // when there is none.
    const QByteArray &fileBytes() const { return m_fileBytes; }
    // The file of the fetch history that holds the fetch, once known; empty otherwise.
    const QString &keptPath() const { return m_keptPath; }

    // Shows data set `index` (0 = data set 1); any other index shows the one chosen last again.
    // Emits shownChanged().
    void show(int index);
    // The data set shown; none when the one chosen is not a valid one, or none was chosen since
    // the fetch or file began.
    const std::optional<ShownDataSet> &shown() const { return m_shown; }
    // Why the data set chosen last is not shown ("Data set 2: no answer"); empty while one is
    // shown or none was chosen.
    const std::string &fault() const { return m_fault; }

    // Opens a kept fetch as if it had just been fetched, data set 1 shown. Why not, naming the
    // file ("“x.vmfetch” cannot be opened: …"); then nothing changes. Nothing opens while a fetch
    // runs.
    Result<> openFile(const QString &path);
    // The same, read on a worker thread, so that a slow or strange file never holds up the
    // window: fileOpened() or openFailed() follows. While one is being read, or a fetch runs,
    // nothing more opens.
    void openFileInBackground(const QString &path);
    bool isOpening() const { return m_opening; }
    // Opens a fetch file's bytes held elsewhere (a test record's fetch) as if it had just been
    // fetched, data set `index` shown; `name` stands for the file's name (the window's caption).
    // Why not; then nothing changes.
    Result<> openFetchFile(const QByteArray &bytes, const QString &name, int index = 0);
    // Writes the fetch file (Save Fetch As…), whole or not at all: the bytes of the file opened
    // as they were read, or of the fetch kept; why not.
    Result<> saveAs(const QString &path) const;

signals:
    // Command `step` (0..5) of a fetch is about to go out: "?M", "?S", "?1" ... "?4".
    void commandSent(int step, const QString &command);
    // The meter's replies to "?M" or "?S" held changed: one came, a fetch began, a file opened.
    void meterTextsChanged();
    void fetchStarted();
    void fetchEnded(const FetchOutcome &outcome);
    void fileOpened(const QString &path);
    void openFailed(const QString &message);
    void shownChanged();
    // The open line failed and is closed now.
    void portFailed(const QString &message);
    // A kept fetch was written into the history: its path, or where and why not.
    void fetchKept(const Result<QString> &path);

private:
    void begin(FetchRecord fetch);
    void replyTaken();
    void finished();
    void failed(const QString &message);
    void keep();
    void endCutShort(FetchOutcome outcome);
    Result<> hold(const QString &path, Result<FetchFile::ReadFile> read, int index = 0);

    MeterLine &m_line;
    Options m_options;
    FetchSequence *m_sequence;
    PortChoice m_port;
    FetchRecord m_fetch;
    DataSets m_dataSets;
    QByteArray m_fileBytes; // the fetch file of the fetch held; empty when not kept
    QString m_fileName;
    QString m_keptPath;
    bool m_held = false; // a fetch began or a file was opened
    int m_chosen = 0;
    std::optional<ShownDataSet> m_shown;
    std::string m_fault;
    int m_keeping = 0;
    bool m_opening = false;
};
