#pragma once

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

// Where the save dialogs start: the Documents folder, or the home folder where there is none.
inline QString documentsFolder()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QFileInfo::exists(documents) ? documents : QDir::homePath();
}
