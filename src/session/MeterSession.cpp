#include "MeterSession.h"

#include "FileSave.h"

#include <QDir>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QtConcurrent>

#include <algorithm>

namespace {

std::optional<std::string> text(const std::optional<QByteArray> &reply)
{
    return reply ? std::optional(reply->toStdString()) : std::nullopt;
}

bool empty(const std::optional<QByteArray> &reply)
{
    return !reply || reply->isEmpty();
}

} // namespace

MeterSession::MeterSession(MeterLine &line, Options options, QObject *parent)
    : QObject(parent), m_line(line), m_options(std::move(options)),
      m_sequence(new FetchSequence(line.device(), m_options.replyWait, this))
{
    // The sequence hears of a failing line first, so that the fetch has ended when the failure
    // is reported.
    connect(&m_line, &MeterLine::failed, m_sequence, &FetchSequence::portFailed);
    connect(&m_line, &MeterLine::failed, this, &MeterSession::portFailed);
    connect(m_sequence, &FetchSequence::commandSent, this, [this](int step) {
        emit commandSent(step, QString::fromLatin1(FetchSequence::Commands[step]));
    });
    connect(m_sequence, &FetchSequence::modelReplyReceived, this, [this](const QByteArray &reply) {
        m_fetch.modelReply = reply;
        emit meterTextsChanged();
    });
    connect(m_sequence, &FetchSequence::serialReplyReceived, this, [this](const QByteArray &reply) {
        m_fetch.serialReply = reply;
        emit meterTextsChanged();
    });
    connect(m_sequence, &FetchSequence::recordReceived, this,
            [this](int index, const QByteArray &record) {
                m_fetch.records.at(index) = record;
                m_dataSets.setRecord(index, std::string_view(record.constData(), record.size()));
            });
    connect(m_sequence, &FetchSequence::finished, this, &MeterSession::finished);
    connect(m_sequence, &FetchSequence::failed, this, &MeterSession::failed);
}

MeterSession::~MeterSession() = default;

std::optional<std::string> MeterSession::modelReply() const
{
    return text(m_fetch.modelReply);
}

std::optional<std::string> MeterSession::serialReply() const
{
    return text(m_fetch.serialReply);
}

Result<> MeterSession::openPort(const PortChoice &port)
{
    if (Result<> opened = m_line.open(port); !opened)
        return opened;
    m_port = port;
    // What the port held when it opened stands as data set 1 until the next fetch.
    const QByteArray waiting = m_line.takeAll();
    if (m_held || !waiting.isEmpty()) {
        m_fetch.records[0] = waiting;
        m_dataSets.setRecord(0, std::string_view(waiting.constData(), waiting.size()));
    }
    return {};
}

bool MeterSession::isPortOpen() const
{
    return m_line.isOpen();
}

void MeterSession::closePort()
{
    m_line.close();
}

bool MeterSession::isFetching() const
{
    return m_sequence->isRunning();
}

void MeterSession::begin(FetchRecord fetch)
{
    m_held = true;
    m_fetch = std::move(fetch);
    m_fileBytes.clear();
    m_fileName.clear();
    m_keptPath.clear();
    m_chosen = 0;
    m_shown.reset();
    m_fault.clear();
}

bool MeterSession::startFetch()
{
    if (isFetching())
        return false;
    // Nothing of an earlier fetch (maybe another meter's) stays under this one's name.
    FetchRecord fetch;
    fetch.port = m_port.name();
    begin(std::move(fetch));
    m_dataSets = DataSets::fetching();
    emit fetchStarted();
    emit meterTextsChanged();
    emit shownChanged();
    return m_sequence->start();
}

void MeterSession::abortFetch()
{
    m_sequence->abort();
}

void MeterSession::interruptFetch()
{
    if (!isFetching())
        return;
    m_sequence->abort();
    endCutShort({FetchOutcome::Kind::Interrupted, tr("The fetch was interrupted.")});
}

void MeterSession::finished()
{
    const auto nothing = [](const std::optional<QByteArray> &reply) { return empty(reply); };
    FetchOutcome outcome;
    if (nothing(m_fetch.modelReply) && nothing(m_fetch.serialReply) &&
        std::ranges::all_of(m_fetch.records, nothing)) {
        outcome.kind = FetchOutcome::Kind::NothingReceived;
        outcome.message = tr("The meter on %1 did not answer. Is it switched on and connected to "
                             "this port?")
                              .arg(m_port.text());
    } else if (const std::vector<std::string> faults = m_dataSets.faults(); !faults.empty()) {
        outcome.kind = FetchOutcome::Kind::SomeUnreadable;
        outcome.message = tr("Not every data set could be read:");
        for (const std::string &line : faults)
            outcome.unreadable << QString::fromStdString(line);
    }
    outcome.kept = true;
    keep();
    show(0);
    emit fetchEnded(outcome);
}

