// Fuzz target: everything the meter sends during one fetch, through the real fetch sequence, on
// to what is shown and printed.
//
// Input: ten bytes of five 16-bit reply lengths (low byte first), then the bytes the meter sent;
// the line is cut into the six replies at those lengths, the sixth taking the rest. A scripted
// line hands FetchSequence one reply per command; what it delivers goes into DataSets as the main
// window puts it there, and each data set is then shown and printed on a checking surface.

#include "DataSets.h"
#include "DrawingSurface.h"
#include "FetchSequence.h"
#include "PrintedWaveform.h"
#include "RecordChecks.h"
#include "ReportPage.h"
#include "ScriptedMeter.h"

#include <QCoreApplication>

#include <cmath>

namespace {

constexpr std::size_t HeaderSize = 10;

// Draws nothing; checks that every coordinate and size it is given is a number, and counts what
// would be drawn.
class CheckingSurface : public DrawingSurface
{
public:
    int lines = 0, boxes = 0, texts = 0;

    void setLogicalSize(double width, double height) override { check(width > 0 && height > 0); }
    void setTextColour(const QColor &colour) override { check(colour.isValid()); }
    void setFontSize(double points) override { check(points > 0 && std::isfinite(points)); }
    void setBold(bool) override {}
    void setCurrentX(double x) override { check(std::isfinite(x)); }
    void setCurrentY(double y) override { check(std::isfinite(y)); }
    void printText(const QString &) override { ++texts; }
    void drawLine(QPointF from, QPointF to, const QColor &) override { lines += finite(from, to); }
    void drawBox(QPointF a, QPointF b, const QColor &, Fill) override { boxes += finite(a, b); }
    void clear() override {}

private:
    static void check(bool ok) { FUZZ_CHECK(ok); }
    static bool finite(QPointF a, QPointF b)
    {
        FUZZ_CHECK(std::isfinite(a.x() + a.y() + b.x() + b.y()));
        return true;
    }
};

QList<QByteArray> splitReplies(const std::uint8_t *data, std::size_t size)
{
    const std::size_t header = std::min(size, HeaderSize);
    const auto *line = reinterpret_cast<const char *>(data) + header;
    std::size_t left = size - header;
    QList<QByteArray> replies;
    for (std::size_t i = 0; i < FetchSequence::StepCount; ++i) {
        const std::size_t low = 2 * i < header ? data[2 * i] : 0;
        const std::size_t length = low + (2 * i + 1 < header ? 256 * data[2 * i + 1] : 0);
        const std::size_t n = i + 1 < FetchSequence::StepCount ? std::min(length, left) : left;
        replies.append(QByteArray(line, qsizetype(n)));
        line += n;
        left -= n;
    }
    return replies;
}

// The chart alone, then the whole page.
void print(const ReportValues &values)
{
    constexpr ReportPage::Box box;
    CheckingSurface chart, page;
    PrintedWaveform::PrnPlot(chart, values, box.top, box.left);
    FUZZ_CHECK(chart.boxes == 200 && chart.lines == 2 + 2 * 10 + 199 && chart.texts == 4 + 10);
    ReportPage::draw(page, {u"model"_qs, u"serial"_qs, u"date"_qs}, values);
    FUZZ_CHECK(page.boxes == chart.boxes && page.lines == chart.lines + 4);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv); // the reply timer needs an event loop
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *bytes, std::size_t size)
{
    const QList<QByteArray> replies = splitReplies(bytes, size);
    ScriptedMeter line(replies);
    FetchSequence fetch(&line, std::chrono::milliseconds(0));
    DataSets data;
    int finished = 0;
    QObject::connect(&fetch, &FetchSequence::modelReplyReceived,
                     [&](const QByteArray &r) { data.setModelReply(r.toStdString()); });
    QObject::connect(&fetch, &FetchSequence::serialReplyReceived,
                     [&](const QByteArray &r) { data.setSerialReply(r.toStdString()); });
    QObject::connect(&fetch, &FetchSequence::recordReceived,
                     [&](int i, const QByteArray &r) { data.setRecord(i, r.toStdString()); });
    QObject::connect(&fetch, &FetchSequence::finished, [&] { ++finished; });
    FUZZ_CHECK(fetch.start());
    while (fetch.isRunning())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    FUZZ_CHECK(finished == 1 && line.written == "?M\r?S\r?1\r?2\r?3\r?4\r");

    // Every reply whole; the captions are their prefix and each byte from the third on.
    FUZZ_CHECK(*data.modelReply() == replies[0].toStdString());
    FUZZ_CHECK(*data.serialReply() == replies[1].toStdString());
    FUZZ_CHECK(QString::fromStdString(ValueTexts::modelCaption(data.modelReply())) ==
               u"Model No.: "_qs + QString::fromLatin1(replies[0].mid(2)));
    for (int i = 0; i < DataSets::Count; ++i)
        FUZZ_CHECK(data.record(i) == replies[2 + i].toStdString());

    // Data set 1 is shown when the fetch ends, then the operator picks the others; a choice that
    // is no data set shows the current one again.
    std::string current;
    int currentIndex = 0;
    for (const int index : {0, 1, 2, 3, -1, DataSets::Count}) {
        if (index >= 0 && index < DataSets::Count) {
            current = data.record(index);
            currentIndex = index;
        }
        const std::optional<Measurement> m = RecordChecks::checkDecode(current);
        FUZZ_CHECK(data.show(index) == m.has_value());
        if (m) {
            FUZZ_CHECK(*data.shown() ==
                       (ShownDataSet{currentIndex, *m, data.modelReply(), data.serialReply()}));
            print(ReportValues::of(data.shown()));
        }
    }
    if (size == 0) // a report printed before any data set was shown: empty lines, a flat chart
        print(ReportValues{});
    return 0;
}
