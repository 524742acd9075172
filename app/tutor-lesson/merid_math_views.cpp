#include "app/tutor-lesson/merid_math_views.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QOpenGLContext>

#include <dlfcn.h>

#include "app/tutor-lesson/merid_math_assets.h"

// QtGui's functions for the shared context (exported, in none of its public headers).
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);
Q_GUI_EXPORT QOpenGLContext* qt_gl_global_share_context();

namespace velquin {

namespace {

constexpr char moduleName[] = "liborvel-formulas.so";

QOpenGLContext* shareContext = nullptr;

void deleteShareContext() {
    if (qt_gl_global_share_context() == shareContext) qt_gl_set_global_share_context(nullptr);
    delete shareContext;
    shareContext = nullptr;
}

// The web engine asks for the application's shared OpenGL context when it starts (it fails
// without one), and its library has the application object create that context when it is linked
// into the program, so every start paid for it; loaded later, it expects one to be there already.
// Set here, before the library loads, and kept until the application ends.
//
// While the pages are composed in software the engine only reads the context's format: an
// uncreated one does, and loads no OpenGL driver (under Xvfb, Mesa's software renderer with LLVM,
// about 45 MB). The engine also asks whether OpenGL may be used from several threads, which Qt's
// GLX integration answers by creating a context of its own with a driver blacklist check; without
// OpenGL the answer does not matter, so that check is skipped once, for this question only.
void setUpShareContext() {
    if (qt_gl_global_share_context()) return;
    shareContext = new QOpenGLContext;
    if (MeridMathViews::composedInSoftware()) {
        const QByteArray skipCheck("QT_OPENGL_NO_SANITY_CHECK");
        const bool wasSet = qEnvironmentVariableIsSet(skipCheck.constData());
        if (!wasSet) qputenv(skipCheck.constData(), "1");
        QOpenGLContext::supportsThreadedOpenGL();
        // Programs this one starts later still check their drivers.
        if (!wasSet) qunsetenv(skipCheck.constData());
    } else {
        shareContext->create();
    }
    qAddPostRoutine(deleteShareContext);
    qt_gl_set_global_share_context(shareContext);
}

const MeridMathViews* openModule() {
    // A process that links the module (the tests and benchmarks) has it loaded already.
    void* handle = dlopen(moduleName, RTLD_NOW | RTLD_NOLOAD);
    if (!handle) {
        // Otherwise it lies in the same place relative to the program in the build tree as where
        // `cmake --install` puts it. Never closed: the web engine cannot be started twice.
        const QString program = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
        const QString path = QFileInfo(program).absolutePath() + u'/' + QStringLiteral(ORVEL_FORMULA_MODULE_DIR) +
                             u'/' + QLatin1String(moduleName);
        setUpShareContext();
        handle = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        if (!handle) return nullptr;
    }
    const auto entry =
        reinterpret_cast<const MeridMathViews* (*)(const MeridMathHost*)>(dlsym(handle, ORVEL_MERID_MATH_VIEWS_ENTRY));
    if (!entry) return nullptr;
    static const MeridMathHost host{&MeridMathAssets::directory, &MeridMathAssets::pagePath,
                                    MeridMathViews::composedInSoftware(), MeridMathViews::sandboxDisabled()};
    return entry(&host);
}

}  // namespace

bool MeridMathViews::composedInSoftware() {
    const QString backend = qEnvironmentVariable("QT_QUICK_BACKEND");
    return backend.isEmpty() || backend == QLatin1String("software") || backend == QLatin1String("softwarecontext");
}

bool MeridMathViews::sandboxDisabled() {
    return qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX") ||
           qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS").contains(QLatin1String("--no-sandbox"));
}

const MeridMathViews* MeridMathViews::shared() {
    static const MeridMathViews* const views = openModule();
    return views;
}

}  // namespace velquin
