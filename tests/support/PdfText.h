#pragma once

#include <QImage>
#include <QRectF>
#include <QStringList>

#include <optional>

// Printed PDF files read back with poppler-utils; places in points from the paper's top-left.
namespace PdfText {

// Whether pdftotext, pdffonts, pdftoppm and pdftops (Debian: poppler-utils) are installed.
bool popplerInstalled();
// A tool's standard output, run with untranslated messages; nothing (and a warning) on failure.
std::optional<QByteArray> run(const QString &tool, const QStringList &arguments);

// A word as pdftotext -bbox gives it, from the font's ascent line to its descent line.
struct Word
{
    QString text;
    QRectF box;
};
struct Document
{
    QList<QSizeF> pages;
    QList<Word> words;
};
std::optional<Document> read(const QString &pdf);

// The box around the words of `text`, found in a row on one line, the first nearest to `near`.
std::optional<QRectF> find(const QList<Word> &words, const QString &text, QPointF near);
QString describe(const QList<Word> &words);
// The first page rendered by pdftoppm at `dpi` dots per inch; null when that failed.
QImage render(const QString &pdf, int dpi);

} // namespace PdfText
