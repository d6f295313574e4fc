#include "TeamServerDialog.h"

#include "FixedLayout.h"
#include "ScreenReader.h"
#include "Settings.h"
#include "TeamServer.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using FixedLayout::label;

TeamServerDialog::TeamServerDialog(const QString &settingsPath, QWidget *parent)
    : QDialog(parent), m_settingsPath(settingsPath)
{
    setObjectName(QStringLiteral("dlgTeamServer"));
    setWindowTitle(tr("Team Server"));
    const Settings settings(m_settingsPath);
    auto *lblServer =
        label(tr("The team's test records are shared with this PostgreSQL server, given as a libpq "
                 "connection string (empty: none, the records stay on this computer):"),
              this);
    lblServer->setWordWrap(true);
    txtServer = new QLineEdit(settings.text(QString::fromLatin1(Settings::RecordsServer)), this);
    txtServer->setObjectName(QStringLiteral("txtServer"));
    txtServer->setPlaceholderText(
        u"host=db.example port=5432 dbname=voltrane_records user=NAME"_qs);
    txtServer->setMinimumWidth(txtServer->fontMetrics().horizontalAdvance(QLatin1Char('M')) * 40);
    lblServer->setBuddy(txtServer);
    auto *lblPassword = label(
        tr("The password goes in ~/.pgpass (mode 0600) or a service file, never here."), this);
    lblPassword->setWordWrap(true);

    lblOverride = label({}, this);
    lblOverride->setObjectName(QStringLiteral("lblOverride"));
    lblOverride->setWordWrap(true);
    if (qEnvironmentVariableIsSet(TeamServer::EnvironmentVariable)) {
        const auto fromEnvironment = TeamServer::configured(settings);
        const QString which = !fromEnvironment   ? tr("a string that cannot be used")
                              : *fromEnvironment ? u"“%1”"_qs.arg((*fromEnvironment)->display())
                                                 : tr("nothing, which turns the team server off");
        lblOverride->setText(tr("The environment variable %1 is set (to %2): it overrides this "
                                "setting for as long as it is set.")
                                 .arg(QLatin1String(TeamServer::EnvironmentVariable), which));
    }
    lblOverride->setVisible(!lblOverride->text().isEmpty());

    lblProblem = label({}, this);
    lblProblem->setObjectName(QStringLiteral("lblProblem"));
    lblProblem->setWordWrap(true);
    QPalette problemPalette = lblProblem->palette();
    problemPalette.setColor(QPalette::WindowText, QColor(0xb0, 0x10, 0x10));
    lblProblem->setPalette(problemPalette);
    lblProblem->hide();

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Save)->setObjectName(QStringLiteral("cmdSave"));
    connect(buttons, &QDialogButtonBox::accepted, this, &TeamServerDialog::save);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblServer);
    layout->addWidget(txtServer);
    layout->addWidget(lblPassword);
    layout->addWidget(lblOverride);
    layout->addWidget(lblProblem);
    layout->addWidget(buttons);

    setAccessibleDescription(tr("The team's server the test records are shared with."));
    ScreenReader::describe({
        {txtServer, tr("Team server"),
         tr("A libpq connection string, such as host=… port=… dbname=… user=…; empty: none.")},
        {lblOverride, {}, tr("The environment variable that overrides this setting.")},
        {lblProblem, {}, tr("Why the server given cannot be used.")},
    });
}

void TeamServerDialog::save()
{
    Settings settings(m_settingsPath);
    if (const Result<> stored = TeamServer::store(settings, txtServer->text()); !stored) {
        lblProblem->setText(QString::fromStdString(stored.error()));
        lblProblem->show();
        adjustSize(); // taller by the lines of the reason
        return;
    }
    accept();
}
