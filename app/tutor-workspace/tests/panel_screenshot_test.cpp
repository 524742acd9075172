// Pictures of the tutor panels in the three interface languages, light and dark, written into the
// build tree for a person to look at; and the checks that nothing in them is cut off.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

#include "app/shell/application_appearance.h"
#include "app/shell/interface_settings.h"
#include "app/tutor-workspace/merid_course_material_view.h"
#include "app/tutor-workspace/merid_formal_decision_view.h"
#include "app/tutor-workspace/tests/panel_fixtures.h"

using namespace velquin;

namespace {

struct Language {
    InterfaceLanguage language;
    const char* code;
};
const Language kLanguages[] = {{InterfaceLanguage::chinese, "zh"}, {InterfaceLanguage::english, "en"},
                               {InterfaceLanguage::french, "fr"}};
const struct {
    InterfaceAppearance appearance;
    const char* name;
} kAppearances[] = {{InterfaceAppearance::light, "light"}, {InterfaceAppearance::dark, "dark"}};

// Every visible label and button of `root` lies inside it and has the room its text needs.
void expectNothingClipped(QWidget& root, const std::string& context) {
    for (QWidget* child : root.findChildren<QWidget*>()) {
        if (!child->isVisibleTo(&root)) continue;
        const QRect box(child->mapTo(&root, QPoint(0, 0)), child->size());
        EXPECT_TRUE(root.rect().contains(box)) << context << ": " << child->metaObject()->className();
        if (auto* label = qobject_cast<QLabel*>(child); label && !label->text().isEmpty()) {
            if (label->wordWrap())
                EXPECT_LE(label->heightForWidth(label->width()), label->maximumHeight()) << context;
            else
                EXPECT_LE(label->sizeHint().width(), label->width()) << context << ": " << label->text().toStdString();
        }
        if (auto* button = qobject_cast<QAbstractButton*>(child); button && !button->text().isEmpty()) {
            EXPECT_LE(button->sizeHint().width(), button->width()) << context << ": " << button->text().toStdString();
        }
    }
}

void shoot(QWidget& widget, const QString& name) {
    widget.show();
    QApplication::processEvents();
    widget.adjustSize();
    QApplication::processEvents();
    const QString path = QStringLiteral(ORVEL_TUTOR_WORKSPACE_SCREENSHOT_DIR "/") + name + QStringLiteral(".png");
    ASSERT_TRUE(widget.grab().save(path));
}

class PanelScreenshot : public ::testing::Test {
protected:
    void SetUp() override { QDir().mkpath(QStringLiteral(ORVEL_TUTOR_WORKSPACE_SCREENSHOT_DIR)); }
    void TearDown() override {
        InterfaceSettings::shared().setLanguage(InterfaceLanguage::system);
        ApplicationAppearance::shared().apply(InterfaceAppearance::light);
    }
};

}  // namespace

TEST_F(PanelScreenshot, MaterialAndDecisionPanelsInEveryLanguageAndAppearance) {
    meridcore::TeacherLearningSession session = panelfixtures::sessionWithTopics(9, 4);
    panelfixtures::markReviewDue(session, session.coursePlan->topics.at(1));
    for (const auto& look : kAppearances) {
        ApplicationAppearance::shared().apply(look.appearance);
        for (const Language& lang : kLanguages) {
            InterfaceSettings::shared().setLanguage(lang.language);
            const std::string context = std::string(lang.code) + "-" + look.name;

            // The material panel at the width the course rail gives it (236 less both paddings).
            QWidget host;
            host.setAutoFillBackground(true);
            auto* column = new QVBoxLayout(&host);
            column->setContentsMargins(0, 0, 0, 0);
            auto* material = new MeridCourseMaterialView(&host);
            material->setState(*session.material, 1, session, false);
            column->addWidget(material);
            host.setFixedWidth(180);
            shoot(host, QStringLiteral("material-%1-%2").arg(QLatin1String(lang.code), QLatin1String(look.name)));
            expectNothingClipped(host, context);

            MeridFormalDecisionView decision;
            decision.setAutoFillBackground(true);
            decision.setState(meridcore::MeridStep::practice, false, meridcore::MeridEvidenceStatus::preliminary,
                              false);
            shoot(decision, QStringLiteral("decision-%1-%2").arg(QLatin1String(lang.code), QLatin1String(look.name)));
            expectNothingClipped(decision, context);
        }
    }
}
