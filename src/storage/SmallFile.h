#pragma once

#include "Result.h"

#include <QByteArray>
#include <QString>

// Reads a small file that the operator put somewhere (a limit profile) without trusting what it
// is: only a regular file is read, only up to a size, and opening never waits (a FIFO or a device
// of that name is refused, not opened for reading until something writes to it).
namespace SmallFile {

// The file's bytes; or why not, in plain words without the file's name: the system's own words
// ("No such file or directory", "Permission denied"), "it is not a regular file", "it is larger
// than 64 KiB" (for maxBytes = 65536).
Result<QByteArray> read(const QString &path, qint64 maxBytes);

} // namespace SmallFile
