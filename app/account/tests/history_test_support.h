#pragma once

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include "app/account/learning_record.h"

namespace historytest {

inline QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) file.write(bytes);
}

// Every file below `folder`, relative to it, sorted.
inline QStringList filesBelow(const QString& folder) {
    QStringList found;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) found.append(QDir(folder).relativeFilePath(it.next()));
    found.sort();
    return found;
}

inline velquin::LearningRecord record(const QString& id, double createdAt,
                                      const QString& source = QStringLiteral("s")) {
    return velquin::LearningRecord{QUuid::fromString(id), base::Date{createdAt}, QStringLiteral("explain"), source,
                                   QStringLiteral("a"), false};
}

// A record id made from a number, for lists of many records.
inline QString idOf(int n) { return QStringLiteral("00000000-0000-4000-8000-%1").arg(n, 12, 10, QChar(u'0')); }

}  // namespace historytest
