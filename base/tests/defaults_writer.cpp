// Writes a few typed values into the defaults file named by the first argument, or, with
// "--read", prints what it reads there as "type:value" lines.
#include <QCoreApplication>
#include <QTextStream>

#include "base/defaults_store.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) return 2;
    base::DefaultsStore store(args.at(1));
    if (args.size() > 2 && args.at(2) == QLatin1String("--read")) {
        QTextStream out(stdout);
        const auto flag = store.boolValue(QStringLiteral("flag"));
        const auto count = store.integerValue(QStringLiteral("count"));
        out << "flag:" << (flag ? (*flag ? "true" : "false") : "absent") << '\n';
        out << "count:" << (count ? QString::number(*count) : QStringLiteral("absent")) << '\n';
        return 0;
    }
    store.setBool(QStringLiteral("flag"), true);
    store.setInteger(QStringLiteral("count"), 400);
    store.setDouble(QStringLiteral("ratio"), 400.0);
    store.setString(QStringLiteral("name"), QStringLiteral("Orvel AI"));
    return store.lastWriteFailed() ? 1 : 0;
}
