#pragma once

#include "DataSets.h"
#include "Result.h"

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
    std::array<std::optional<QByteArray>, DataSets::Count> records;
    bool complete = true; // false: cut short before the last reply
    QString port;         // the entry it came through, "COM 33"
    QDateTime saved;      // when it was kept (local time, written with its UTC offset)

    // The records' bytes as DataSets::of() takes them; valid while this fetch lives.
    DataSets::Records recordViews() const;

    friend bool operator==(const FetchRecord &, const FetchRecord &) = default;
};

// The fetch history: every fetch is kept as one JSON file (docs/file-format.md) that holds the
// meter's replies byte for byte, so that opening it later shows exactly what was fetched. This is
// the file format only: when a fetch is kept, and what it means, is the session's.
namespace FetchFile {

inline constexpr char Suffix[] = ".vmfetch";

// "2026-12-07T10:31:05+01:00": a time as the program writes it in files and outputs, the
// wall-clock time where it was taken, in whole seconds, and its offset from UTC ("+00:00", never
// "Z").
QString timeText(const QDateTime &when);

// The history folder: <data home>/voltrane-meter/fetches (not created here).
QString historyFolder();

// "2026-12-07_103105_SN-104233.vmfetch" for a fetch kept at `when` (local time) from a meter
// whose reply to "?S" was `serialReply`.
QString fileName(const QDateTime &when, const std::optional<QByteArray> &serialReply);

// The file's bytes; `decoded` are the fetch's records decoded (for the file's "decoded" member),
// `program` is "voltrane-meter 0.2.0".
QByteArray toJson(const FetchRecord &fetch, const DataSets &decoded, const QString &program);

// The fetch a file's bytes hold; why not (plain words, no file name) when they are not a fetch
// file this program can read.
Result<FetchRecord> fromJson(const QByteArray &bytes);

// A fetch file as read: the fetch it holds, and its bytes as they are, members this version does
// not know and all, so that it can be written again unchanged.
struct ReadFile
{
    FetchRecord fetch;
    QByteArray bytes;
};

// Reads `path`, a regular file of at most 1 MiB (a FIFO or a device of that name is refused,
// never waited on); why not, naming the file and the problem:
// "“2026-12-07_103105_SN-1.vmfetch” cannot be opened: it was made by a newer version of the
// program."
Result<ReadFile> readFile(const QString &path);
// readFile(path) without the bytes.
Result<FetchRecord> read(const QString &path);

// Writes a fetch file's bytes into `folder` (creating it) as `name`, or as the first free "-2",
// "-3", … variant of it, whole or not at all, never over a file that took the name meanwhile;
// the path written, or where and why not ("The fetch could not be kept in “/x/fetches”: The
// disk is full.").
Result<QString> keep(const QByteArray &fileBytes, const QString &name, const QString &folder);

} // namespace FetchFile
