#include "TeamServer.h"

#include <QDir>

#include <algorithm>

namespace {

// The keys that Qt's PostgreSQL driver takes through its own setters, quoting them itself.
bool setByDriver(const QString &key)
{
    return key == u"host" || key == u"port" || key == u"dbname" || key == u"user" ||
           key == u"password";
}

// A value as libpq reads it back: quoted when it is empty or holds a blank, a quote or a
// backslash.
QString quoted(const QString &value)
{
    const bool plain = !value.isEmpty() && std::none_of(value.begin(), value.end(), [](QChar c) {
        return c.isSpace() || c == u'\'' || c == u'\\';
    });
    if (plain)
        return value;
    QString text = value;
    text.replace(u'\\', u"\\\\"_qs).replace(u'\'', u"\\'"_qs);
    return u'\'' + text + u'\'';
}

} // namespace

Result<TeamServer> TeamServer::parse(const QString &connection)
{
    const auto refused = [](const QString &why) {
        return failure(u"The team server's connection string cannot be used: %1."_qs.arg(why));
    };
    TeamServer server;
    const QString &s = connection;
    qsizetype i = 0;
    const auto blank = [&] { return i < s.size() && s[i].isSpace(); };
    for (;;) {
        while (blank())
            ++i;
        if (i >= s.size())
            break;
        QString key;
        while (i < s.size() && s[i] != u'=' && !s[i].isSpace())
            key += s[i++];
        while (blank())
            ++i;
        if (i >= s.size() || s[i] != u'=')
            return refused(u"“%1” has no “=” after it"_qs.arg(key));
        if (key.isEmpty())
            return refused(u"a value has no key before its “=”"_qs);
        ++i;
        while (blank())
            ++i;
        QString value = QString::fromLatin1("", 0); // given empty, not null
        const bool inQuotes = i < s.size() && s[i] == u'\'';
        i += inQuotes;
        for (;;) {
            if (i >= s.size()) {
                if (inQuotes)
                    return refused(u"the quote after “%1=” is not closed"_qs.arg(key));
                break;
            }
            const QChar c = s[i++];
            if (inQuotes ? c == u'\'' : c.isSpace())
                break;
            if (c == u'\\' && i < s.size())
                value += s[i++];
            else
                value += c;
        }
        if (key == u"port") {
            bool number = false;
            const int port = value.toInt(&number);
            if (!number || port < 1 || port > 65535)
                return refused(u"the port is not a number from 1 to 65535"_qs);
        }
        if (!setByDriver(key) && value.contains(u';'))
            return refused(u"the value of “%1” holds a “;”"_qs.arg(key));
        server.m_parameters.append({key, value});
    }
    return server;
}

Result<std::optional<TeamServer>> TeamServer::configured(const Settings &settings)
{
    const bool fromEnvironment = qEnvironmentVariableIsSet(EnvironmentVariable);
    const QString text = fromEnvironment
                             ? qEnvironmentVariable(EnvironmentVariable)
                             : settings.text(QString::fromLatin1(Settings::RecordsServer));
    if (text.trimmed().isEmpty())
        return std::optional<TeamServer>();
    Result<TeamServer> server = parse(text);
    if (!server)
        return failure(u"%1 (set in %2)"_qs.arg(
                           QString::fromStdString(server.error()).chopped(1),
                           fromEnvironment
                               ? u"the environment variable %1"_qs.arg(EnvironmentVariable)
                               : u"“%1”, %2"_qs.arg(QDir::toNativeSeparators(settings.path()),
                                                    QString::fromLatin1(Settings::RecordsServer))) +
                       u'.');
    return std::optional<TeamServer>(std::move(*server));
}

Result<> TeamServer::store(Settings &settings, const QString &connection)
{
    if (!connection.trimmed().isEmpty()) {
        const Result<TeamServer> server = parse(connection);
        if (!server)
            return failure(server.error());
        if (server->hasPassword())
            return failure(
                u"A password is never kept in the settings: leave “password=” out of the "
                "connection string and put the password in ~/.pgpass (mode 0600, or libpq "
                "ignores it), one line host:port:database:user:password, or in a service file "
                "(~/.pg_service.conf, then “service=NAME” here)."_qs);
    }
    settings.setText(QString::fromLatin1(Settings::RecordsServer), connection.trimmed());
    return settings.save();
}

QString TeamServer::display() const
{
    QStringList parts;
    for (const Parameter &p : m_parameters) {
        if (p.key != u"password")
            parts << p.key + u'=' + quoted(p.value);
    }
    return parts.join(u' ');
}

QString TeamServer::value(const QString &key) const
{
    for (auto p = m_parameters.crbegin(); p != m_parameters.crend(); ++p) {
        if (p->key == key)
            return p->value;
    }
    return {};
}
