#pragma once

#include <QString>

// Where the program keeps its files, by the XDG base directory rules on Unix: a variable that is
// unset, empty or relative (which the rules make invalid, and which would otherwise mean "under
// whatever folder the program was started in") counts as not set; without HOME the user's home
// comes from the system's user database. Elsewhere than on Unix, Qt's folders for the user.
// Nothing is created here.
namespace AppFolders {

// The user's home folder: $HOME when it is absolute, else the system's entry for the user.
QString home();

// $XDG_DATA_HOME/voltrane-meter, or <home>/.local/share/voltrane-meter: the fetch history and the
// test records.
QString data();

// $XDG_CONFIG_HOME/voltrane-meter, or <home>/.config/voltrane-meter: the settings file and the
// limit profiles.
QString config();

} // namespace AppFolders
