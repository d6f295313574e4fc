#pragma once

#include "LimitProfile.h"
#include "Result.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

// The limit profiles the indicative check can use: the built-in one, and one more for each valid
// file in the profiles folder. A profile file is a JSON object with exactly six entries:
//
//   {"name": "Dairy farm, dry ground", "energyMaxJ": 4.5, "intervalMinMs": 1200,
//    "pulseWidthMaxUs": 8000, "loadMinOhms": 100, "loadMaxOhms": 500}
//
// with the rules of validLimits(). The files are only ever read.
class LimitProfiles
{
public:
    // A profile file is small; anything larger is not one and is not read.
    static constexpr qint64 MaxFileBytes = 64 * 1024;

    // <AppFolders::config()>/profiles (not created here).
    static QString folder();

    // The built-in profile first, then the profiles of the files in `folder` whose names end in
    // ".json", sorted by profile name. Each such file that is not a valid profile, or whose
    // profile's name an earlier file (in file-name order) or the built-in profile already has, is
    // left out with one message in problems(). A folder that does not exist holds no profiles.
    static LimitProfiles load(const QString &folder = LimitProfiles::folder());

    const std::vector<LimitProfile> &all() const { return m_profiles; }
    QStringList names() const;
    // One line per file left out: "The limit profile “/…/profiles/farm.json” is left out: the
    // entry “energyMaxJ” is missing."
    const QStringList &problems() const { return m_problems; }

    // The profile of exactly this name; or, for a command line that lists them: "There is no
    // limit profile named “X”; the profiles are “Energizer safety limits (indicative)”, “Y”."
    Result<LimitProfile> find(const QString &name) const;

    // One file's bytes as a profile; or what is wrong with them, without the file's name: "it is
    // not JSON text (…)", "it is not one JSON object", "the entry “name” is missing", "the entry
    // “energyMaxJ” is not a number", "it has an entry “x”, which a limit profile does not have",
    // or what validLimits() says.
    static Result<LimitProfile> fromJson(const QByteArray &bytes);

private:
    std::vector<LimitProfile> m_profiles;
    QStringList m_problems;
};
