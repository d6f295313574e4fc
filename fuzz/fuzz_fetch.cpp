// Fuzz target: everything the meter sends during one fetch, through the real meter session (and
// its fetch sequence) on a scripted line, as the window and the command line fetch, then each
// data set shown and printed. The input: five 16-bit reply lengths (low byte first), then the
// bytes of the six replies.
#include "DrawingSurface.h"
#include "FetchSequence.h"
#include "MeterSession.h"
#include "RecordChecks.h"
#include "ReportPage.h"
#include "ScriptedLine.h"

#include <QCoreApplication>

#include <algorithm>

namespace {
// Draws nothing; checks that every coordinate is a number, and counts the marks, lines and texts.
struct CheckingSurface : DrawingSurface
{
    int boxes = 0, lines = 0, texts = 0;
    void setLogicalSize(double, double) override {}
    void setTextColour(const QColor &) override {}
    void setFontSize(double) override {}
    void setBold(bool) override {}
    void setCurrentX(double x) override { FUZZ_CHECK(std::isfinite(x)); }
    void setCurrentY(double y) override { FUZZ_CHECK(std::isfinite(y)); }
    void printText(const QString &) override { ++texts; }
    QSizeF textSize(const QString &text) const override { return {100.0 * text.size(), 200}; }
    void drawLine(QPointF a, QPointF b, const QColor &) override { lines += finite(a, b); }
    void drawBox(QPointF a, QPointF b, const QColor &, Fill) override { boxes += finite(a, b); }
    void clear() override {}
    static bool finite(QPointF a, QPointF b)
    {
        return std::isfinite(a.x() + a.y() + b.x() + b.y());
    }
};
// The whole page: 200 sample marks, the frame, axes, ticks and trace, and every text.
void print(const ReportValues &values)
{
    CheckingSurface page;
    ReportPage::draw(page, {u"model"_qs, u"serial"_qs, u"date"_qs}, values);
    FUZZ_CHECK(page.boxes == 200 && page.lines == 4 + 2 + 2 * 10 + 199 && page.texts == 15 + 14);
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv); // the reply timer needs an event loop
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *bytes, std::size_t size)
{
    QList<QByteArray> replies;
    const std::size_t header = std::min<std::size_t>(size, 10);
    for (std::size_t i = 0, at = header; i < 6; ++i) {
        const std::size_t length =
            (2 * i < header ? bytes[2 * i] : 0) + (2 * i + 1 < header ? 256 * bytes[2 * i + 1] : 0);
        const std::size_t n = i < 5 ? std::min(length, size - at) : size - at;
        replies << QByteArray(reinterpret_cast<const char *>(bytes) + at, qsizetype(n));
        at += n;
    }
    ScriptedLine line(replies);
    // The fetch stops at a reply that starts as an earlier one ("?M" for "?S"); each keeps 1024 B.
    int steps = 1;
    while (steps < 6 && !(replies[steps].size() > 1 && replies[steps][0] == '?' &&
                          QByteArray("MS1234").first(steps).contains(replies[steps][1])))
        ++steps;
    for (int i = 0; i < 6; ++i)
        replies[i] = i < steps ? replies[i].left(FetchSequence::MaxReplyLength) : "";
    MeterSession session(line, {.program = u"voltrane-meter fuzz"_qs,
                                .keepHistory = false,
                                .replyWait = std::chrono::milliseconds(0)});
    FUZZ_CHECK(session.openPort({1, u"/dev/ttyS0"_qs}).ok());
    bool ended = false;
    QObject::connect(&session, &MeterSession::fetchEnded, [&] { ended = true; });
    FUZZ_CHECK(session.startFetch());
    while (!ended)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    // The commands up to the stop; every reply whole; the caption its prefix and then the reply
    // from the third byte on as plain text: no control character (those read as \xHH).
    const FetchRecord &fetch = session.fetch();
    FUZZ_CHECK(line.meter.written ==
                   QByteArray("?M\r?S\r?1\r?2\r?3\r?4\r").first(std::min(3 * steps + 3, 18)) &&
               fetch.serialReply.value_or("") == replies[1] && fetch.complete == (steps == 6));
    const QString caption = QString::fromStdString(ValueTexts::modelCaption(session.modelReply()));
    FUZZ_CHECK(caption.startsWith(u"Model No.: "_qs) &&
               std::ranges::none_of(caption, [](QChar c) { return c.unicode() < 0x20; }) &&
               caption.size() >= 11 + std::max<qsizetype>(replies[0].size() - 4, 0));
    // Every record kept whole; each data set shown as the operator picks it: exactly the valid
    // ones, with the meter's replies of the fetch; then printed.
    for (int i = 0; i < DataSets::Count; ++i) {
        const QByteArray record = fetch.records[i].value_or("");
        const std::optional<Measurement> m = RecordChecks::checkDecode(record.toStdString());
        session.show(i);
        FUZZ_CHECK(record == replies[2 + i] && session.shown().has_value() == m.has_value() &&
                   (!m || *session.shown() ==
                              ShownDataSet{i, *m, session.modelReply(), session.serialReply()}));
        if (m)
            print(ReportValues::of(session.shown()));
    }
    return 0;
}
