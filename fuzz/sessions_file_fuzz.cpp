// The tutor sessions file over any bytes: it loads or is refused with the store's own errors, and
// what loads is saved again and loads back the same.
#include <QFile>
#include <QTemporaryDir>

#include "fuzz/fuzz_support.h"
#include "tutor-engine/teacher_learning_store.h"

using namespace meridcore;
using fuzzsupport::require;

namespace {

const QTemporaryDir& folder() {
    static const QTemporaryDir dir;
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString input = folder().filePath(QStringLiteral("input.json"));
    QFile file(input);
    require(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "the input file opens");
    file.write(fuzzsupport::bytes(data, size));
    file.close();

    QList<TeacherLearningSession> sessions;
    try {
        sessions = TeacherLearningStore(input).load();
    } catch (const base::Error&) {
        return 0;
    }
    const TeacherLearningStore copy(folder().filePath(QStringLiteral("copy.json")));
    try {
        copy.save(sessions);
    } catch (const TeacherWorkspaceError&) {
        return 0;  // too large to save
    }
    require(copy.load() == sessions, "saved sessions load back the same");
    return 0;
}
