#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include "app/shell/application_appearance.h"
#include "app/shell/interface_language_picker.h"
#include "app/shell/interface_settings.h"
#include "app/shell/orvel_native_coach.h"
#include "app/shell/orvel_native_coach_tip.h"
#include "app/shell/ui_strings.h"

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
    void SetUp() override { QDir().mkpath(QStringLiteral(ORVEL_SHELL_SCREENSHOT_DIR)); }
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
                const QString file = QStringLiteral(ORVEL_SHELL_SCREENSHOT_DIR "/coach-tip-%1-%2-%3.png")
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
    EXPECT_EQ(QColor(picture.pixel(picture.width() / 2, 2)), OrvelNativeCoachTip::subtle(ColorScheme::dark));
    EXPECT_EQ(tip.messageLabel()->palette().color(QPalette::WindowText), OrvelNativeCoachTip::ink(ColorScheme::dark));
    EXPECT_TRUE(picture.save(QStringLiteral(ORVEL_SHELL_SCREENSHOT_DIR "/coach-tip-en-dark.png")));

    InterfaceSettings::shared().setLanguage(InterfaceLanguage::french);
    EXPECT_EQ(tip.skipButton()->text(), s("Passer"));
}

TEST_F(CoachTipScreenshot, SkipEndsTheSharedTour) {
    OrvelNativeCoachTip tip(s(kTips[0][0]));
    auto& coach = OrvelNativeCoach::shared();
    coach.startOnFirstSetup();
    tip.skipButton()->click();
    EXPECT_EQ(coach.step(), OrvelNativeCoach::Step::inactive);
    EXPECT_EQ(base::DefaultsStore::standard().integerValue(coach.key()), 0);
}

TEST(InterfaceLanguagePicker, ListsTheLanguagesAndAppliesTheChoice) {
    auto& settings = InterfaceSettings::shared();
    settings.setLanguage(InterfaceLanguage::english);
    InterfaceLanguagePicker picker;
    QComboBox* box = picker.picker();
    ASSERT_EQ(box->count(), 4);
    EXPECT_EQ(box->itemText(0), "Follow System");
    EXPECT_EQ(box->itemText(1), s("简体中文"));
    EXPECT_EQ(box->currentIndex(), 2);

    QSignalSpy changes(&settings, &InterfaceSettings::interfaceLanguageDidChange);
    box->setCurrentIndex(3);
    Q_EMIT box->activated(3);
    EXPECT_EQ(settings.language(), InterfaceLanguage::french);
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(box->itemText(0), s("Selon le système"));
    const auto labels = picker.findChildren<QLabel*>();
    QStringList texts;
    for (QLabel* label : labels) texts << label->text();
    EXPECT_TRUE(texts.contains(s("Langue de l'interface")));
    settings.setLanguage(InterfaceLanguage::system);
}

TEST(InterfaceLanguagePicker, KeepsTheLongestTitleVisibleAfterALanguageChange) {
    auto& settings = InterfaceSettings::shared();
    settings.setLanguage(InterfaceLanguage::chinese);
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* picker = new InterfaceLanguagePicker(&window);
    layout->addWidget(picker);
    window.resize(600, 120);
    window.show();
    QApplication::processEvents();

    settings.setLanguage(InterfaceLanguage::french);
    QApplication::processEvents();
    QComboBox sample;
    for (int i = 0; i < picker->picker()->count(); ++i) sample.addItem(picker->picker()->itemText(i));
    EXPECT_GE(picker->picker()->width(), sample.sizeHint().width());
    settings.setLanguage(InterfaceLanguage::system);
}

TEST(InterfaceLanguagePicker, CaptionIsSmallerAlsoWithAFontGivenInPixels) {
    const QFont before = QApplication::font();
    QFont pixels = before;
    pixels.setPixelSize(20);
    QApplication::setFont(pixels);
    InterfaceLanguagePicker picker;
    QApplication::setFont(before);
    QLabel* caption = nullptr;
    QLabel* title = nullptr;
    for (QLabel* label : picker.findChildren<QLabel*>()) (label->wordWrap() ? caption : title) = label;
    ASSERT_TRUE(caption && title);
    EXPECT_EQ(title->font().pixelSize(), 20);
    EXPECT_EQ(caption->font().pixelSize(), 17);
}

}  // namespace
}  // namespace velquin
