#include "Settings.h"

#include "AppFolders.h"

#include <QDir>

QString Settings::defaultPath()
{
    return AppFolders::config() + u"/voltrane-meter.conf"_qs;
}

Settings::Settings(const QString &path) : m_settings(path, QSettings::IniFormat) {}

QString Settings::text(const QString &key, const QString &fallback) const
{
    const QVariant value = m_settings.value(key);
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(u", "_qs);
    // A value set in this process comes back as it was set (a flag as a bool); one from the file
    // as text.
    return value.isValid() && value.canConvert<QString>() ? value.toString() : fallback;
}

void Settings::setText(const QString &key, const QString &value)
{
    m_settings.setValue(key, value);
}

bool Settings::flag(const QString &key, bool fallback) const
{
    const QString value = text(key).trimmed().toLower();
    if (value == u"true" || value == u"1" || value == u"yes" || value == u"on")
        return true;
    if (value == u"false" || value == u"0" || value == u"no" || value == u"off")
        return false;
    return fallback;
}

void Settings::setFlag(const QString &key, bool value)
{
    m_settings.setValue(key, value);
}

Result<> Settings::save()
{
    m_settings.sync();
    switch (m_settings.status()) {
    case QSettings::NoError:
        return {};
    case QSettings::AccessError:
        return failure(
            u"The settings could not be saved in “%1”: the file cannot be written there."_qs.arg(
                QDir::toNativeSeparators(path())));
    case QSettings::FormatError:
        break;
    }
    return failure(
        u"The settings could not be saved in “%1”: the file is not one of settings."_qs.arg(
            QDir::toNativeSeparators(path())));
}
