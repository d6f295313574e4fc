#pragma once

#include <QtCore>

#include <optional>

// Printed PDF files read back with poppler-utils; places in points from the paper's top-left.
namespace PdfText {

// A tool's standard output, run with untranslated messages; nothing on failure.
inline std::optional<QByteArray> run(const QString &tool, const QStringList &arguments)
{
    QProcess p;
    p.setEnvironment(QProcess::systemEnvironment() << "LC_ALL=C");
    p.start(QStandardPaths::findExecutable(tool), arguments);
    const bool ok =
        p.waitForFinished(60'000) && p.exitStatus() == QProcess::NormalExit && !p.exitCode();
    return ok ? std::optional(p.readAllStandardOutput()) : std::nullopt;
}

// The pages' sizes and the words of a PDF as pdftotext -bbox gives them: each from its font's
// ascent line to its descent line.
struct Document
{
    QList<QSizeF> pages;
    QList<std::pair<QString, QRectF>> words;
};
inline Document read(const QString &pdf)
{
    Document d;
    static const QRegularExpression tag(R"re(<(?:page|word) ([^>]*)>(?:(.*?)</word>)?)re"),
        number(R"re("([-\d.]+)")re");
    for (const auto &m : tag.globalMatch(QString::fromUtf8(
             run("pdftotext", {"-bbox", "-enc", "UTF-8", pdf, "-"}).value_or("")))) {
        QList<double> n; // width and height, or xMin, yMin, xMax, yMax
        for (const auto &v : number.globalMatch(m.captured(1)))
            n << v.captured(1).toDouble();
        if (n.size() == 2)
            d.pages << QSizeF(n[0], n[1]);
        else
            d.words << std::pair(m.captured(2), QRectF(QPointF(n[0], n[1]), QPointF(n[2], n[3])));
    }
    return d;
}

} // namespace PdfText
