// The comparison program of the start-up benchmark: a Qt Widgets application that shows one empty
// window of the main window's size.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QWidget window;
    window.resize(1040, 819);
    window.show();
    return QApplication::exec();
}
