#include "Dialogs.h"

#include "Remembered.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTreeView>

namespace {

void show(QMessageBox::Icon icon, QWidget *parent, const char *name, const QString &title,
          const QString &message)
{
    auto *box = new QMessageBox(icon, title, message, QMessageBox::Ok, parent);
    box->setObjectName(QLatin1String(name));
    box->setTextFormat(Qt::PlainText);
    box->setAccessibleDescription(message); // read as the box opens
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

} // namespace

namespace {

QFileDialog *fileDialog(QWidget *parent, const char *name, const QString &title,
                        const QString &start, const QString &filter,
                        std::function<void(const QString &)> chosen)
{
    const QString dialog = QLatin1String(name);
    auto *files = new QFileDialog(parent, title, start, filter);
    files->setObjectName(dialog);
    files->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(files, &QFileDialog::fileSelected, parent,
                     [dialog, chosen = std::move(chosen)](const QString &file) {
                         chosen(file);
                         // Where a file could not be saved (/proc) is not where to start again.
                         if (QFileInfo(file).isFile()) {
                             Settings settings;
                             Remembered::rememberDialogFolder(settings, dialog, file);
                         }
                     });
    return files;
}

} // namespace

namespace Dialogs {

void showError(QWidget *parent, const char *name, const QString &title, const QString &message)
{
    show(QMessageBox::Critical, parent, name, title, message);
}

void showWarning(QWidget *parent, const char *name, const QString &title, const QString &message)
{
    show(QMessageBox::Warning, parent, name, title, message);
}

void showMessage(QWidget *parent, const char *name, const QString &title, const QString &message)
{
    show(QMessageBox::Information, parent, name, title, message);
}

void showNotice(QWidget *parent, const char *name, const QString &title, const QString &message)
{
    auto *box = parent->findChild<QMessageBox *>(QLatin1String(name), Qt::FindDirectChildrenOnly);
    if (!box) {
        box = new QMessageBox(QMessageBox::Warning, title, {}, QMessageBox::Ok, parent);
        box->setObjectName(QLatin1String(name));
        box->setTextFormat(Qt::PlainText);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::NonModal);
        // Closed, it is on its way out: the next notice is a box of its own.
        QObject::connect(box, &QMessageBox::finished, box, [box] { box->setObjectName({}); });
    }
    box->setText(message);
    box->setAccessibleDescription(message);
    box->show();
}

void askSaveFileName(QWidget *parent, const char *name, const QString &title,
                     const QString &suggestedName, const QString &filter,
                     std::function<void(const QString &)> save)
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!QFileInfo::exists(folder))
        folder = QDir::homePath();
    folder = Remembered::dialogFolder(Settings(), QLatin1String(name), folder);
    QFileDialog *files =
        fileDialog(parent, name, title, folder + u'/' + suggestedName, filter, std::move(save));
    files->setAcceptMode(QFileDialog::AcceptSave);
    files->setDefaultSuffix(QFileInfo(suggestedName).suffix());
    files->open();
}

void askOpenFileName(QWidget *parent, const char *name, const QString &title, const QString &folder,
                     const QString &filter, std::function<void(const QString &)> open)
{
    QFileDialog *files = fileDialog(
        parent, name, title, Remembered::dialogFolder(Settings(), QLatin1String(name), folder),
        filter, std::move(open));
    files->setFileMode(QFileDialog::ExistingFile);
    // The platform's own dialog sorts as it likes; this one can put the newest fetch first.
    files->setOption(QFileDialog::DontUseNativeDialog);
    files->open();
    if (auto *view = files->findChild<QTreeView *>(QStringLiteral("treeView")))
        view->header()->setSortIndicator(0, Qt::DescendingOrder);
}

} // namespace Dialogs
