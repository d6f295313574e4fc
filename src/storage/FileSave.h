#pragma once

#include "Result.h"

#include <QByteArray>
#include <QString>

#include <functional>

// Writes a whole file or none: the bytes go to a temporary file beside `fileName`, which replaces
// it only once every byte is written and flushed. On failure a file that was there is left as it
// was.
namespace FileSave {

// Why it failed, in words for the operator: "The disk is full", or the system's own words
// ("Permission denied").
Result<> write(const QString &fileName, const QByteArray &bytes);

// Writes a whole new file into `folder` under the first of the names `name(1)`, `name(2)`, …
// that no file has, and never under one that a file took meanwhile (another program keeping
// its file at the same moment): the bytes go to a temporary file in the folder first, which
// then takes the name in one step, or not at all when the name is taken. The path written, or
// why not.
Result<QString> writeNew(const QString &folder, const std::function<QString(int)> &name,
                         const QByteArray &bytes);

} // namespace FileSave
