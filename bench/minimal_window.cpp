// The comparison programs of the start-up benchmark: a Qt Widgets application that shows one empty
// window of the main window's size; built with MINIMAL_WINDOW_TEXT, the window shows two lines of
// text in the home page's Chinese and Latin type, so it lays text out before it is mapped.
#include <QApplication>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QWidget window;
#ifdef MINIMAL_WINDOW_TEXT
    auto* column = new QVBoxLayout(&window);
    auto* title = new QLabel(QStringLiteral("今天，想理解什么？"), &window);
    QFont font = title->font();
    font.setPixelSize(28);
    font.setWeight(QFont::DemiBold);
    title->setFont(font);
    column->addWidget(title);
    column->addWidget(new QLabel(QStringLiteral("Select a sentence, or write here what you want to learn."), &window));
    column->addStretch(1);
#endif
    window.resize(1040, 819);
    window.show();
    return QApplication::exec();
}
