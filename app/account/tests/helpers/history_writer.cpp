// Keeps changing one learning history until it is killed: usage
// history_writer <data folder> <account id> <answer length>. Prints "writing" once the history is
// loaded and the first change is about to be written.
#include <QCoreApplication>

#include <cstdio>

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
        if (i % 5 == 4 && !store.records().isEmpty())
            store.toggleNote(store.records().constFirst());
        else
            store.add(QStringLiteral("source / ") + QString::number(i), answer, QStringLiteral("explain"));
        if (!store.statusMessage().isEmpty()) return 4;
    }
}
