#include "Dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStandardPaths>

namespace {

void show(QMessageBox::Icon icon, QWidget *parent, const char *name, const QString &title,
          const QString &message)
{
    auto *box = new QMessageBox(icon, title, message, QMessageBox::Ok, parent);
    box->setObjectName(QLatin1String(name));
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

} // namespace

namespace Dialogs {

void showError(QWidget *parent, const char *name, const QString &title, const QString &message)
{
    show(QMessageBox::Critical, parent, name, title, message);
}

void showMessage(QWidget *parent, const char *name, const QString &title, const QString &message)
{
    show(QMessageBox::Information, parent, name, title, message);
}

void askSaveFileName(QWidget *parent, const char *name, const QString &title,
                     const QString &suggestedName, const QString &filter,
                     std::function<void(const QString &)> save)
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!QFileInfo::exists(folder))
        folder = QDir::homePath();
    auto *files = new QFileDialog(parent, title, folder + u'/' + suggestedName, filter);
    files->setObjectName(QLatin1String(name));
    files->setAcceptMode(QFileDialog::AcceptSave);
    files->setDefaultSuffix(QFileInfo(suggestedName).suffix());
    files->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(files, &QFileDialog::fileSelected, parent, std::move(save));
    files->open();
}

} // namespace Dialogs
