// The yardsticks of the start-up benchmark: a bare Qt window of the program's main window's size
// (816 by 434 pixels at 96 dots per inch), shown and left to run until it is closed; with
// --caption, the same window with one line of text, which is what any window with words in it
// pays for fonts (fontconfig, FreeType, HarfBuzz) beyond a bare one.
#include <QApplication>
#include <QLabel>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setFixedSize(816, 434);
    if (QApplication::arguments().contains(QStringLiteral("--caption")))
        (new QLabel(QStringLiteral("Voltrane Meter - PC Utility"), &window))->move(20, 20);
    window.show();
    return QApplication::exec();
}
