#pragma once

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "app/shell/application_appearance.h"
#include "app/shell/interface_settings.h"
#include "app/shell/orvel_native_coach.h"
#include "app/tutor-lesson/merid_math_assets.h"
#include "base/defaults_store.h"
#include "lesson_sessions.h"

namespace velquin::testing {

// Offscreen view tests: formulas stay native text (no web engine here), Chinese, light, and a
// first-run tour of their own.
class LessonViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        MeridMathAssets::setDirectory(QString());
        InterfaceSettings::shared().setLanguage(InterfaceLanguage::chinese);
        ApplicationAppearance::shared().apply(InterfaceAppearance::light);
    }
    void TearDown() override {
        MeridMathAssets::setDirectory(std::nullopt);
        InterfaceSettings::shared().setLanguage(InterfaceLanguage::system);
    }

    // Moves the tour to its quiz step.
    void tourAtQuiz() {
        coach.startOnFirstSetup();
        coach.selectionIsReady(true);
        coach.hasRealLearningResult(true);
        coach.enteredRealClassroom();
        coach.questionIsPending(true);
    }

    QTemporaryDir dir;
    base::DefaultsStore defaults{dir.filePath(QStringLiteral("defaults.json"))};
    OrvelNativeCoach coach{defaults};
};

}  // namespace velquin::testing
