#include "platform/document_libraries.h"

#include <QFile>
#include <QFileInfo>

#include <dlfcn.h>

#include "base/errors.h"

namespace halvern {

namespace {

constexpr char moduleName[] = "liborvel-documents.so";

struct OpenedModule {
    const DocumentLibraries* libraries = nullptr;
    QString failure;  // why it could not be opened
};

QString lastLoaderError() { return QString::fromLocal8Bit(dlerror()); }

OpenedModule openModule() {
    // A process that links the module (the tests and benchmarks) has it loaded already.
    void* handle = dlopen(moduleName, RTLD_NOW | RTLD_NOLOAD);
    if (!handle) {
        // Otherwise it lies in the same place relative to the program in the build tree as where
        // `cmake --install` puts it.
        const QString program = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
        const QString path = QFileInfo(program).absolutePath() + u'/' +
                             QStringLiteral(ORVEL_DOCUMENT_MODULE_DIR) + u'/' + QLatin1String(moduleName);
        // Never closed: the recognition engines live in its thread-local storage.
        handle = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        if (!handle) return {nullptr, lastLoaderError()};
    }
    const auto entry =
        reinterpret_cast<const DocumentLibraries* (*)()>(dlsym(handle, ORVEL_DOCUMENT_LIBRARIES_ENTRY));
    if (!entry) return {nullptr, lastLoaderError()};
    return {entry(), {}};
}

}  // namespace

const DocumentLibraries& DocumentLibraries::shared() {
    static const OpenedModule opened = openModule();
    if (!opened.libraries)
        throw base::SystemError(QStringLiteral("The PDF and text-recognition module could not be loaded: ") +
                                opened.failure);
    return *opened.libraries;
}

}  // namespace halvern
