#include "TestRecorder.h"

#include <QPointer>
#include <QThread>

Result<TestRecord> IssuedPage::record() const
{
    Result<TestRecord> made = TestRecord::ofFetch(fetchFile, dataSet);
    if (!made)
        return made;
    made->energizerModel = energizerModel;
    made->energizerSerial = energizerSerial;
    made->customer = customer;
    made->dateText = dateText;
    made->check = check;
    return made;
}

// Holds the store, opened on the worker thread and used only there.
class TestRecorder::Worker : public QObject
{
public:
    explicit Worker(QString path) : m_path(std::move(path)) {}
    Result<RecordStore *> store()
    {
        if (!m_store) {
            Result<std::unique_ptr<RecordStore>> opened = RecordStore::open(m_path);
            if (!opened)
                return failure(opened.error());
            m_store = std::move(*opened);
        }
        return m_store.get();
    }

private:
    QString m_path;
    std::unique_ptr<RecordStore> m_store;
};

TestRecorder::TestRecorder(QString storePath, QObject *parent)
    : QObject(parent), m_storePath(std::move(storePath)), m_thread(new QThread(this)),
      m_worker(new Worker(m_storePath))
{
    m_thread->setObjectName(QStringLiteral("test records"));
    m_worker->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
}

TestRecorder::~TestRecorder()
{
    // What was asked for is done before the program goes: a record reported as made is kept.
    m_cancelled = true;
    m_thread->quit();
    m_thread->wait();
    if (!m_thread->isFinished()) // never started (no work came): no thread end deletes the worker
        delete m_worker;
}

void TestRecorder::onWorker(std::function<void(Worker &)> work)
{
    QMetaObject::invokeMethod(
        m_worker, [worker = m_worker, work = std::move(work)] { work(*worker); },
        Qt::QueuedConnection);
    m_thread->start(); // does nothing once it runs
}

void TestRecorder::onStore(std::function<void(Result<RecordStore *>)> work)
{
    onWorker([work = std::move(work)](Worker &worker) { work(worker.store()); });
}

void TestRecorder::record(const IssuedPage &page)
{
    onStore([this, page, self = QPointer(this)](Result<RecordStore *> store) {
        Result<TestRecord> made = page.record();
        if (made && !store)
            made = failure(store.error());
        if (made)
            if (const Result<> kept = (*store)->add(*made, page.keptPath); !kept)
                made = failure(kept.error());
        QMetaObject::invokeMethod(
            this,
            [this, self, made] {
                if (self)
                    emit recorded(made);
            },
            Qt::QueuedConnection);
    });
}

void TestRecorder::askEnergizerTexts()
{
    onStore([this, self = QPointer(this)](Result<RecordStore *> store) {
        const Result<EnergizerTexts> texts =
            store ? (*store)->energizerTexts() : Result<EnergizerTexts>(failure(store.error()));
        if (texts)
            QMetaObject::invokeMethod(
                this,
                [this, self, found = *texts] {
                    if (self)
                        emit energizerTextsFound(found);
                },
                Qt::QueuedConnection);
    });
}

void TestRecorder::listKeptFetches(const QString &historyFolder)
{
    m_cancelled = false;
    onWorker([this, historyFolder, self = QPointer(this)](Worker &worker) {
        const auto answer = [this, self](std::function<void()> say) {
            QMetaObject::invokeMethod(
                this,
                [self, say] {
                    if (self)
                        say();
                },
                Qt::QueuedConnection);
        };
        // Where nothing is kept yet (a first start) there is nothing to list: the store is
        // then neither opened nor made, nor Qt's SQL driver loaded, for nothing.
        Result<Listing> listed = Listing{};
        if (RecordStore::holdsKeptFetches(historyFolder)) {
            const auto progress = [&](int done, int total) {
                answer([this, done, total] { emit listingProgress(done, total); });
                return !m_cancelled;
            };
            if (const Result<RecordStore *> store = worker.store())
                listed = (*store)->listKeptFetches(historyFolder, progress);
            else
                listed = failure(store.error());
        }
        answer([this, listed] { emit listingEnded(listed); });
    });
}

Result<TestRecord> TestRecorder::recordNow(const IssuedPage &page, const QString &storePath)
{
    Result<TestRecord> made = page.record();
    if (!made)
        return made;
    Result<std::unique_ptr<RecordStore>> store = RecordStore::open(storePath);
    if (!store)
        return failure(store.error());
    if (const Result<> kept = (*store)->add(*made, page.keptPath); !kept)
        return failure(kept.error());
    return made;
}
