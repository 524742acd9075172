// A small program whose selection the desktop tests read: a window with a line edit, a password
// field and a multi-line text. It reports where its controls are and what keys it receives on
// standard output, and answers commands on standard input:
//   ready <pid>                        once the window is shown and active
//   geometry <objectName> x y w h      the controls in screen coordinates
//   key <key> <modifiers>              every key press it receives
//   clipboard <text, escaped>          in answer to the command "clipboard"
//   selection <control> <text, escaped> when a selection changes (a password field shows "*")
// Commands: "clipboard", "quit", "text <words>", which puts the words into the line edit, and
// "copy <words>", which puts them on the clipboard.
// Options: --class NAME sets the class of WM_CLASS (e.g. a terminal's).
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QSocketNotifier>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>
#include <unistd.h>

namespace {

void say(const QString& line) {
    std::fputs((line + QLatin1Char('\n')).toUtf8().constData(), stdout);
    std::fflush(stdout);
}

QString escaped(QString text) {
    return text.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('\n'), QStringLiteral("\\n"));
}

class KeyLog : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress && watched == QApplication::focusWidget()) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (!key->isAutoRepeat())
                say(QStringLiteral("key %1 %2").arg(key->key()).arg(int(key->modifiers())));
        }
        return false;
    }
};

}  // namespace

int main(int argc, char** argv) {
    QString windowClass;
    for (int i = 1; i + 1 < argc; ++i)
        if (qstrcmp(argv[i], "--class") == 0) windowClass = QString::fromLocal8Bit(argv[i + 1]);
    if (!windowClass.isEmpty()) {
        // Qt names WM_CLASS after the resource name (instance) and the application name (class).
        qputenv("RESOURCE_NAME", windowClass.toLocal8Bit());
    }
    QApplication app(argc, argv);
    if (!windowClass.isEmpty()) QApplication::setApplicationName(windowClass);

    QWidget window;
    window.setObjectName(QStringLiteral("selectionTarget"));
    window.setWindowTitle(QStringLiteral("Selection target"));
    auto* layout = new QVBoxLayout(&window);
    auto* line = new QLineEdit(QStringLiteral("hello world"));
    line->setObjectName(QStringLiteral("lineEdit"));
    line->setAccessibleName(QStringLiteral("line"));
    auto* password = new QLineEdit(QStringLiteral("secret words"));
    password->setObjectName(QStringLiteral("passwordField"));
    password->setEchoMode(QLineEdit::Password);
    auto* multi = new QPlainTextEdit(QStringLiteral("first line of text\nsecond line of text"));
    multi->setObjectName(QStringLiteral("multiLine"));
    layout->addWidget(line);
    layout->addWidget(password);
    layout->addWidget(multi);
    window.setGeometry(40, 40, 420, 260);

    // Every change of a selection is reported, so that tests wait for it instead of sleeping.
    QObject::connect(line, &QLineEdit::selectionChanged,
                     [line] { say(QStringLiteral("selection lineEdit ") + escaped(line->selectedText())); });
    QObject::connect(password, &QLineEdit::selectionChanged, [password] {
        say(QStringLiteral("selection passwordField ") + escaped(password->hasSelectedText() ? QStringLiteral("*") : QString()));
    });
    QObject::connect(multi, &QPlainTextEdit::selectionChanged, [multi] {
        say(QStringLiteral("selection multiLine ") + escaped(multi->textCursor().selectedText()));
    });

    KeyLog keys;
    app.installEventFilter(&keys);

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t length = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (length <= 0) {
            input.setEnabled(false);
            app.quit();
            return;
        }
        for (const QByteArray& command : QByteArray(buffer, int(length)).split('\n')) {
            if (command == "clipboard") say(QStringLiteral("clipboard ") + escaped(QApplication::clipboard()->text()));
            if (command == "quit") app.quit();
            if (command.startsWith("text ")) line->setText(QString::fromUtf8(command.mid(5)));
            if (command.startsWith("copy ")) QApplication::clipboard()->setText(QString::fromUtf8(command.mid(5)));
        }
    });

    window.show();
    window.activateWindow();
    line->setFocus();
    int waited = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        ++waited;
        if (!window.isActiveWindow() && waited < 100) {
            window.activateWindow();
            return;
        }
        poll.stop();
        for (QWidget* widget : QList<QWidget*>{line, password, multi}) {
            const QPoint origin = widget->mapToGlobal(QPoint(0, 0));
            say(QStringLiteral("geometry %1 %2 %3 %4 %5")
                    .arg(widget->objectName())
                    .arg(origin.x())
                    .arg(origin.y())
                    .arg(widget->width())
                    .arg(widget->height()));
        }
        say(QStringLiteral("ready %1").arg(QCoreApplication::applicationPid()));
    });
    poll.start(20);
    return app.exec();
}
