#include "LimitProfiles.h"

#include "AppFolders.h"
#include "SmallFile.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <map>

namespace {

constexpr char NameKey[] = "name";

QString entry(const QString &key)
{
    return u"the entry “%1”"_qs.arg(key);
}

QString quotedList(const QStringList &names)
{
    return u"“"_qs + names.join(u"”, “"_qs) + u"”"_qs;
}

QString nameOf(const LimitProfile &profile)
{
    return QString::fromStdString(profile.name);
}

} // namespace

QString LimitProfiles::folder()
{
    return AppFolders::config() + u"/profiles"_qs;
}

Result<LimitProfile> LimitProfiles::fromJson(const QByteArray &bytes)
{
    QJsonParseError error;
    // A byte-order mark, which some editors write, is skipped by the parser.
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        return failure(u"it is not JSON text (%1 at character %2)"_qs.arg(error.errorString())
                           .arg(error.offset + 1));
    if (!document.isObject())
        return failure(u"it is not one JSON object"_qs);
    const QJsonObject object = document.object();

    LimitProfile profile;
    const QJsonValue name = object.value(QLatin1String(NameKey));
    if (name.isUndefined())
        return failure(entry(NameKey) + u" is missing"_qs);
    if (!name.isString())
        return failure(entry(NameKey) + u" is not text"_qs);
    profile.name = name.toString().toStdString();
    for (const LimitKey &key : LimitKeys) {
        const QJsonValue value = object.value(QLatin1String(key.name));
        if (value.isUndefined())
            return failure(entry(key.name) + u" is missing"_qs);
        if (!value.isDouble())
            return failure(entry(key.name) + u" is not a number"_qs);
        profile.*key.limit = value.toDouble();
    }
    for (const QString &key : object.keys()) {
        if (key != QLatin1String(NameKey) && std::ranges::none_of(LimitKeys, [&](const auto &k) {
                return key == QLatin1String(k.name);
            }))
            return failure(
                u"it has an entry “%1”, which a limit profile does not have"_qs.arg(key));
    }
    if (const Result<> valid = validLimits(profile); !valid)
        return failure(valid.error());
    return profile;
}

LimitProfiles LimitProfiles::load(const QString &folder)
{
    LimitProfiles loaded;
    loaded.m_profiles.push_back(builtInLimitProfile());
    const QFileInfo folderInfo(folder);
    const QString shownFolder = QDir::toNativeSeparators(folder);
    if (!folderInfo.exists())
        return loaded;
    if (!folderInfo.isDir() || !folderInfo.isReadable()) {
        loaded.m_problems << u"The limit profiles in “%1” cannot be read: %2."_qs.arg(
            shownFolder,
            folderInfo.isDir() ? u"the folder cannot be read"_qs : u"it is not a folder"_qs);
        return loaded;
    }
    // Which file each name came from, for the message about a second profile of that name.
    std::map<std::string, QString> taken{{builtInLimitProfile().name, u"the built-in profile"_qs}};
    const QDir dir(folder);
    for (const QString &file : dir.entryList(
             {u"*.json"_qs}, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
             QDir::Name)) {
        const QString path = dir.filePath(file);
        Result<LimitProfile> profile = [&]() -> Result<LimitProfile> {
            const Result<QByteArray> bytes = SmallFile::read(path, MaxFileBytes);
            if (!bytes)
                return failure(bytes.error());
            return fromJson(*bytes);
        }();
        if (profile) {
            const auto [where, isNew] = taken.try_emplace(profile->name, u"“%1”"_qs.arg(file));
            if (isNew) {
                loaded.m_profiles.push_back(*profile);
                continue;
            }
            profile =
                failure(u"the name “%1” is taken by %2"_qs.arg(nameOf(*profile), where->second));
        }
        loaded.m_problems << u"The limit profile “%1” is left out: %2."_qs.arg(
            QDir::toNativeSeparators(path), QString::fromStdString(profile.error()));
    }
    // By name as people sort (letter case second), the built-in profile staying first.
    std::sort(loaded.m_profiles.begin() + 1, loaded.m_profiles.end(),
              [](const auto &a, const auto &b) {
                  const int byLetters = nameOf(a).compare(nameOf(b), Qt::CaseInsensitive);
                  return byLetters != 0 ? byLetters < 0 : a.name < b.name;
              });
    return loaded;
}

QStringList LimitProfiles::names() const
{
    QStringList list;
    for (const LimitProfile &profile : m_profiles)
        list << nameOf(profile);
    return list;
}

Result<LimitProfile> LimitProfiles::find(const QString &name) const
{
    const std::string wanted = name.toStdString();
    const auto found = std::ranges::find(m_profiles, wanted, &LimitProfile::name);
    if (found == m_profiles.end())
        return failure(u"There is no limit profile named “%1”; the profiles are %2."_qs.arg(
            name, quotedList(names())));
    return *found;
}
