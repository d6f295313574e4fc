#pragma once

#include <QSettings>
#include <QTemporaryDir>

// Qt's own dialogs (the file dialog) keep their settings in a folder that Qt fixes at its first
// use, whatever XDG_CONFIG_HOME says later. A test that gives each case a settings folder of its
// own holds one of these first: Qt's folder is then one that lasts as long as the test, so that no
// case's folder, removed with the case, is made again by a later case's dialog.
struct QtOwnSettings
{
    QtOwnSettings()
    {
        qputenv("XDG_CONFIG_HOME", folder.path().toUtf8());
        QSettings(QSettings::UserScope, QStringLiteral("QtProject")).fileName();
    }
    QTemporaryDir folder;
};
