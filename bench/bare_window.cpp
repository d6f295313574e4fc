// The yardstick of the start-up benchmark: a bare Qt window of the program's main window's size
// (816 by 434 pixels at 96 dots per inch), shown and left to run until it is closed.
#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setFixedSize(816, 434);
    window.show();
    return QApplication::exec();
}