void MeterSession::failed(const QString &message)
{
    endCutShort({m_line.isOpen() ? FetchOutcome::Kind::MeterTooLate : FetchOutcome::Kind::CutByPort,
                 message});
}

void MeterSession::endCutShort(FetchOutcome outcome)
{
    m_fetch.complete = false;
    // A fetch cut short is kept when a data set had come.
    outcome.kept = std::ranges::any_of(m_fetch.records, [](auto &r) { return r.has_value(); });
    if (outcome.kept)
        keep();
    emit fetchEnded(outcome);
}

void MeterSession::keep()
{
    // In whole seconds, as the file holds it.
    const QDateTime now = QDateTime::currentDateTime();
    m_fetch.saved = now.addMSecs(-now.time().msec());
    m_fileBytes = FetchFile::toJson(m_fetch, m_dataSets, m_options.program);
    if (!m_options.keepHistory)
        return;
    // Written on a worker thread, so a slow disk never holds up the window.
    ++m_keeping;
    auto *keeping = new QFutureWatcher<Result<QString>>(this);
    connect(keeping, &QFutureWatcher<Result<QString>>::finished, this,
            [this, keeping, bytes = m_fileBytes] {
                keeping->deleteLater();
                --m_keeping;
                const Result<QString> kept = keeping->result();
                if (kept && bytes == m_fileBytes) // still the fetch held
                    m_keptPath = *kept;
                emit fetchKept(kept);
            });
    keeping->setFuture(QtConcurrent::run(&FetchFile::keep, m_fileBytes,
                                         FetchFile::fileName(m_fetch.saved, m_fetch.serialReply),
                                         FetchFile::historyFolder()));
}

void MeterSession::show(int index)
{
    if (DataSets::isIndex(index))
        m_chosen = index;
    const std::optional<Measurement> &m = m_dataSets.measurement(m_chosen);
    m_shown =
        m ? std::optional(ShownDataSet{m_chosen, *m, modelReply(), serialReply()}) : std::nullopt;
    m_fault = m_dataSets.fault(m_chosen);
    emit shownChanged();
}

Result<> MeterSession::openFile(const QString &path)
{
    if (isFetching() || m_opening)
        return failure(
            tr("“%1” cannot be opened while a fetch runs.").arg(QFileInfo(path).fileName()));
    return hold(path, FetchFile::readFile(path));
}

void MeterSession::openFileInBackground(const QString &path)
{
    if (isFetching() || m_opening)
        return;
    m_opening = true;
    auto *reading = new QFutureWatcher<Result<FetchFile::ReadFile>>(this);
    connect(reading, &QFutureWatcher<Result<FetchFile::ReadFile>>::finished, this,
            [this, reading, path] {
                reading->deleteLater();
                m_opening = false;
                if (const Result<> held = hold(path, reading->result()); !held)
                    emit openFailed(QString::fromStdString(held.error()));
            });
    reading->setFuture(QtConcurrent::run(&FetchFile::readFile, path));
}

Result<> MeterSession::openFetchFile(const QByteArray &bytes, const QString &name, int index)
{
    if (isFetching() || m_opening)
        return failure(tr("“%1” cannot be opened while a fetch runs.").arg(name));
    Result<FetchRecord> fetch = FetchFile::fromJson(bytes);
    if (!fetch)
        return failure(
            tr("“%1” cannot be opened: %2.").arg(name, QString::fromStdString(fetch.error())));
    return hold(name, FetchFile::ReadFile{std::move(*fetch), bytes}, index);
}

Result<> MeterSession::hold(const QString &path, Result<FetchFile::ReadFile> read, int index)
{
    if (!read)
        return failure(read.error());
    if (isFetching())
        return failure(
            tr("“%1” cannot be opened while a fetch runs.").arg(QFileInfo(path).fileName()));
    begin(std::move(read->fetch));
    m_dataSets = DataSets::of(m_fetch.recordViews());
    m_fileBytes = std::move(read->bytes);
    m_fileName = QFileInfo(path).fileName();
    if (QFileInfo(path).absolutePath() == QDir(FetchFile::historyFolder()).absolutePath())
        m_keptPath = QFileInfo(path).absoluteFilePath();
    emit meterTextsChanged();
    show(DataSets::isIndex(index) ? index : 0);
    emit fileOpened(path);
    return {};
}

Result<> MeterSession::saveAs(const QString &path) const
{
    if (const Result<> written = FileSave::write(path, m_fileBytes); !written)
        return failure(tr("The fetch could not be saved as \"%1\". %2.")
                           .arg(path, QString::fromStdString(written.error())));
    return {};
}
