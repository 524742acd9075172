#include <QApplication>
#include <QDir>
#include <QHBoxLayout>
#include <QPainter>
#include <QScrollArea>
#include <QTest>
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/shell/application_appearance.h"
#include "app/shell/interface_settings.h"
#include "app/shell/orvel_native_coach.h"
#include "app/tutor-lesson/lessonary_merid_palette.h"
#include "app/tutor-lesson/lessonary_tutor_rail.h"
#include "app/tutor-lesson/lessonary_view_support.h"
#include "app/tutor-lesson/merid_lesson_canvas_view.h"
#include "app/tutor-lesson/merid_math_bridge.h"
#include "app/tutor-lesson/merid_math_rich_text.h"
#include "app/tutor-lesson/merid_math_web_view.h"
#include "../lesson_sessions.h"
#include "web_test_support.h"

namespace velquin {
namespace {

// The tutor screen's centre and right column, as the screen will place them.
class LessonWindow : public QWidget {
public:
    explicit LessonWindow(OrvelNativeCoach& coach) {
        auto* row = new QHBoxLayout(this);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(0);
        scroll = new QScrollArea(this);
        scroll->setWidgetResizable(true);
        scroll->setFrameShape(QFrame::NoFrame);
        auto* holder = new QWidget;
        auto* holderLayout = new QVBoxLayout(holder);
        holderLayout->setContentsMargins(28, 24, 28, 24);
        canvas = new MeridLessonCanvasView(coach, holder);
        holderLayout->addWidget(canvas);
        scroll->setWidget(holder);
        row->addWidget(scroll, 1);
        rail = new LessonaryTutorRail(this);
        rail->setFixedWidth(300);
        row->addWidget(rail);
    }

    QScrollArea* scroll;
    MeridLessonCanvasView* canvas;
    LessonaryTutorRail* rail;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(rect(), LessonaryMERIDPalette::paper(lessonary::currentScheme()));
    }
};

// Every formula view in `root` has its height and shows the latest render.
bool formulasSettled(QWidget* root) {
    for (MeridMathRichText* text : root->findChildren<MeridMathRichText*>()) {
        if (!text->isVisibleTo(root) || !text->webView()) continue;
        if (!text->webView()->isReady() || text->measuredHeight() == MeridMathBridge::initialHeight) return false;
    }
    return true;
}

// Every formula page has applied the last render it was sent (its background is the one sent).
bool pagesApplied(QWidget* root) {
    for (MeridMathRichText* text : root->findChildren<MeridMathRichText*>()) {
        if (!text->isVisibleTo(root) || !text->webView() || !text->webView()->lastScript()) continue;
        const QString script = *text->webView()->lastScript();
        const QColor sent(script.mid(script.lastIndexOf(QLatin1Char('#')), 7));
        const auto shown = testing::evaluate(text->webView()->page(),
                                             QStringLiteral("getComputedStyle(document.body).backgroundColor"));
        if (!shown || shown->toString() != QStringLiteral("rgb(%1, %2, %3)").arg(sent.red()).arg(sent.green()).arg(sent.blue()))
            return false;
    }
    return true;
}

// Formula pages whose top edge (inside the page's own padding) is not the colour of the card
// beside them, on the picture `shot` of `root`: "where: page colour / card colour" each.
QStringList pagesUnlikeTheirCard(QWidget* root, const QImage& shot) {
    QStringList unlike;
    const qreal ratio = shot.devicePixelRatio();
    for (MeridMathRichText* text : root->findChildren<MeridMathRichText*>()) {
        QWidget* page = text->webView();
        if (!text->isVisibleTo(root) || !page) continue;
        const QPoint inside = page->mapTo(root, QPoint(page->width() / 2, 1));
        const QPoint beside = page->mapTo(root, QPoint(-4, 1));
        const QColor pageColour = shot.pixelColor(inside * ratio);
        const QColor cardColour = shot.pixelColor(beside * ratio);
        const auto near = [](int a, int b) { return std::abs(a - b) <= 2; };
        if (near(pageColour.red(), cardColour.red()) && near(pageColour.green(), cardColour.green()) &&
            near(pageColour.blue(), cardColour.blue()))
            continue;
        // The view it belongs to: the nearest ancestor of a class of its own.
        QString owner;
        for (QWidget* up = text->parentWidget(); up && owner.isEmpty(); up = up->parentWidget()) {
            const QString name = QString::fromLatin1(up->metaObject()->className());
            if (name != QLatin1String("QWidget") && name != QLatin1String("velquin::LessonaryPanel")) owner = name;
        }
        unlike.append(QStringLiteral("%1 at %2,%3: %4 / %5")
                          .arg(owner)
                          .arg(inside.x())
                          .arg(inside.y())
                          .arg(pageColour.name(), cardColour.name()));
    }
    return unlike;
}

TEST(LessonScreenshots, LessonWithFormulasCheckpointAndFeedbackInEveryLanguageAndAppearance) {
    testing::allowWebEngine();
    const QString folder = QStringLiteral(ORVEL_LESSON_SCREENSHOT_DIR);
    QDir().mkpath(folder);
    base::DefaultsStore defaults(QDir::temp().filePath(QStringLiteral("lesson-screens-defaults.json")));
    OrvelNativeCoach coach(defaults);
    LessonWindow window(coach);
    const meridcore::TeacherLearningSession session = testing::formulaLesson();
    window.canvas->setLesson(session, false, true);
    window.canvas->setEarlierTurnsExpanded(true);
    window.rail->setState(session, false, true);
    window.rail->setFollowupDraft(testing::u8("还是不太懂配方那一步"));
    window.resize(1180, 1500);
    window.show();

    const struct {
        InterfaceLanguage language;
        const char* code;
    } languages[] = {{InterfaceLanguage::chinese, "zh"}, {InterfaceLanguage::english, "en"},
                     {InterfaceLanguage::french, "fr"}};
    for (const auto& language : languages) {
        for (const InterfaceAppearance appearance : {InterfaceAppearance::light, InterfaceAppearance::dark}) {
            InterfaceSettings::shared().setLanguage(language.language);
            ApplicationAppearance::shared().apply(appearance);
            ASSERT_TRUE(QTest::qWaitFor([&] { return formulasSettled(&window); }, 60000)) << language.code;
            ASSERT_TRUE(QTest::qWaitFor([&] { return pagesApplied(&window); }, 30000)) << language.code;
            // The pages paint their latest render a little later: take the picture once two in a
            // row are the same.
            QImage shot;
            ASSERT_TRUE(QTest::qWaitFor(
                [&] {
                    const QImage next = window.grab().toImage();
                    const bool stable = next == shot;
                    shot = next;
                    return stable;
                },
                30000));
            const QString name = QStringLiteral("%1/lesson-%2-%3.png")
                                     .arg(folder, QLatin1String(language.code),
                                          appearance == InterfaceAppearance::dark ? QStringLiteral("dark")
                                                                                  : QStringLiteral("light"));
            ASSERT_TRUE(shot.save(name)) << name.toStdString();
            // No band of another colour around a formula: each page takes its card's colour.
            EXPECT_EQ(pagesUnlikeTheirCard(&window, shot), QStringList()) << name.toStdString();
        }
    }
    InterfaceSettings::shared().setLanguage(InterfaceLanguage::system);
    ApplicationAppearance::shared().apply(InterfaceAppearance::light);
}

}  // namespace
}  // namespace velquin
