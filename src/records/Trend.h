#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// One record of an energizer's trend.
struct TrendPoint
{
    QString id;
    QDateTime recorded;
    int voltCount = 0;   // tenths of a kV
    int energyCount = 0; // tenths of a J

    friend bool operator==(const TrendPoint &, const TrendPoint &) = default;
};

// An energizer's peak voltage over its test records, against its first record (the baseline). A
// reading more than 2.0 kV below the baseline warns: an energizer losing its output.
struct Trend
{
    // The largest drop, in the meter's tenths of a kV, that does not warn.
    static constexpr int AllowedDropTenths = 20;

    QString energizerSerial;
    QList<TrendPoint> points;           // oldest first
    std::optional<TrendPoint> baseline; // the first record; none without records
    int changeTenths = 0;               // latest − baseline, tenths of a kV: negative when lower
    bool warning = false;               // the latest is more than 2.0 kV below the baseline

    // The trend of `points`, oldest first.
    static Trend of(const QString &energizerSerial, QList<TrendPoint> points)
    {
        Trend trend;
        trend.energizerSerial = energizerSerial;
        trend.points = std::move(points);
        if (!trend.points.isEmpty()) {
            trend.baseline = trend.points.first();
            trend.changeTenths = trend.points.last().voltCount - trend.baseline->voltCount;
            trend.warning = -trend.changeTenths > AllowedDropTenths;
        }
        return trend;
    }
};
