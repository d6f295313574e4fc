#pragma once

#include <QString>

#include <functional>

class QWidget;

// The small dialogs the windows share. Both are opened without a nested event loop: the window
// behind them goes on living, and a failure may arrive in the middle of a port's own processing.
namespace Dialogs {

// A message box with a stop icon and an OK button over `parent`, named `name`, its text shown as
// plain characters. It deletes itself when closed.
void showError(QWidget *parent, const char *name, const QString &title, const QString &message);

// The same with a warning icon, for trouble that is not a failure of the program (the meter's
// data).
void showWarning(QWidget *parent, const char *name, const QString &title, const QString &message);

// The same with an information icon, for news that is not a failure.
void showMessage(QWidget *parent, const char *name, const QString &title, const QString &message);

// A warning that blocks no window, for news the operator need not answer at once (the team
// server out of reach): a box named `name` over `parent`, shown without modality. The one shown
// already is reused, with the new text. It deletes itself when closed.
void showNotice(QWidget *parent, const char *name, const QString &title, const QString &message);

// A save-file dialog over `parent`, named `name`, that offers `suggestedName` in the folder a file
// was last saved in by a dialog of that name (Settings::folderKey()), or, the first time and
// when that folder is gone, in the Documents folder (or the home folder where there is none), and
// adds that name's suffix to a name typed without one. `save` gets the chosen file; nothing
// happens when the operator cancels.
void askSaveFileName(QWidget *parent, const char *name, const QString &title,
                     const QString &suggestedName, const QString &filter,
                     std::function<void(const QString &)> save);

// An open-file dialog over `parent`, named `name`, that starts in the folder a file was last
// chosen in by a dialog of that name, or else in `folder`, and shows the files of `filter`, by
// name from the last (kept fetches are named by their time: the newest first); `open` gets the
// chosen file; nothing happens when the operator cancels.
void askOpenFileName(QWidget *parent, const char *name, const QString &title, const QString &folder,
                     const QString &filter, std::function<void(const QString &)> open);

} // namespace Dialogs
