#pragma once

#include "RecordStore.h"
#include "Result.h"
#include "TestRecord.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

class QThread;

// What a report page issued for a data set records: the fetch it was made from and the texts
// printed on it.
struct IssuedPage
{
    QByteArray fetchFile; // the fetch's file, as the session holds it
    QString keptPath;     // the history file it was kept as, if known
    int dataSet = 1;      // 1..4
    QString energizerModel;
    QString energizerSerial;
    QString customer;
    QString dateText;
    QString check; // the limit check's verdicts as JSON, when the page carries them

    // The test record the page makes: a new id, now, this computer's user; why not when its data
    // set is not a valid one.
    Result<TestRecord> record() const;

    // The same test: the same fetch, data set and texts.
    friend bool operator==(const IssuedPage &, const IssuedPage &) = default;
};

// The pages one print dialog issued: the same page again (the same data set with the same texts,
// printed again or saved as a PDF too) is the same test, recorded once.
class IssuedPages
{
public:
    // Whether `page` is issued for the first time; it is remembered.
    bool firstTime(const IssuedPage &page)
    {
        if (m_pages.contains(page))
            return false;
        m_pages.append(page);
        return true;
    }

private:
    QList<IssuedPage> m_pages;
};

// Keeps the test records: each page issued (printed, or saved as a PDF) records a test. The
// store is opened and written on a worker thread of its own, so that a store that is slow, big or
// locked by another program never holds up the window; each request is answered by a signal.
// A store that cannot be opened is tried again at the next request.
class TestRecorder : public QObject
{
    Q_OBJECT

public:
    explicit TestRecorder(QString storePath = RecordStore::defaultPath(),
                          QObject *parent = nullptr);
    ~TestRecorder() override;

    const QString &storePath() const { return m_storePath; }

    // Records the test of a page issued: recorded() follows.
    void record(const IssuedPage &page);
    // Asks for the energizers' texts recorded: energizerTexts() follows.
    void askEnergizerTexts();
    // Takes the kept fetches of the history folder that are not in the store into it (fetches
    // without a test): listingProgress() after each batch, then listingEnded(). cancelListing()
    // stops it after the batch going on; the next listing goes on from there.
    void listKeptFetches(const QString &historyFolder);
    void cancelListing() { m_cancelled = true; }

    // The same for the command line, which may wait: records the page's test now.
    static Result<TestRecord> recordNow(const IssuedPage &page, const QString &storePath);

signals:
    void recorded(const Result<TestRecord> &record);
    void energizerTextsFound(const EnergizerTexts &texts);
    void listingProgress(int done, int total);
    void listingEnded(const Result<Listing> &listing);

private:
    class Worker;
    // Runs `work` on the worker thread, which starts with the first work.
    void onWorker(std::function<void(Worker &)> work);
    // Runs `work` with the store on the worker thread.
    void onStore(std::function<void(Result<RecordStore *>)> work);

    QString m_storePath;
    QThread *m_thread;
    Worker *m_worker; // lives in m_thread
    std::atomic<bool> m_cancelled = false;
};
