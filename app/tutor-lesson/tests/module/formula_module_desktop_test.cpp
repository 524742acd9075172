// The formula module as the program opens it: not linked, loaded with the first formula text from
// its place beside the program. This executable sits beside the program in the build tree.
#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QScrollArea>
#include <QTest>
#include <QVBoxLayout>

#include <unistd.h>

#include "app/tutor-lesson/merid_math_bridge.h"
#include "app/tutor-lesson/merid_math_rich_text.h"

namespace velquin {
namespace {

QString procText(qint64 pid, const char* name) {
    QFile file(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(name)));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll().replace('\0', ' ')) : QString();
}

// The command lines of this process's children.
QStringList childCommands() {
    QStringList commands;
    const QString parent = QString::number(::getpid());
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        const QString status = procText(entry.toLongLong(), "status");
        if (status.contains(QStringLiteral("\nPPid:\t") + parent + u'\n'))
            commands << procText(entry.toLongLong(), "cmdline");
    }
    return commands;
}

// The first formula opens the module and starts the web engine without an OpenGL driver (the
// pages are composed in software) and, with the sandbox off, without zygote processes; the page
// typesets the formula and reports its height.
TEST(FormulaModuleDesktop, FirstFormulaOpensTheModuleWithoutOpenGLOrZygotes) {
    // As in continuous integration, where the tests run as the super-user.
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    const qint64 self = ::getpid();
    for (const char* library : {"liborvel-formulas", "libQt6WebEngineCore"})
        ASSERT_FALSE(procText(self, "maps").contains(QLatin1String(library))) << library;

    QScrollArea area;
    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    area.setWidget(content);
    area.setWidgetResizable(true);
    area.resize(520, 240);
    auto* text = new MeridMathRichText(
        QStringLiteral("配方得 $$x = \\frac{-b \\pm \\sqrt{b^2 - 4ac}}{2a}$$ 其中 \\(a \\neq 0\\)"), 14);
    layout->addWidget(text);
    layout->addStretch();
    area.show();
    ASSERT_NE(text->webView<QWidget>(), nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return text->measuredHeight() != MeridMathBridge::initialHeight; }, 30000));
    // A displayed fraction is taller than two lines of text.
    EXPECT_GT(text->measuredHeight(), 60);

    const QString maps = procText(self, "maps");
    for (const char* library : {"liborvel-formulas", "libQt6WebEngineCore"})
        EXPECT_TRUE(maps.contains(QLatin1String(library))) << library;
    for (const char* library : {"libLLVM", "/dri/"}) EXPECT_FALSE(maps.contains(QLatin1String(library))) << library;
    // The driver check is skipped for the engine's one question, not for programs started later.
    EXPECT_FALSE(qEnvironmentVariableIsSet("QT_OPENGL_NO_SANITY_CHECK"));

    const QStringList children = childCommands();
    EXPECT_EQ(children.filter(QStringLiteral("--type=renderer")).size(), 1) << children.join(u'\n').toStdString();
    EXPECT_TRUE(children.filter(QStringLiteral("--type=zygote")).isEmpty()) << children.join(u'\n').toStdString();

    // The page paints its whole height: ink below the first line (the fraction's lower half). The
    // picture is kept to compare with the lesson's screenshots made with the module linked.
    QWidget* web = text->webView<QWidget>();
    const auto inkBelowFirstLine = [web] {
        const QImage image = web->grab().toImage();
        for (int y = 45; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qGray(image.pixel(x, y)) < 100) return true;
        return false;
    };
    ASSERT_TRUE(QTest::qWaitFor(inkBelowFirstLine, 30000));
    const QImage shot = area.grab().toImage();
    QDir().mkpath(QStringLiteral(ORVEL_FORMULA_MODULE_SCREENSHOT_DIR));
    EXPECT_TRUE(shot.save(QStringLiteral(ORVEL_FORMULA_MODULE_SCREENSHOT_DIR) +
                          QStringLiteral("/formula-module-first-formula.png")));
}

}  // namespace
}  // namespace velquin
