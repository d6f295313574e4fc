#pragma once

#include "DataSets.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <array>
#include <optional>

// What one fetch brought, every reply as received; nullopt for a reply that never arrived.
struct FetchRecord
{
    std::optional<QByteArray> modelReply;
    std::optional<QByteArray> serialReply;
    std::array<std::optional<QByteArray>, 4> records;
    bool complete = true; // false: cut short by a port failure
    QString port;         // the entry it came through, "COM 33"
    QDateTime saved;      // when it was kept (local time, written with its UTC offset)

    friend bool operator==(const FetchRecord &, const FetchRecord &) = default;
};

// The fetch history: every fetch is kept as one JSON file (docs/file-format.md) that holds the
// meter's replies byte for byte, so that opening it later shows exactly what was fetched.
namespace FetchFile {

// The fetch's replies as the data sets they are, decoded as a live fetch's are (nothing shown
// yet); a reply that never arrived counts as an empty one.
DataSets dataSets(const FetchRecord &fetch);
// Whether a fetch is kept: a whole one always, one cut short only when a data set had come.
bool worthKeeping(const FetchRecord &fetch);

inline constexpr char Suffix[] = ".vmfetch";

// The history folder: <data home>/voltrane-meter/fetches (not created here).
QString historyFolder();

// "2026-12-07_103105_SN-104233.vmfetch" for a fetch kept at `when` (local time) from a meter
// whose reply to "?S" was `serialReply`.
QString fileName(const QDateTime &when, const std::optional<QByteArray> &serialReply);

// The file's bytes; `program` is "voltrane-meter 0.2.0".
QByteArray toJson(const FetchRecord &fetch, const QString &program);

// The fetch a file's bytes hold; nullopt and *problem set (plain words, no file name) when they
// are not a fetch file this program can read.
std::optional<FetchRecord> fromJson(const QByteArray &bytes, QString *problem);

// Reads `path` (at most 1 MiB); nullopt and *error set, naming the file and the problem:
// "“2026-12-07_103105_SN-1.vmfetch” cannot be opened: it was made by a newer version of the
// program."
std::optional<FetchRecord> read(const QString &path, QString *error);

// Writes `fetch` into `folder` (creating it) under fileName(fetch.saved, ...) or the first free
// "-2", "-3", … variant, whole or not at all; the path written, or empty and *error set (where and
// why, e.g. "The fetch could not be kept in “/x/fetches”: The disk is full.").
QString keep(const FetchRecord &fetch, const QString &folder, const QString &program,
             QString *error);

// Writes `fetch` as `path` (Save Fetch As…), whole or not at all; empty or the reason.
QString save(const FetchRecord &fetch, const QString &path, const QString &program);

} // namespace FetchFile
