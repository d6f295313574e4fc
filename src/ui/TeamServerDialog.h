#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;

// "Team Server", `dlgTeamServer`: the team's PostgreSQL server as a libpq connection string
// ("host=… port=… dbname=… user=…"; empty: none), kept in the settings file as records/server.
// "Save" keeps it (TeamServer::store()) and accepts; a string that cannot be used, or that holds
// a password, is refused in a line of the dialog, which stays open, with nothing changed. When
// VOLTRANE_RECORDS_SERVER is set, the dialog says that it overrides the setting. It connects to
// nothing, so it never waits for the server.
class TeamServerDialog : public QDialog
{
    Q_OBJECT

public:
    TeamServerDialog(const QString &settingsPath, QWidget *parent);

private:
    void save();

    const QString m_settingsPath;
    QLineEdit *txtServer;
    QLabel *lblOverride;
    QLabel *lblProblem;
};
