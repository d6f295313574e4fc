#pragma once

#include "LimitCheck.h"
#include "LimitProfile.h"

#include <QDate>
#include <QString>
#include <QStringList>

class DrawingSurface;
struct ReportValues;

// What the operator types into the print dialog, printed as typed.
struct ReportDetails
{
    QString model;  // the energizer's model number
    QString serial; // the energizer's serial number
    QString date;
    // When the operator asks for it, the indicative limit check: its two lines, "Limit check
    // (<profile>): energy pass, interval pass, pulse width n/a" and its caveat; none otherwise.
    QStringList limitCheck{};
};

// The one-page A4 test report. The page is drawn in logical units, 14000 across and 20000 down
// over the printable area; texts are bold, at 20 points for the heading and 12 for the rest.
namespace ReportPage {

inline constexpr double LogicalWidth = 14000;
inline constexpr double LogicalHeight = 20000;

// The frame box that holds the chart.
struct Box
{
    int top = 3000;
    int left = 1000;
    int bottom = 14000;
    int right = 13000;
};

// Draws the whole page on `page`: logical size, heading, the three detail lines, the frame box,
// the value lines of the data set shown last, the vendor line and the sign-off captions, then
// the chart. A detail line, or the meter's model or serial line, too long for its place is cut
// with "…" where the next item begins (the model line before the date at x 10500, the others at
// the page's edge). Page set-up (paper) and ending the document are the caller's.
void draw(DrawingSurface &page, const ReportDetails &details, const ReportValues &values);

// The two lines of the indicative limit check on the page: "Limit check (<profile name>): energy
// <verdict>, interval <verdict>, pulse width <verdict>" and "Indicative check, not a type test.".
QStringList limitCheckLines(const LimitProfile &profile, const LimitCheck::Verdicts &verdicts);

// A date as the report's date line shows it, "dd/mm/yy", with the separator of the operator's
// regional settings.
QString dateText(QDate date);
// The separator of a short date format ("dd.MM.yy" gives "."); a slash where none is found.
QString dateSeparator(const QString &shortDateFormat);

} // namespace ReportPage
