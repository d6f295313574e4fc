#include "ReportPrinter.h"

#include "FileSave.h"
#include "PrinterSurface.h"
#include "ReportPage.h"

#include <QBuffer>
#include <QObject>
#include <QPainter>
#include <QPdfWriter>

namespace ReportPrinter {

QPageLayout pageLayout()
{
    // Qt's PDF printer keeps 10 points clear on every side.
    return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(10, 10, 10, 10),
                       QPageLayout::Point);
}

namespace {
// The document's XMP metadata: its title, its maker and the operator's details whole.
QByteArray xmpMetadata(const ReportDetails &details)
{
    const auto escaped = [](const QString &text) { return text.toHtmlEscaped().toUtf8(); };
    const QString description = QStringLiteral("Energizer Model No. : %1; Energizer Serial No. : "
                                               "%2; Date : %3")
                                    .arg(details.model, details.serial, details.date);
    return "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?>\n"
           "<x:xmpmeta xmlns:x='adobe:ns:meta/'>\n"
           "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>\n"
           "<rdf:Description rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/' "
           "xmlns:xmp='http://ns.adobe.com/xap/1.0/'>\n"
           "<dc:title><rdf:Alt><rdf:li xml:lang='x-default'>" +
           escaped(QString::fromLatin1(DocumentTitle)) +
           "</rdf:li></rdf:Alt></dc:title>\n"
           "<dc:description><rdf:Alt><rdf:li xml:lang='x-default'>" +
           escaped(description) +
           "</rdf:li></rdf:Alt></dc:description>\n"
           "<xmp:CreatorTool>Voltrane Meter " VOLTRANE_VERSION "</xmp:CreatorTool>\n"
           "</rdf:Description>\n</rdf:RDF>\n</x:xmpmeta>\n<?xpacket end='w'?>";
}
} // namespace

QByteArray pdf(const ReportDetails &details, const ReportValues &values)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setResolution(1200); // what a high-resolution PDF printer draws at
        writer.setPageLayout(pageLayout());
        writer.setTitle(QString::fromLatin1(DocumentTitle));
        writer.setCreator(QStringLiteral("Voltrane Meter " VOLTRANE_VERSION));
        // The page may cut a long detail; the document's description keeps them whole.
        writer.setDocumentXmpMetadata(xmpMetadata(details));
        QPainter painter(&writer);
        PrinterSurface page(painter);
        ReportPage::draw(page, details, values);
    } // the painter ends the page and the writer finishes the file here
    return bytes;
}

Result<> writePdf(const QString &fileName, const ReportDetails &details, const ReportValues &values)
{
    if (const Result<> written = FileSave::write(fileName, pdf(details, values)); !written)
        return failure(
            QObject::tr("The report could not be saved as \"%1\". %2. Choose another folder.")
                .arg(fileName, QString::fromStdString(written.error())));
    return {};
}

QString fileName(const QString &model, QDate date)
{
    // Cut, so that any name fits a file system's 255 bytes.
    constexpr int MostModelCharacters = 64;
    QString safe;
    for (const char32_t c : model.toUcs4().mid(0, MostModelCharacters)) // one '_' for each
        safe += (c < 0x80 && (QChar::isLetterOrNumber(c) || c == '.' || c == '_' || c == '-'))
                    ? QChar(c)
                    : QChar('_');
    return QStringLiteral("test-report_%1_%2.pdf")
        .arg(model.isEmpty() ? QStringLiteral("energizer") : safe, date.toString(Qt::ISODate));
}

} // namespace ReportPrinter
