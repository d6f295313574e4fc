#pragma once

#include "Result.h"
#include "TestRecord.h"
#include "Trend.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class RecordDatabase;

// Which test records find() gives.
struct RecordQuery
{
    QString text{}; // found in the energizer's serial, model or customer, any letter case
    QString energizerSerial{};   // only this energizer's (trimmed, any letter case); empty: all
    QDate since{};               // recorded on or after this date (invalid: no limit)…
    QDate until{};               // …and on or before this one, both the local date where recorded
    int limit = 0;               // at most this many, newest first; 0: all
    bool withFetchFiles = false; // also the fetch files' bytes (left empty otherwise, for speed)
};

// A fetch kept in the store without a test made of it.
struct KeptFetch
{
    qint64 id = 0;
    QString path;    // the history file it was listed from; empty when none
    QDateTime saved; // when it was fetched, with its UTC offset
    QString meterModel;
    QString meterSerial;

    friend bool operator==(const KeptFetch &, const KeptFetch &) = default;
};

// What listing the fetch history did.
struct Listing
{
    int total = 0;          // fetch files in the folder
    int added = 0;          // taken into the store now
    int known = 0;          // already in it
    QStringList unreadable; // files skipped, each with why: "“x.vmfetch” cannot be opened: …."
    bool cancelled = false; // stopped by the progress callback; the next listing goes on
};

// The energizers' texts recorded, each once and sorted, for completing what is typed.
struct EnergizerTexts
{
    QStringList models;
    QStringList serials;
};

struct RecordCounts
{
    int tests = 0;
    int fetches = 0;
    int untested = 0; // fetches without a test
    int pending = 0;  // tests not yet sent to the team server
};

// The test records of this computer: one SQLite file (records.sqlite) holding each record and
// the fetch it came from. Every change is one transaction, so a record reported as made is kept
// even if the program is killed right after, and several copies of the program may write at once.
// Failures name the file and say why in plain words:
//   "The test records in “/home/x/.local/share/voltrane-meter/records.sqlite” cannot be opened:
//   the file is damaged (not a database)."
// A store belongs to the thread that opened it; another thread opens its own.
class RecordStore
{
public:
    static constexpr int DefaultBusyTimeoutMs = 5000;

    // <data home>/voltrane-meter/records.sqlite, beside the fetch history.
    static QString defaultPath();

    // Opens the store at `path`, creating it and its folder when missing. Refuses, changing
    // nothing, a file that is damaged, not a store, made by a newer version of the program,
    // read-only, on a full disk, or locked by another program for longer than `busyTimeoutMs`.
    static Result<std::unique_ptr<RecordStore>> open(const QString &path,
                                                     int busyTimeoutMs = DefaultBusyTimeoutMs);

    // Moves a store that cannot be opened (and its -wal and -shm files) out of the way, to
    // "records.sqlite.damaged-2026-12-08_101500" (or "…-2", … when taken), so that a new one can
    // be started; nothing is deleted. The new path of the file.
    static Result<QString> setAside(const QString &path);

    // Only open() makes one (the key is private).
    class Key
    {
        friend class RecordStore;
        Key() = default;
    };
    RecordStore(Key, std::unique_ptr<RecordDatabase> db);
    ~RecordStore();
    RecordStore(const RecordStore &) = delete;
    RecordStore &operator=(const RecordStore &) = delete;

    QString path() const;

    // Keeps `record`: its fetch (found by its bytes' digest, or added) and the test. A record whose
    // id is already kept is not added again. `keptPath`: the history file of the fetch, if any.
    Result<> add(const TestRecord &record, const QString &keptPath = {});
    // Keeps all of `records` in one transaction, or none.
    Result<> add(const QList<TestRecord> &records);

    // The record with id `id`, with its fetch file.
    Result<TestRecord> record(const QString &id) const;
    // The records `query` asks for, newest first.
    Result<QList<TestRecord>> find(const RecordQuery &query) const;
    // Only their ids, in the same order: several times faster for many records.
    Result<QStringList> ids(const RecordQuery &query) const;
    // The records of one energizer (serial trimmed, any letter case), oldest first.
    Result<Trend> trend(const QString &energizerSerial) const;

    // Fetches without a test, newest first, saved within the query's dates; none when the query
    // asks for a text or an energizer (such a fetch has no energizer yet).
    Result<QList<KeptFetch>> untested(const RecordQuery &query = {}) const;
    // The file bytes of a kept fetch.
    Result<QByteArray> fetchFile(qint64 fetchId) const;
    Result<RecordCounts> counts() const;
    Result<EnergizerTexts> energizerTexts() const;

    // The records not yet on the team server, oldest first, with their fetch files; at most
    // `limit`.
    Result<QList<TestRecord>> pending(int limit) const;
    // Marks the records `ids` as on the team server (no longer pending), all in one transaction;
    // only once the server has committed them. Ids not kept here are passed over.
    Result<> markShared(const QStringList &ids);

    // Takes the fetch files of `folder` (*.vmfetch) not yet in the store into it as fetches
    // without a test, `batchSize` files a transaction. After each batch `progress(done, total)`
    // is called; false stops the listing, and the next one goes on where it stopped (files
    // already listed are skipped by path, or by digest). Files that cannot be read are skipped,
    // counted and named, and left where they are.
    using Progress = std::function<bool(int done, int total)>;
    // Whether `folder` holds a fetch file to list at all; read without a store.
    static bool holdsKeptFetches(const QString &folder);
    Result<Listing> listKeptFetches(const QString &folder, const Progress &progress = {},
                                    int batchSize = 200);

private:
    struct Entry;
    Result<> addRecords(const QList<TestRecord> &records, const QString &keptPath);
    // Keeps the fetches and tests of `entries` in one transaction; the reason on failure.
    Result<> addEntries(const QList<Entry> &entries, int *added = nullptr);
    QString readFailure(const std::string &why) const;

    std::unique_ptr<RecordDatabase> m_db;
};
