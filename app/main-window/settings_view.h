#pragma once

#include <QDialog>
#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QSize>

class QLabel;
class QPushButton;
class QToolButton;

namespace base {
class DefaultsStore;
}

namespace velquin {

class AppStore;
class InterfaceLanguagePicker;

// The application's settings sheet: interface language and appearance, the AI-content consent
// (its state read live from `defaults`, withdrawal, the consent sheet and the privacy notice),
// clearing the local learning history after a confirmation, and the way into the select-anywhere
// settings. "完成" and Escape close it. Clearing is offered only while a history file is active,
// since otherwise there is nothing it could clear.
class SettingsView : public QDialog {
    Q_OBJECT
public:
    static constexpr QSize minimum{440, 430};
    static constexpr QSize ideal{480, 485};

    SettingsView(AppStore& store, base::DefaultsStore& defaults, QWidget* parent = nullptr);

    InterfaceLanguagePicker* languagePicker() const { return languagePicker_; }
    QWidget* appearancePicker() const { return appearancePicker_; }
    const QList<QToolButton*>& appearanceSegments() const { return appearanceSegments_; }
    QLabel* consentLabel() const { return consentText_; }
    QPushButton* privacyButton() const { return privacy_; }
    QPushButton* withdrawButton() const { return withdraw_; }
    QPushButton* reviewButton() const { return review_; }
    QPushButton* clearHistoryButton() const { return clearHistory_; }
    QPushButton* advancedButton() const { return advanced_; }
    QPushButton* doneButton() const { return done_; }
    // The open delete-history confirmation, or null.
    QMessageBox* deleteConfirmation() const { return confirmation_; }

    void retranslate();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool consentGiven() const;
    void showConsent();
    void showAppearance();
    void showHistory();
    void restyle();
    void fitHeight();
    void confirmDeleteHistory();
    void openSelectionSettings();

    AppStore& store_;
    base::DefaultsStore& defaults_;
    QLabel* title_ = nullptr;
    InterfaceLanguagePicker* languagePicker_ = nullptr;
    QLabel* appearanceHeading_ = nullptr;
    QWidget* appearancePicker_ = nullptr;
    QList<QToolButton*> appearanceSegments_;
    QLabel* appearanceNote_ = nullptr;
    QList<QWidget*> dividers_;
    QLabel* privacyHeading_ = nullptr;
    QLabel* privacyNote_ = nullptr;
    QLabel* consentSymbol_ = nullptr;
    QLabel* consentText_ = nullptr;
    QPushButton* privacy_ = nullptr;
    QPushButton* withdraw_ = nullptr;
    QPushButton* review_ = nullptr;
    QPushButton* clearHistory_ = nullptr;
    QLabel* selectionHeading_ = nullptr;
    QLabel* selectionNote_ = nullptr;
    QPushButton* advanced_ = nullptr;
    QPushButton* done_ = nullptr;
    QPointer<QMessageBox> confirmation_;
};

}  // namespace velquin
