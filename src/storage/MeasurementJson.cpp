#include "MeasurementJson.h"

std::vector<OrderedJson::Member> countMembers(const Measurement &m)
{
    return {{u"voltageKV"_qs, m.voltCount / 10.0},
            {u"energyJ"_qs, m.energyCount / 10.0},
            {u"intervalMs"_qs, m.intervalCount},
            {u"pulseWidthUs"_qs, m.pulseWidth},
            {u"loadOhms"_qs, m.loadOhms}};
}
