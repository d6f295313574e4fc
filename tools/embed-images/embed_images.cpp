// Writes a C++ source that holds pictures as pixels, for the pictures the first window paints:
// reading a PNG at start, Qt first lists its image-format plugins, opening each plugin's file.
//
//   voltrane-embed-images OUT.cpp NAME=FILE...
//
// Each FILE (a PNG, or a picture in Qt's own resources such as
// ":/qt-project.org/styles/commonstyle/images/fusion_groupbox.png") becomes
// `const CompiledPicture CompiledPictures::NAME`, as CompiledPictures.h declares: 32-bit ARGB, or
// 32-bit RGB for a picture without transparency (drawn as a plain copy).
#include <QFileInfo>
#include <QImage>
#include <QSaveFile>
#include <QStyle>
#include <QTextStream>

#include <cstdio>

int main(int argc, char *argv[])
{
    // Qt's own pictures are resources of Qt Widgets, registered when the library is loaded.
    (void)QStyle::staticMetaObject.className();
    if (argc < 3) {
        std::fputs("usage: voltrane-embed-images OUT.cpp NAME=FILE...\n", stderr);
        return 2;
    }
    QString source;
    QTextStream out(&source);
    out << "// Made by voltrane-embed-images from the pictures it names; not edited by hand.\n"
           "#include \"CompiledPictures.h\"\n\nnamespace {\n";
    QStringList definitions;
    for (int i = 2; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        const qsizetype equals = argument.indexOf(QLatin1Char('='));
        if (equals <= 0) {
            std::fprintf(stderr, "voltrane-embed-images: \"%s\" is not NAME=FILE\n", argv[i]);
            return 2;
        }
        const QString name = argument.left(equals);
        const QString file = argument.mid(equals + 1);
        const QImage read(file);
        const bool alpha = read.hasAlphaChannel();
        const QImage image =
            read.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        if (image.isNull()) {
            std::fprintf(stderr, "voltrane-embed-images: cannot read the picture %s\n",
                         qPrintable(file));
            return 1;
        }
        const QString shown = file.startsWith(QLatin1Char(':')) ? file : QFileInfo(file).fileName();
        out << "// " << shown << "\nconst quint32 " << name << "Pixels[] = {";
        for (int y = 0; y < image.height(); ++y) {
            const auto *row = reinterpret_cast<const quint32 *>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x)
                out << ((x + y * image.width()) % 8 ? " " : "\n    ") << "0x"
                    << QString::number(row[x], 16).rightJustified(8, QLatin1Char('0')) << ',';
        }
        out << "\n};\n";
        definitions << QStringLiteral("const CompiledPicture %1{%2, %3, QImage::%4, %1Pixels};\n")
                           .arg(name)
                           .arg(image.width())
                           .arg(image.height())
                           .arg(alpha ? u"Format_ARGB32" : u"Format_RGB32");
    }
    out << "} // namespace\n\nnamespace CompiledPictures {\n"
        << definitions.join(QString()) << "} // namespace CompiledPictures\n";
    out.flush();
    QSaveFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::WriteOnly) || file.write(source.toUtf8()) < 0 || !file.commit()) {
        std::fprintf(stderr, "voltrane-embed-images: cannot write %s: %s\n", argv[1],
                     qPrintable(file.errorString()));
        return 1;
    }
    return 0;
}
