#include "WaveformPlot.h"

#include "DrawingSurface.h"
#include "RetainedCanvas.h"
#include "ValueTexts.h"

#include <QCoreApplication>

namespace WaveformPlot {

namespace {
const QColor White(255, 255, 255);
const QColor Cyan(0, 255, 255);
const QColor Yellow(255, 255, 0);

QString tr(const char *text)
{
    return QCoreApplication::translate("WaveformPlot", text);
}
} // namespace

void placeAxisLines(RetainedCanvas &pic)
{
    pic.setXAxis({.x1 = 1500, .y1 = 9000, .x2 = 11500, .y2 = 9000, .colour = White});
    pic.setYAxis({.x1 = 1500, .y1 = 1000, .x2 = 1500, .y2 = 11500, .colour = White});
}

void drawAxisCaptions(DrawingSurface &surface)
{
    surface.setLogicalSize(AreaSize, AreaSize);
    surface.setTextColour(Cyan);
    surface.setCurrentX(10000);
    surface.setCurrentY(9500);
    surface.printText(QStringLiteral("Time (µs)"));
    surface.setCurrentX(500);
    surface.setCurrentY(450);
    surface.printText(QStringLiteral("Volts"));
}

void prepareWaveformArea(RetainedCanvas &pic)
{
    // The axis lines are kept in logical units, so the scale that drawAxisCaptions() sets applies
    // to them too.
    placeAxisLines(pic);
    drawAxisCaptions(pic);
}

void plotSamples(DrawingSurface &surface, const Measurement::Samples &samples)
{
    for (int i = 1; i <= Measurement::SampleCount; ++i) {
        // In int: a sample outside 0..255 must not wrap around.
        const int x = 1500 + 50 * i;
        const int y = 9000 - (int{samples[i]} - Measurement::ZeroLine) * 62;
        surface.drawBox(QPointF(x - 20, y - 15), QPointF(x + 20, y + 15), Yellow,
                        DrawingSurface::Fill::Filled);
    }
}

void printNote(DrawingSurface &surface, const QString &note)
{
    surface.setTextColour(White);
    surface.setCurrentX(1700);
    surface.setCurrentY(4000);
    surface.printText(note);
}

QString description(const std::optional<ShownDataSet> &shown, const QString &note)
{
    if (shown)
        return tr("Waveform of data set %1, peak voltage %2 kV: %3 samples, volts against time in "
                  "µs.")
            .arg(shown->index + 1)
            .arg(QString::fromStdString(ValueTexts::tenthsText(shown->measurement.voltCount)))
            .arg(Measurement::SampleCount);
    if (!note.isEmpty())
        return tr("No data set shown: %1.").arg(note);
    return tr("No data shown yet: fetch the data sets from the meter, or open a saved fetch.");
}

} // namespace WaveformPlot
