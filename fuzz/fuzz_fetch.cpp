// Fuzz target: the replies of one fetch, as the main window takes them, down to the printed chart.
//
// Input: ten bytes holding five 16-bit reply lengths (low byte first), then the line: everything
// the meter sent during the fetch. The line is cut into the six replies of a fetch where the
// reply waits happened to end: the first five replies take their lengths (or what is left), the
// sixth takes the rest. This is what a meter that answers late, early, in pieces or with noise
// looks like to the program.
//
// The first two replies become the model and serial captions, the other four the raw data sets;
// each data set is then selected as the operator would, and a valid one is shown (labels), kept
// for the report (report values) and printed (the whole report page and its chart, onto a surface
// that only checks what it is given).

#include "FuzzCheck.h"
#include "RecordChecks.h"

#include "device/FetchSequence.h"
#include "measurement/DataSets.h"
#include "measurement/ReportValues.h"
#include "report/PrintedWaveform.h"
#include "report/ReportPage.h"
#include "ui/DrawingSurface.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace {

constexpr std::size_t HeaderSize = 10;
constexpr int ReplyCount = FetchSequence::StepCount;
constexpr int FirstRecordReply = 2;

// Draws nothing; checks that every coordinate and size it is given is a number, and counts what
// would be drawn.
class CheckingSurface : public DrawingSurface
{
public:
    int lines = 0;
    int boxes = 0;
    int texts = 0;

    void setLogicalSize(double width, double height) override
    {
        FUZZ_CHECK(width > 0 && height > 0);
    }
    void setTextColour(const QColor &colour) override { FUZZ_CHECK(colour.isValid()); }
    void setFontSize(double points) override { FUZZ_CHECK(points > 0 && std::isfinite(points)); }
    void setBold(bool) override {}
    void setCurrentX(double x) override { FUZZ_CHECK(std::isfinite(x)); }
    void setCurrentY(double y) override { FUZZ_CHECK(std::isfinite(y)); }
    void printText(const QString &) override { ++texts; }
    void drawLine(QPointF from, QPointF to, const QColor &colour) override
    {
        checkPoint(from);
        checkPoint(to);
        FUZZ_CHECK(colour.isValid());
        ++lines;
    }
    void drawBox(QPointF corner, QPointF oppositeCorner, const QColor &colour, Fill) override
    {
        checkPoint(corner);
        checkPoint(oppositeCorner);
        FUZZ_CHECK(colour.isValid());
        ++boxes;
    }
    void clear() override {}

private:
    static void checkPoint(QPointF p) { FUZZ_CHECK(std::isfinite(p.x()) && std::isfinite(p.y())); }
};

std::array<QByteArray, ReplyCount> splitReplies(const std::uint8_t *data, std::size_t size)
{
    std::array<std::size_t, ReplyCount - 1> lengths{};
    for (std::size_t i = 0; i < lengths.size(); ++i) {
        const std::size_t low = 2 * i < size ? data[2 * i] : 0;
        const std::size_t high = 2 * i + 1 < size ? data[2 * i + 1] : 0;
        lengths[i] = low + 256 * high;
    }
    const std::size_t header = size < HeaderSize ? size : HeaderSize;
    const char *line = reinterpret_cast<const char *>(data) + header;
    std::size_t left = size - header;

    std::array<QByteArray, ReplyCount> replies;
    for (std::size_t i = 0; i < lengths.size(); ++i) {
        const std::size_t n = lengths[i] < left ? lengths[i] : left;
        replies[i] = QByteArray(line, qsizetype(n));
        line += n;
        left -= n;
    }
    replies[ReplyCount - 1] = QByteArray(line, qsizetype(left));
    return replies;
}

// A caption is its prefix and then the reply from its third byte on, one character per byte.
void checkCaption(const QString &caption, const QString &prefix, const QByteArray &reply)
{
    FUZZ_CHECK(caption.startsWith(prefix));
    const qsizetype shown = reply.size() > 2 ? reply.size() - 2 : 0;
    FUZZ_CHECK(caption.size() == prefix.size() + shown);
    for (qsizetype i = 0; i < shown; ++i)
        FUZZ_CHECK(caption[prefix.size() + i].unicode() ==
                   static_cast<unsigned char>(reply[2 + i]));
}

// Prints the chart alone, then the whole page.
void print(const ReportValues &values)
{
    constexpr ReportPage::Box box;
    CheckingSurface chart;
    PrintedWaveform::PrnPlot(chart, values, box.top, box.left);
    FUZZ_CHECK(chart.boxes == 200);              // a mark per sample
    FUZZ_CHECK(chart.lines == 2 + 2 * 10 + 199); // axes, ticks, the trace between the marks
    FUZZ_CHECK(chart.texts == 4 + 10);           // captions, voltage labels

    CheckingSurface page;
    ReportPage::draw(
        page, {QStringLiteral("model"), QStringLiteral("serial"), QStringLiteral("date")}, values);
    FUZZ_CHECK(page.boxes == chart.boxes);
    FUZZ_CHECK(page.lines == chart.lines + 4); // and the frame box
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::array<QByteArray, ReplyCount> replies = splitReplies(data, size);

    const QString model = FetchSequence::modelCaption(replies[0]);
    const QString serial = FetchSequence::serialCaption(replies[1]);
    checkCaption(model, QStringLiteral("Model No.: "), replies[0]);
    checkCaption(serial, QStringLiteral("Serial No.: "), replies[1]);
    // The report keeps the captions as UTF-8 and prints them as they were shown.
    const std::string modelText = model.toStdString();
    const std::string serialText = serial.toStdString();
    FUZZ_CHECK(QString::fromStdString(modelText) == model);
    FUZZ_CHECK(QString::fromStdString(serialText) == serial);

    DataSets sets;
    for (int i = 0; i < DataSets::Count; ++i) {
        const QByteArray &reply = replies[std::size_t(FirstRecordReply + i)];
        sets.setRecord(i, reply.toStdString());
        FUZZ_CHECK(sets.record(i) ==
                   std::string_view(reply.constData(), std::size_t(reply.size())));
    }

    // Data set 1 is shown when the fetch ends, then the operator picks the others; a choice that
    // is no data set shows the current one again.
    for (const int index : {0, 1, 2, 3, -1, DataSets::Count}) {
        const std::optional<Measurement> m = sets.select(index);
        const std::string &current = sets.currentRecord();
        if (index >= 0 && index < DataSets::Count)
            FUZZ_CHECK(current == sets.record(index));
        FUZZ_CHECK(m == decodeRecord(current));
        if (RecordChecks::checkDecode(current, modelText, serialText))
            print(ReportValues::fromMeasurement(*m, modelText, serialText));
    }

    // A report printed before any data set was shown: empty value lines, a flat chart.
    if (size == 0)
        print(ReportValues{});
    return 0;
}
