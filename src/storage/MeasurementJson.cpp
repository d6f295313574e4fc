#include "MeasurementJson.h"

std::vector<OrderedJson::Member> countMembers(const Measurement &m)
{
    return {{u"voltageKV"_qs, m.voltCount / 10.0},
            {u"energyJ"_qs, m.energyCount / 10.0},
            {u"intervalMs"_qs, m.intervalCount},
            {u"pulseWidthUs"_qs, m.pulseWidth},
            {u"loadOhms"_qs, m.loadOhms}};
}

OrderedJson measuresJson(const PulseMeasures &measures)
{
    const auto number = [](const Measure &m) {
        return m.value ? OrderedJson(*m.value) : OrderedJson();
    };
    return OrderedJson::object({{u"peakTimeUs"_qs, number(measures.peakTimeUs)},
                                {u"riseTimeUs"_qs, number(measures.riseTimeUs)},
                                {u"widthAt50Us"_qs, number(measures.widthAt50Us)},
                                {u"peakCurrentA"_qs, number(measures.peakCurrentA)},
                                {u"energyFromSamplesJ"_qs, number(measures.energyFromSamplesJ)},
                                {u"cutOff"_qs, measures.cutOff}});
}

OrderedJson checkJson(const std::string &profile, const LimitCheck::Verdicts &verdicts)
{
    const auto text = [](LimitCheck::Verdict v) { return OrderedJson(LimitCheck::verdictText(v)); };
    return OrderedJson::object({{u"profile"_qs, QString::fromStdString(profile)},
                                {u"energy"_qs, text(verdicts.energy)},
                                {u"interval"_qs, text(verdicts.interval)},
                                {u"pulseWidth"_qs, text(verdicts.pulseWidth)}});
}
