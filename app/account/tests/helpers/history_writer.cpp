// Keeps changing one learning history until it is killed: usage
// history_writer <data folder> <account id> <answer length>. Prints "writing" once the history is
// loaded and the first change is about to be written, then "saved <source>" after each added record
// is on disk. Sources name the writer's process, so they differ from one writer to the next.
#include <QCoreApplication>

#include <cstdio>

#include <unistd.h>

#include "app/account/history_store.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4) return 2;
    velquin::HistoryStore store(velquin::HistoryStore::Options{args.at(1), {}});
    store.switchToAccount(args.at(2));
    if (!store.hasActiveFile()) return 3;
    const QString answer(args.at(3).toInt(), u'答');
    std::fputs("writing\n", stdout);
    std::fflush(stdout);
    for (qint64 i = 0;; ++i) {
        if (i % 5 == 4 && !store.records().isEmpty()) {
            store.toggleNote(store.records().constFirst());
            if (!store.statusMessage().isEmpty()) return 4;
            continue;
        }
        const QString source = QStringLiteral("source %1 / %2").arg(::getpid()).arg(i);
        store.add(source, answer, QStringLiteral("explain"));
        if (!store.statusMessage().isEmpty()) return 4;
        std::printf("saved %s\n", source.toUtf8().constData());
        std::fflush(stdout);
    }
}
