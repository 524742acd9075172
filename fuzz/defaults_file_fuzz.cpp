// The settings file over any bytes: every entry reads as its own type or as nothing, and what was
// read is written again and reads back the same. A store in use when the bytes take the file's
// place reads them alike, or keeps what it held when they cannot be read.
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

#include "base/defaults_store.h"
#include "fuzz/fuzz_support.h"

using base::DefaultsStore;
using fuzzsupport::require;

namespace {

const QTemporaryDir& folder() {
    static const QTemporaryDir dir;
    return dir;
}

// Every key with its type and the value read under that type, as one comparable text.
QString contents(const DefaultsStore& store) {
    QString out;
    for (const QString& key : store.keys()) {
        const std::optional<DefaultsStore::Type> type = store.type(key);
        require(type.has_value(), "a listed key has a type");
        out += key + u'=' + QString::number(int(*type)) + u':';
        switch (*type) {
        case DefaultsStore::Type::boolean: out += QString::number(*store.boolValue(key)); break;
        case DefaultsStore::Type::integer: out += QString::number(*store.integerValue(key)); break;
        case DefaultsStore::Type::real: out += QString::number(*store.doubleValue(key), 'g', 17); break;
        case DefaultsStore::Type::string: out += *store.stringValue(key); break;
        case DefaultsStore::Type::date:
            out += QString::number(store.dateValue(key)->secondsSinceReference, 'g', 17);
            break;
        case DefaultsStore::Type::array: out += QString::number(store.arrayValue(key)->size()); break;
        case DefaultsStore::Type::dictionary: out += QString::number(store.dictionaryValue(key)->size()); break;
        }
        out += u'\n';
    }
    return out;
}

// Puts `bytes` at `path` by rename: a new file that no stamp of the one before can be taken for.
void place(const QString& path, const QByteArray& bytes) {
    QFile file(path + QStringLiteral(".new"));
    require(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size(), "the input file is written");
    file.close();
    require(std::rename(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(path).constData()) == 0,
            "the input takes the file's place");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = folder().filePath(QStringLiteral("defaults.json"));
    place(path, R"({"fuzz.held":{"type":"int","value":7}})");
    DefaultsStore inUse(path);
    place(path, fuzzsupport::bytes(data, size));
    DefaultsStore store(path);
    require(store.fileStatus().unreadable ? inUse.integerValue(QStringLiteral("fuzz.held")) == 7
                                          : contents(inUse) == contents(store),
            "a store in use reads a new file as a new store does, or keeps what it held");
    // A change makes the store write every entry it holds; a second store reads them back.
    store.setBool(QStringLiteral("fuzz.marker"), true);
    store.remove(QStringLiteral("fuzz.marker"));
    // An unreadable input was moved aside, bytes unchanged, before the write.
    const QString setAside = store.fileStatus().setAsidePath;
    if (!setAside.isEmpty()) {
        QFile moved(setAside);
        require(moved.open(QIODevice::ReadOnly) && moved.readAll() == fuzzsupport::bytes(data, size),
                "an unreadable file is kept unchanged");
        moved.close();
        QFile::remove(setAside);
    }
    if (store.lastWriteFailed()) return 0;
    require(contents(DefaultsStore(path)) == contents(store), "written settings read back the same");
    return 0;
}
