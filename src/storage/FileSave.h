#pragma once

#include "Result.h"

#include <QByteArray>
#include <QString>

// Writes a whole file or none: the bytes go to a temporary file beside `fileName`, which replaces
// it only once every byte is written and flushed. On failure a file that was there is left as it
// was.
namespace FileSave {

// Why it failed, in words for the operator: "The disk is full", or the system's own words
// ("Permission denied").
Result<> write(const QString &fileName, const QByteArray &bytes);

} // namespace FileSave
