#pragma once

#include <QtTest>

// Output checked against a reviewed copy in tests/data/ (VOLTRANE_UPDATE_GOLDEN=1 writes the
// copies instead: review them before committing; a PNG can be looked at).
#define QCOMPARE_GOLDEN(file, lines) QCOMPARE(lines, golden(file, lines))
inline const QString GoldenFolder = VOLTRANE_TEST_DATA "/";

template <typename T> T golden(const QString &name, const T &actual)
{
    QFile file(GoldenFolder + name);
    if constexpr (std::is_same_v<T, QStringList>) {
        if (qgetenv("VOLTRANE_UPDATE_GOLDEN") == "1" && file.open(QIODevice::WriteOnly))
            file.write((actual.join('\n') + '\n').toUtf8()), file.close();
        return file.open(QIODevice::ReadOnly) ? QString(file.readAll()).chopped(1).split('\n')
                                              : T();
    } else {
        if (qgetenv("VOLTRANE_UPDATE_GOLDEN") == "1")
            actual.save(file.fileName());
        return T(file.fileName()).convertToFormat(actual.format());
    }
}
