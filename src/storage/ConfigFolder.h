#pragma once

#include <QString>

// Where the program keeps what the operator sets up: its settings file and its limit profiles.
namespace ConfigFolder {

// $XDG_CONFIG_HOME/voltrane-meter, or ~/.config/voltrane-meter when XDG_CONFIG_HOME is unset,
// empty or relative (the XDG rules make a relative one invalid, and Qt would take it relative to
// whatever folder the program was started in). Elsewhere than on Unix, Qt's folder for the
// user's configuration. Not created here.
QString path();

} // namespace ConfigFolder
