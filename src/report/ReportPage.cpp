#include "ReportPage.h"

#include "DrawingSurface.h"
#include "PrintedWaveform.h"
#include "ReportValues.h"

#include <QColor>
#include <QLocale>
#include <QPointF>

namespace ReportPage {

namespace {

const QColor Black(0, 0, 0);

// Texts go where their top-left corner is set; x before y.
void printAt(DrawingSurface &page, int x, int y, const QString &text)
{
    page.setCurrentX(x);
    page.setCurrentY(y);
    page.printText(text);
}

// A detail that does not fit before `right` (where the next item begins, or the page's edge) is
// cut with "…", so that it never runs over that item or off the page.
void printFitted(DrawingSurface &page, int x, int y, const QString &text, int right)
{
    constexpr double Gap = 100; // between the cut text and the next item
    const double room = right - x - Gap;
    if (page.textSize(text).width() <= room) {
        printAt(page, x, y, text);
        return;
    }
    qsizetype fits = 0; // the longest beginning that fits with the "…"
    for (qsizetype low = 1, high = text.size() - 1; low <= high;) {
        const qsizetype middle = (low + high) / 2;
        if (page.textSize(text.first(middle) + u'…').width() <= room)
            fits = middle, low = middle + 1;
        else
            high = middle - 1;
    }
    // Never between the two halves of a character beyond 16 bits.
    if (fits > 0 && text[fits - 1].isHighSurrogate())
        --fits;
    printAt(page, x, y, text.first(fits) + u'…');
}

} // namespace

void draw(DrawingSurface &page, const ReportDetails &details, const ReportValues &values)
{
    page.setLogicalSize(LogicalWidth, LogicalHeight);
    constexpr Box box;

    // Every text of the page is bold; the chart switches bold off for its own texts at the end.
    // The text colour is left at the printer's black.
    page.setBold(true);
    page.setFontSize(20);
    printAt(page, 2500, box.top - 2000, QStringLiteral("VOLTRANE ANALYZER"));
    printAt(page, 5400, box.top - 1500, QStringLiteral("TEST REPORT"));

    // The details as the operator typed them, untrimmed.
    const QString modelLine = QStringLiteral("Energizer Model No. : ") + details.model;
    const QString serialLine = QStringLiteral("Energizer Serial No. : ") + details.serial;
    const QString dateLine = QStringLiteral("Date : ") + details.date;

    page.setFontSize(12);
    constexpr int DateX = 10500;
    printFitted(page, 1100, box.top - 900, modelLine, DateX);
    printFitted(page, 1100, box.top - 500, serialLine, int(LogicalWidth));
    printFitted(page, DateX, box.top - 900, dateLine, int(LogicalWidth));

    // The frame box, clockwise from its top-left corner.
    const QPointF topLeft(box.left, box.top);
    const QPointF topRight(box.right, box.top);
    const QPointF bottomRight(box.right, box.bottom);
    const QPointF bottomLeft(box.left, box.bottom);
    page.drawLine(topLeft, topRight, Black);
    page.drawLine(topRight, bottomRight, Black);
    page.drawLine(bottomRight, bottomLeft, Black);
    page.drawLine(bottomLeft, topLeft, Black);

    // Under the box: the values of the data set shown last on the left, the meter that measured
    // it on the right, as they stand (empty before any data set was shown); then the vendor line
    // and the sign-off captions near the foot.
    page.setFontSize(12);
    printAt(page, 1100, box.bottom + 500, QString::fromStdString(values.PrnVoltage));
    printAt(page, 1100, box.bottom + 900, QString::fromStdString(values.PrnEnergy));
    printAt(page, 1100, box.bottom + 1300, QString::fromStdString(values.PrnInterval));
    printAt(page, 1100, box.bottom + 1700, QString::fromStdString(values.PrnPulseWidth));
    printAt(page, 1100, box.bottom + 2100, QString::fromStdString(values.PrnLoad));
    printFitted(page, 9000, box.bottom + 500, QString::fromStdString(values.PrnModel),
                int(LogicalWidth));
    printFitted(page, 9000, box.bottom + 900, QString::fromStdString(values.PrnSerial),
                int(LogicalWidth));
    printAt(page, 1100, box.bottom + 4500, QStringLiteral("Quillmarsh"));
    printAt(page, 9000, box.bottom + 4500, QStringLiteral("Signature:"));
    printAt(page, 9000, box.bottom + 4000, QStringLiteral("Checked:"));
    // The limit check, when asked for: in the free band between the load and "Checked:".
    if (!details.limitCheck.isEmpty()) {
        page.setBold(false);
        page.setFontSize(10);
        for (qsizetype i = 0; i < details.limitCheck.size() && i < 2; ++i)
            printFitted(page, 1100, box.bottom + 2700 + 400 * int(i), details.limitCheck[i],
                        int(LogicalWidth));
    }

    PrintedWaveform::PrnPlot(page, values, box.top, box.left);
}

QStringList limitCheckLines(const LimitProfile &profile, const LimitCheck::Verdicts &verdicts)
{
    const auto verdict = [](LimitCheck::Verdict v) {
        return QLatin1String(LimitCheck::verdictText(v));
    };
    return {QStringLiteral("Limit check (%1): energy %2, interval %3, pulse width %4")
                .arg(QString::fromStdString(profile.name), verdict(verdicts.energy),
                     verdict(verdicts.interval), verdict(verdicts.pulseWidth)),
            QLatin1String(LimitCheck::Caveat) + u'.'};
}

QString dateSeparator(const QString &shortDateFormat)
{
    // The first character between two date fields that is not a field letter or a quote.
    bool afterField = false;
    for (const QChar c : shortDateFormat) {
        if (c == u'd' || c == u'M' || c == u'y') {
            afterField = true;
        } else if (afterField && c != u'\'' && !c.isSpace()) {
            return QString(c);
        }
    }
    return QStringLiteral("/");
}

QString dateText(QDate date)
{
    const QString separator = dateSeparator(QLocale::system().dateFormat(QLocale::ShortFormat));
    const auto twoDigits = [](int n) {
        return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
    };
    return twoDigits(date.day()) + separator + twoDigits(date.month()) + separator +
           twoDigits(date.year() % 100);
}

} // namespace ReportPage
