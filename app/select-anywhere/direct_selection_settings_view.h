#pragma once

#include <QDialog>
#include <QList>
#include <QPointer>

#include <functional>
#include <optional>

#include "app/shell/switch_toggle.h"
#include "core/study.h"

class QAbstractButton;
class QBoxLayout;
class QComboBox;
class QLabel;
class QPushButton;
class QToolButton;
class QWidget;

namespace base {
class DefaultsStore;
}

class QScrollArea;

namespace velquin {

class WrappedText;

class AppStore;
class DirectSelectionController;
class InterfaceLanguagePicker;
class RoundedFill;

// The select-anywhere settings sheet: the automatic-selection and browser switches, the study mode
// the answer panel starts in, and behind a collapsed group the running copy, the permission
// repair, the panel and icon tests and the finer switches. Every switch and status line is the
// controller's; the sheet decides nothing. "完成" carries Return; nothing carries Escape.
class DirectSelectionSettingsView : public QDialog {
    Q_OBJECT
public:
    static constexpr int sheetWidth = 610;
    // The panel and icon tests start this long after the sheet closed, the settings sheet opens
    // this long after the "账户与隐私设置…" button closed this one.
    static constexpr int windowTestDelayMs = 300;
    static constexpr int settingsDelayMs = 250;

    struct Callbacks {
        // Replace closing the sheet, and the way to the settings sheet, when set.
        std::function<void()> onClose;
        std::function<void()> onOpenSettings;
    };

    DirectSelectionSettingsView(AppStore& store, DirectSelectionController& controller, base::DefaultsStore& defaults,
                                Callbacks callbacks = {}, QWidget* parent = nullptr);

    // The sheet's height on a screen whose usable area is `visibleHeight` high (none: no screen).
    static int heightFor(std::optional<int> visibleHeight);

    tamsel::StudyMode mode() const { return mode_; }
    QAbstractButton* enabledSwitch() const { return enabledSwitch_; }
    QAbstractButton* iconSwitch() const { return iconSwitch_; }
    QAbstractButton* browserSwitch() const { return browserSwitch_; }
    QAbstractButton* compatibilitySwitch() const { return compatibilitySwitch_; }
    QComboBox* cardModePicker() const { return cardMode_; }
    QComboBox* usageModePicker() const { return usageMode_; }
    QPushButton* permissionHint() const { return permissionHint_; }
    QToolButton* advancedToggle() const { return advancedToggle_; }
    QWidget* advancedGroup() const { return advanced_; }
    QLabel* authorizationLine() const { return authorizationLine_; }
    QPushButton* permissionButton() const { return permissionButton_; }
    QPushButton* locateButton() const { return locateButton_; }
    QPushButton* restartButton() const { return restartButton_; }
    QPushButton* repairButton() const { return repairButton_; }
    QLabel* repairFeedback() const { return repairFeedback_; }
    QPushButton* panelTestButton() const { return panelTest_; }
    QPushButton* sampleButton() const { return sample_; }
    QPushButton* iconTestButton() const { return iconTest_; }
    QPushButton* retryButton() const { return retry_; }
    QPushButton* settingsButton() const { return settings_; }
    QPushButton* diagnosticsButton() const { return diagnostics_; }
    QPushButton* startButton() const { return start_; }
    QPushButton* doneButton() const { return done_; }

    void retranslate();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void build();
    void refresh();
    void arrangeButtonRows();
    // As tall as the screen allows; the rest scrolls.
    void fitHeight();
    void restyle();
    void loadMode();
    void chooseMode(int index);
    void closeSheet();
    void openSettings();
    void runWindowTest(void (DirectSelectionController::*test)());

    AppStore& store_;
    DirectSelectionController& controller_;
    base::DefaultsStore& defaults_;
    Callbacks callbacks_;
    tamsel::StudyMode mode_ = tamsel::StudyMode::translate;

    QLabel* title_ = nullptr;
    QLabel* subtitle_ = nullptr;
    InterfaceLanguagePicker* languagePicker_ = nullptr;
    RoundedFill* card_ = nullptr;
    QLabel* cardSymbol_ = nullptr;
    QLabel* cardHeading_ = nullptr;
    SwitchToggle* enabledSwitch_ = nullptr;
    QLabel* enabledLabel_ = nullptr;
    SwitchToggle* browserSwitch_ = nullptr;
    QLabel* browserLabel_ = nullptr;
    QLabel* cardModeLabel_ = nullptr;
    QComboBox* cardMode_ = nullptr;
    QPushButton* permissionHint_ = nullptr;
    QToolButton* advancedToggle_ = nullptr;
    QWidget* advanced_ = nullptr;

    QLabel* identityHeading_ = nullptr;
    QLabel* runningPath_ = nullptr;
    QLabel* identityNote_ = nullptr;

    QLabel* authorizationHeading_ = nullptr;
    QLabel* authorizationLine_ = nullptr;
    QPushButton* permissionButton_ = nullptr;
    QPushButton* locateButton_ = nullptr;
    QLabel* signingNote_ = nullptr;
    QPushButton* restartButton_ = nullptr;
    QPushButton* repairButton_ = nullptr;
    QLabel* resetNote_ = nullptr;
    QLabel* repairFeedback_ = nullptr;

    QLabel* verificationHeading_ = nullptr;
    QPushButton* panelTest_ = nullptr;
    QPushButton* sample_ = nullptr;
    QPushButton* iconTest_ = nullptr;
    QLabel* windowStatus_ = nullptr;
    QLabel* activityStatus_ = nullptr;
    QLabel* localReadNote_ = nullptr;
    QLabel* serviceNote_ = nullptr;

    QLabel* usageHeading_ = nullptr;
    SwitchToggle* iconSwitch_ = nullptr;
    QLabel* iconLabel_ = nullptr;
    QLabel* permissionStatus_ = nullptr;
    WrappedText* nativeWindowNote_ = nullptr;  // why native Wayland windows are not read, and what to do
    QPushButton* retry_ = nullptr;
    QLabel* usageModeLabel_ = nullptr;
    QComboBox* usageMode_ = nullptr;
    SwitchToggle* usageBrowserSwitch_ = nullptr;
    QLabel* usageBrowserLabel_ = nullptr;
    QLabel* browserNote_ = nullptr;
    SwitchToggle* compatibilitySwitch_ = nullptr;
    QLabel* compatibilityLabel_ = nullptr;
    QLabel* compatibilityNote_ = nullptr;
    QPushButton* settings_ = nullptr;

    QLabel* privacyNote_ = nullptr;
    QPushButton* diagnostics_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* done_ = nullptr;
    QScrollArea* scroll_ = nullptr;

    QList<QBoxLayout*> buttonRows_;
    QList<QLabel*> headings_;
    QList<QLabel*> notes_;
};

}  // namespace velquin
