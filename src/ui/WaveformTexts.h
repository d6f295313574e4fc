#pragma once

#include "DataSets.h"
#include "LimitProfile.h"
#include "MeasurementRecord.h"

#include <QString>
#include <QStringList>

// The texts of the Waveform window, worked out from the data alone so that the window only shows
// them. Numbers use a decimal point whatever the locale, as every other view of the meter's data.
namespace WaveformTexts {

// "Data set 2 – meter VM-2000 SN-104233 – 2026-12-07_103105_SN-1.vmfetch": the data set, the
// meter's texts as the main window shows them ("meter not named" before it answered) and the
// name of the file or record opened, left out when there is none (after a fetch).
QString title(const ShownDataSet &shown, const QString &fileName);

// One line a measure from the samples (measurePulse), its value with its unit, or "none" and why
// not: "Rise time (10 % to 90 %): none (the pulse starts before the record)". The energy line
// puts the meter's own energy and the difference in % beside it; a cut-off pulse gets a line
// that says so.
QStringList measureLines(const Measurement &m);

// What sets the data set shown apart from its reference, this one less the reference: the peak
// voltage and energy as the meter measured them, the width at 50 % from the samples (or why
// either has none).
QStringList differenceLines(const Measurement &m, const Measurement &reference);

// The indicative limit check of the data sets of a fetch against `profile`: first the words
// LimitCheck::Caveat, then the profile's name, then one line a data set, "Data set 1 (shown):
// energy pass, interval pass, pulse width fail", or why it has no measurement. Verdicts are never
// given without the first line.
QStringList checkLines(const LimitProfile &profile, const DataSets &sets, int shownIndex);

} // namespace WaveformTexts
