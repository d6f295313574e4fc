#pragma once

#include "Settings.h"

#include <QStringList>

// What the program remembers between runs, in the settings file: the folder each file dialog was
// last used in, and the fetch files the operator opened or saved last.
namespace Remembered {

inline constexpr int RecentFetchCount = 8;

// The folder the file dialog `dialog` ("saveFetch") starts in: the one a file was last chosen in
// there, while it is a folder still; else `fallback`.
QString dialogFolder(const Settings &settings, const QString &dialog, const QString &fallback);
// A file was chosen in the dialog `dialog`: its folder is where that dialog starts next time.
void rememberDialogFolder(Settings &settings, const QString &dialog, const QString &chosenFile);

// The fetch files opened or saved last, newest first, without those that are no files now.
QStringList recentFetches(const Settings &settings);
// The fetch file `path` was opened or saved: it goes to the top of the list, once however its
// path is written (links and "..", compared as the file they are), and the list keeps the
// RecentFetchCount newest. Files gone missing keep their places: a disk plugged in again brings
// them back.
void addRecentFetch(Settings &settings, const QString &path);

} // namespace Remembered
