// Holds a text on the desktop's clipboard for the desktop tests, as a program that copied it
// would: `orvel_clipboard_owner TEXT` puts TEXT on the clipboard, prints "ready" and serves it to
// whoever pastes until it is terminated. The test itself cannot own the clipboard while it waits
// on the program it drives, which asks the owner for the text meanwhile.
#include <QApplication>
#include <QClipboard>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) return 2;
    QApplication::clipboard()->setText(QString::fromLocal8Bit(argv[1]));
    QTimer::singleShot(0, [] {
        std::puts("ready");
        std::fflush(stdout);
    });
    return app.exec();
}
