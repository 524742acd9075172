#include "app/main-window/control_bar.h"

#include <QAction>
#include <QButtonGroup>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/tutor-lesson/busy_spinner.h"
#include "app/main-window/home_style.h"
#include "app/main-window/segment_track.h"
#include "app/shell/app_store.h"
#include "app/shell/orvel_brand.h"
#include "app/shell/ui_strings.h"
#include "app/tutor-lesson/lessonary_theme.h"
#include "app/tutor-lesson/lessonary_view_support.h"
#include "core/study.h"

namespace velquin {

using tamsel::AnswerLanguage;
using tamsel::StudyMode;

namespace {

constexpr std::array<StudyMode, 3> kModes{StudyMode::translate, StudyMode::explain, StudyMode::practice};
constexpr std::array<AnswerLanguage, 4> kLanguages{AnswerLanguage::simplifiedChinese,
                                                   AnswerLanguage::traditionalChinese, AnswerLanguage::english,
                                                   AnswerLanguage::french};
constexpr int kSpinnerSize = 16;
constexpr int kSendSymbolSize = 16;

}  // namespace

ControlBar::ControlBar(AppStore& store, QWidget* parent) : QWidget(parent), store_(store) {
    auto* rows = new QVBoxLayout(this);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(13);

    // Row 1: the mode segments.
    modePicker_ = new SegmentTrack(this);
    auto* segments = new QHBoxLayout(modePicker_);
    segments->setContentsMargins(2, 2, 2, 2);
    segments->setSpacing(2);
    modeGroup_ = new QButtonGroup(this);
    modeGroup_->setExclusive(true);
    for (size_t i = 0; i < kModes.size(); ++i) {
        auto* segment = new QToolButton(modePicker_);
        segment->setCheckable(true);
        segment->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        segment->setCursor(Qt::PointingHandCursor);
        segment->setFont(lessonary::font(home_style::body, QFont::Medium));
        segments->addWidget(segment);
        modeGroup_->addButton(segment, int(i));
        segments_.append(segment);
    }
    rows->addWidget(modePicker_);
    // A segment is chosen by a click, the keyboard or a screen reader's toggle alike.
    connect(modeGroup_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked) store_.setMode(kModes.at(size_t(id)));
    });

    // Row 2: the language, then the send button or the spinner and stop.
    auto* row = new QHBoxLayout();
    row->setSpacing(12);
    languageBox_ = new QWidget(this);
    auto* languageRow = new QHBoxLayout(languageBox_);
    languageRow->setContentsMargins(0, 0, 0, 0);
    languageRow->setSpacing(8);
    languageLabel_ = lessonary::makeLabel(languageBox_, lessonary::font(home_style::body), false);
    languageRow->addWidget(languageLabel_);
    language_ = new QComboBox(languageBox_);
    language_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    language_->setMaximumWidth(languagePickerMaximumWidth);
    languageLabel_->setBuddy(language_);
    for (size_t i = 0; i < kLanguages.size(); ++i) language_->addItem(QString());
    languageRow->addWidget(language_);
    row->addWidget(languageBox_);
    connect(language_, &QComboBox::activated, this,
            [this](int index) { store_.setLanguage(kLanguages.at(size_t(index))); });
    row->addStretch(1);

    spinner_ = new BusySpinner(kSpinnerSize, this);
    row->addWidget(spinner_);
    stop_ = new QPushButton(this);
    stop_->setCursor(Qt::PointingHandCursor);
    row->addWidget(stop_);
    connect(stop_, &QPushButton::clicked, this, [this] { store_.cancel(); });
    send_ = new QPushButton(this);
    send_->setCursor(Qt::PointingHandCursor);
    send_->setFont(lessonary::font(home_style::headline, QFont::DemiBold));
    send_->setIconSize(QSize(kSendSymbolSize, kSendSymbolSize));
    row->addWidget(send_);
    connect(send_, &QPushButton::clicked, this, [this] { store_.submit(); });
    rows->addLayout(row);

    // Ctrl+Return (and Ctrl+Enter) anywhere in the window, while the send button can be pressed.
    sendAction_ = new QAction(this);
    sendAction_->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)});
    sendAction_->setShortcutContext(Qt::WindowShortcut);
    addAction(sendAction_);
    connect(sendAction_, &QAction::triggered, this, [this] {
        if (send_->isVisible() && send_->isEnabled()) send_->click();
    });

    for (auto signal : {&AppStore::modeChanged, &AppStore::languageChanged, &AppStore::isBusyChanged,
                        &AppStore::sourceChanged})
        connect(&store_, signal, this, &ControlBar::showStore);
    lessonary::follow(this, [this] { retranslate(); }, [this] { restyle(); });
    retranslate();
    restyle();
}

void ControlBar::showStore() {
    const bool busy = store_.isBusy();
    const auto mode = std::find(kModes.begin(), kModes.end(), store_.mode());
    if (mode != kModes.end()) segments_.at(mode - kModes.begin())->setChecked(true);
    const auto language = std::find(kLanguages.begin(), kLanguages.end(), store_.language());
    if (language != kLanguages.end()) language_->setCurrentIndex(int(language - kLanguages.begin()));
    modePicker_->setEnabled(!busy);
    languageBox_->setEnabled(!busy);
    spinner_->setVisible(busy);
    stop_->setVisible(busy);
    send_->setVisible(!busy);
    send_->setEnabled(store_.canSubmit());
    send_->setText(UIStrings::text(store_.submitTitle()));
}

void ControlBar::retranslate() {
    modePicker_->setAccessibleName(UIStrings::text(QStringLiteral("学习方式")));
    for (size_t i = 0; i < kModes.size(); ++i)
        segments_.at(qsizetype(i))->setText(UIStrings::text(tamsel::title(kModes[i])));
    languageLabel_->setText(UIStrings::text(QStringLiteral("输出语言")));
    for (size_t i = 0; i < kLanguages.size(); ++i)
        language_->setItemText(int(i), UIStrings::text(tamsel::title(kLanguages[i])));
    stop_->setText(UIStrings::text(QStringLiteral("停止")));
    showStore();
}

void ControlBar::restyle() {
    const ColorScheme scheme = home_style::scheme();
    const QColor ink = LessonaryTheme::ink(scheme);
    QColor disabled = ink;
    disabled.setAlphaF(0.4f);
    modePicker_->setStyleSheet(QStringLiteral("QToolButton { border: none; border-radius: 6px; padding: 2px 12px; "
                                              "color: %1; background: transparent; }"
                                              "QToolButton:checked { background: %2; color: %3; }"
                                              "QToolButton:disabled { color: %4; }")
                                   .arg(ink.name(), LessonaryTheme::surface(scheme).name(), OrvelBrand::accent().name(),
                                        disabled.name(QColor::HexArgb)));
    lessonary::setTextColor(languageLabel_, ink);
    home_style::styleProminent(send_, 5);
    send_->setIcon(home_style::symbolIcon(QStringLiteral("sparkles"), palette().color(QPalette::BrightText),
                                          kSendSymbolSize, devicePixelRatioF()));
    modePicker_->update();
}

}  // namespace velquin
