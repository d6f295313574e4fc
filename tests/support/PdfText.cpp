#include "PdfText.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <algorithm>

namespace PdfText {

bool popplerInstalled()
{
    return std::ranges::all_of(
        QStringList{"pdftotext", "pdffonts", "pdftoppm", "pdftops"},
        [](const QString &t) { return !QStandardPaths::findExecutable(t).isEmpty(); });
}

std::optional<QByteArray> run(const QString &tool, const QStringList &arguments)
{
    QProcess process;
    process.setEnvironment(QProcess::systemEnvironment() << u"LC_ALL=C"_qs); // the later one wins
    process.start(QStandardPaths::findExecutable(tool), arguments);
    if (process.waitForFinished(60'000) && process.exitStatus() == QProcess::NormalExit &&
        process.exitCode() == 0)
        return process.readAllStandardOutput();
    process.kill();
    qWarning().noquote() << tool << arguments.join(u' ')
                         << "failed:" << process.readAllStandardError();
    return std::nullopt;
}

std::optional<Document> read(const QString &pdf)
{
    const auto html = run(u"pdftotext"_qs, {"-bbox", "-enc", "UTF-8", pdf, "-"});
    if (!html)
        return std::nullopt;
    static const QRegularExpression tag(uR"re(<(page|word) ([^>]*)>(?:(.*?)</word>)?)re"_qs);
    static const QRegularExpression number(uR"re("([-\d.]+)")re"_qs);
    Document document;
    for (const QRegularExpressionMatch &m : tag.globalMatch(QString::fromUtf8(*html))) {
        QList<double> n; // width and height, or xMin, yMin, xMax and yMax
        for (const QRegularExpressionMatch &v : number.globalMatch(m.captured(2)))
            n.append(v.captured(1).toDouble());
        if (m.captured(1) == u"page" && n.size() == 2)
            document.pages.append(QSizeF(n[0], n[1]));
        else if (n.size() == 4) // our texts hold no characters that would come out escaped
            document.words.append(
                {m.captured(3), QRectF(QPointF(n[0], n[1]), QPointF(n[2], n[3]))});
    }
    return document;
}

std::optional<QRectF> find(const QList<Word> &words, const QString &text, QPointF near)
{
    const QStringList parts = text.split(u' ', Qt::SkipEmptyParts);
    std::optional<QRectF> best;
    double bestDistance = qInf();
    for (qsizetype f = 0; f + parts.size() <= words.size() && !parts.isEmpty(); ++f) {
        QRectF box = words.at(f).box;
        qsizetype p = 0;
        for (; p < parts.size(); ++p) {
            const QRectF &next = words.at(f + p).box;
            if (words.at(f + p).text != parts.at(p) ||
                (p > 0 && (qAbs(next.top() - box.top()) >= 0.5 ||
                           next.left() - box.right() >= box.height()))) // not on the line, or far
                break;
            box = box.united(next);
        }
        const double distance = QLineF(words.at(f).box.topLeft(), near).length();
        if (p == parts.size() && distance < bestDistance) {
            best = box;
            bestDistance = distance;
        }
    }
    return best;
}

QString describe(const QList<Word> &words)
{
    QStringList list;
    for (const Word &w : words)
        list.append(u"%1 at (%2, %3)"_qs.arg(w.text).arg(w.box.left()).arg(w.box.top()));
    return list.join(u"; "_qs);
}

QImage render(const QString &pdf, int dpi)
{
    const QString prefix = pdf + u"-page1"_qs;
    return run(u"pdftoppm"_qs, {"-png", "-r", QString::number(dpi), "-singlefile", pdf, prefix})
               ? QImage(prefix + u".png"_qs).convertToFormat(QImage::Format_RGB32)
               : QImage();
}

} // namespace PdfText
