#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include "app/shell/application_appearance.h"
#include "app/shell/interface_settings.h"
#include "app/tutor-lesson/lessonary_merid_palette.h"
#include "app/tutor-lesson/orvel_native_coach_tip.h"

namespace velquin {
namespace {

QString s(const char* utf8) { return QString::fromUtf8(utf8); }

// The tour's tip texts, one per place, in Chinese, English and French.
const char* const kTips[][3] = {
    {"先打开上面的划词开关。", "Turn on text selection above.", "Activez la sélection ci-dessus."},
    {"现在去网页或 PDF 选中一句话。", "Select a sentence in a website or PDF.", "Sélectionnez une phrase dans un site ou PDF."},
    {"想深入学习？点上方「交给 AI 老师」。", "Want to go further? Choose Study with MERID above.",
     "Pour approfondir, choisissez Étudier avec MERID."},
    {"左边课程，中间课堂，右边老师。有课件可点「导入课件」。", "Courses left, lesson here, tutor right. Import material to begin.",
     "Cours à gauche, leçon ici, prof à droite. Importez un document."},
    {"中间听讲、答题；右边老师随时可以提示你。", "Learn and answer here; ask the tutor on the right for hints.",
     "Apprenez ici et demandez des indices au professeur à droite."},
    {"答案写在下面，想要提示可以问右侧老师。", "Write your answer below; ask the tutor on the right for hints.",
     "Répondez ci-dessous ; demandez un indice à droite."},
};

struct Language {
    InterfaceLanguage language;
    const char* code;
    int column;
    const char* skip;
};

const Language kLanguages[] = {{InterfaceLanguage::chinese, "zh", 0, "跳过"},
                               {InterfaceLanguage::english, "en", 1, "Skip"},
                               {InterfaceLanguage::french, "fr", 2, "Passer"}};

// Lays the tip out at `width` as a parent would: its height for that width.
void layOut(OrvelNativeCoachTip& tip, int width) {
    tip.resize(width, tip.heightForWidth(width) > 0 ? tip.heightForWidth(width) : tip.sizeHint().height());
    tip.show();
    QApplication::processEvents();
    tip.resize(width, tip.heightForWidth(width) > 0 ? tip.heightForWidth(width) : tip.sizeHint().height());
    QApplication::processEvents();
}

void expectNothingClipped(OrvelNativeCoachTip& tip, const std::string& context) {
    QLabel* label = tip.messageLabel();
    const QRect box = label->geometry();
    EXPECT_TRUE(tip.rect().contains(box)) << context;
    // A wrapping label needs its height for its width, and at least its narrowest width.
    EXPECT_LE(label->heightForWidth(box.width()), box.height()) << context;
    EXPECT_LE(label->minimumSizeHint().width(), box.width()) << context;
    QPushButton* skip = tip.skipButton();
    EXPECT_TRUE(tip.rect().contains(skip->geometry())) << context;
    EXPECT_LE(skip->sizeHint().width(), skip->width()) << context;
    EXPECT_LE(skip->sizeHint().height(), skip->height()) << context;
}

class CoachTipScreenshot : public ::testing::Test {
protected:
    void SetUp() override { QDir().mkpath(QStringLiteral(ORVEL_TUTOR_LESSON_SCREENSHOT_DIR)); }
    void TearDown() override {
        InterfaceSettings::shared().setLanguage(InterfaceLanguage::system);
        ApplicationAppearance::shared().apply(InterfaceAppearance::light);
    }
};

TEST_F(CoachTipScreenshot, RendersEveryTipInThreeLanguagesWithoutClipping) {
    ApplicationAppearance::shared().apply(InterfaceAppearance::light);
    for (const Language& lang : kLanguages) {
        InterfaceSettings::shared().setLanguage(lang.language);
        for (size_t i = 0; i < std::size(kTips); ++i) {
            for (int width : {240, 320}) {
                OrvelNativeCoachTip tip(s(kTips[i][lang.column]));
                layOut(tip, width);
                const std::string context = std::string(lang.code) + " tip " + std::to_string(i) + " width "
                                            + std::to_string(width);
                EXPECT_EQ(tip.objectName(), "orvel.onboarding.native-tip");
                EXPECT_EQ(tip.skipButton()->objectName(), "orvel.onboarding.skip");
                EXPECT_EQ(tip.skipButton()->text(), s(lang.skip)) << context;
                expectNothingClipped(tip, context);
                const QString file = QStringLiteral(ORVEL_TUTOR_LESSON_SCREENSHOT_DIR "/coach-tip-%1-%2-%3.png")
                                         .arg(QLatin1String(lang.code))
                                         .arg(i)
                                         .arg(width);
                EXPECT_TRUE(tip.grab().save(file)) << file.toStdString();
            }
        }
    }
}

TEST_F(CoachTipScreenshot, FollowsTheDarkSchemeAndTheLanguage) {
    InterfaceSettings::shared().setLanguage(InterfaceLanguage::english);
    OrvelNativeCoachTip tip(s(kTips[3][1]));
    ApplicationAppearance::shared().apply(InterfaceAppearance::dark);
    layOut(tip, 320);
    expectNothingClipped(tip, "dark");
    const QImage picture = tip.grab().toImage();
    EXPECT_EQ(QColor(picture.pixel(picture.width() / 2, 2)), LessonaryMERIDPalette::subtle(ColorScheme::dark));
    EXPECT_EQ(tip.messageLabel()->palette().color(QPalette::WindowText), LessonaryMERIDPalette::ink(ColorScheme::dark));
    EXPECT_TRUE(picture.save(QStringLiteral(ORVEL_TUTOR_LESSON_SCREENSHOT_DIR "/coach-tip-en-dark.png")));

    InterfaceSettings::shared().setLanguage(InterfaceLanguage::french);
    EXPECT_EQ(tip.skipButton()->text(), s("Passer"));
}

// The tip only asks: the view that shows it ends its own tour.
TEST_F(CoachTipScreenshot, SkipAsksTheViewThatShowsIt) {
    OrvelNativeCoachTip tip(s(kTips[0][0]));
    QSignalSpy skips(&tip, &OrvelNativeCoachTip::skipRequested);
    tip.skipButton()->click();
    EXPECT_EQ(skips.count(), 1);
}

}  // namespace
}  // namespace velquin
