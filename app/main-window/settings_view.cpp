#include "app/main-window/settings_view.h"

#include <QButtonGroup>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/account/history_store.h"
#include "app/main-window/account_view_style.h"
#include "app/main-window/home_style.h"
#include "app/main-window/privacy_consent_view.h"
#include "app/main-window/privacy_disclosure_view.h"
#include "app/main-window/segment_track.h"
#include "app/main-window/sheet_binding.h"
#include "app/shell/app_store.h"
#include "app/shell/interface_language_picker.h"
#include "app/shell/interface_settings.h"
#include "app/shell/orvel_brand.h"
#include "app/shell/symbol_image.h"
#include "app/shell/system_colors.h"
#include "app/shell/ui_strings.h"
#include "app/tutor-lesson/lessonary_theme.h"
#include "app/tutor-lesson/lessonary_view_support.h"
#include "core/consent.h"

namespace velquin {

namespace {

using account_style::choose;
using account_style::makeButton;
using account_style::setTitle;

using lessonary::makeLabel;

constexpr int kMargin = 24;
constexpr int kConsentSymbolSize = 16;

const QList<InterfaceAppearance> kAppearances = base::allCases<InterfaceAppearance>();

QLabel* makeHeading(QWidget* parent) {
    return makeLabel(parent, lessonary::font(home_style::headline, QFont::DemiBold), true);
}

}  // namespace

SettingsView::SettingsView(AppStore& store, base::DefaultsStore& defaults, QWidget* parent)
    : QDialog(parent), store_(store), defaults_(defaults) {
    setMinimumSize(minimum);
    resize(ideal);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    column->setSpacing(16);
    const auto addDivider = [this, column] {
        auto* divider = new QFrame(this);
        divider->setFrameShape(QFrame::HLine);
        divider->setFrameShadow(QFrame::Plain);
        column->addWidget(divider);
        dividers_.append(divider);
    };

    title_ = makeLabel(this, lessonary::font(home_style::title2, QFont::Bold), true);
    column->addWidget(title_);
    languagePicker_ = new InterfaceLanguagePicker(this);
    column->addWidget(languagePicker_);

    auto* appearance = new QVBoxLayout();
    appearance->setSpacing(8);
    appearanceHeading_ = makeHeading(this);
    appearance->addWidget(appearanceHeading_);
    appearancePicker_ = new SegmentTrack(this);
    appearancePicker_->setObjectName(QStringLiteral("appearancePicker"));
    auto* segments = new QHBoxLayout(appearancePicker_);
    segments->setContentsMargins(2, 2, 2, 2);
    segments->setSpacing(2);
    auto* group = new QButtonGroup(this);
    for (qsizetype i = 0; i < kAppearances.size(); ++i) {
        auto* segment = new QToolButton(appearancePicker_);
        segment->setCheckable(true);
        segment->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        segment->setFont(lessonary::font(home_style::body, QFont::Medium));
        segments->addWidget(segment);
        group->addButton(segment, int(i));
        appearanceSegments_.append(segment);
    }
    appearance->addWidget(appearancePicker_);
    appearanceNote_ = makeLabel(this, lessonary::font(home_style::caption), true);
    appearance->addWidget(appearanceNote_);
    column->addLayout(appearance);

    addDivider();
    privacyHeading_ = makeHeading(this);
    column->addWidget(privacyHeading_);
    privacyNote_ = makeLabel(this, lessonary::font(home_style::caption), true);
    column->addWidget(privacyNote_);
    auto* consentRow = new QHBoxLayout();
    consentRow->setSpacing(10);
    auto* consentState = new QHBoxLayout();
    consentState->setSpacing(6);
    consentSymbol_ = new QLabel(this);
    consentState->addWidget(consentSymbol_);
    consentText_ = makeLabel(this, lessonary::font(home_style::body), false);
    consentState->addWidget(consentText_);
    consentRow->addLayout(consentState);
    consentRow->addStretch(1);
    privacy_ = makeButton(this, QStringLiteral("privacyButton"));
    consentRow->addWidget(privacy_);
    column->addLayout(consentRow);
    auto* actionRow = new QHBoxLayout();
    withdraw_ = makeButton(this, QStringLiteral("withdrawButton"));
    actionRow->addWidget(withdraw_);
    review_ = makeButton(this, QStringLiteral("reviewButton"));
    actionRow->addWidget(review_);
    actionRow->addStretch(1);
    clearHistory_ = makeButton(this, QStringLiteral("clearHistoryButton"));
    actionRow->addWidget(clearHistory_);
    column->addLayout(actionRow);

    addDivider();
    selectionHeading_ = makeHeading(this);
    column->addWidget(selectionHeading_);
    selectionNote_ = makeLabel(this, lessonary::font(home_style::callout), true);
    column->addWidget(selectionNote_);
    advanced_ = makeButton(this, QStringLiteral("advancedButton"));
    column->addWidget(advanced_, 0, Qt::AlignLeft);

    column->addStretch(1);
    column->addSpacing(6);
    auto* bottom = new QHBoxLayout();
    bottom->addStretch(1);
    done_ = makeButton(this, QStringLiteral("doneButton"));
    bottom->addWidget(done_);
    column->addLayout(bottom);

    // A segment is chosen by a click, the keyboard or a screen reader's toggle alike.
    connect(group, &QButtonGroup::idToggled, this, [](int id, bool checked) {
        if (checked && InterfaceSettings::shared().appearance() != kAppearances.at(id))
            InterfaceSettings::shared().setAppearance(kAppearances.at(id));
    });
    connect(&InterfaceSettings::shared(), &InterfaceSettings::appearanceChanged, this, &SettingsView::showAppearance);
    connect(privacy_, &QPushButton::clicked, this, [this] { openSheetOverParent(new PrivacyDisclosureView(this)); });
    connect(review_, &QPushButton::clicked, this,
            [this] { openSheetOverParent(new PrivacyConsentView(defaults_, this)); });
    connect(withdraw_, &QPushButton::clicked, this, [this] { tamsel::AIPrivacyConsent::set(false, defaults_); });
    connect(clearHistory_, &QPushButton::clicked, this, &SettingsView::confirmDeleteHistory);
    connect(advanced_, &QPushButton::clicked, this, &SettingsView::openSelectionSettings);
    connect(done_, &QPushButton::clicked, this, &QDialog::reject);
    connect(&defaults_, &base::DefaultsStore::changed, this, [this](const QString& key) {
        if (key == tamsel::AIPrivacyConsent::versionKey) showConsent();
    });
    connect(&store_.history(), &HistoryStore::recordsChanged, this, &SettingsView::showHistory);

    lessonary::follow(this, [this] { retranslate(); }, [this] { restyle(); });
    retranslate();
    restyle();
    showAppearance();
    showHistory();
}

bool SettingsView::consentGiven() const {
    return defaults_.integer(tamsel::AIPrivacyConsent::versionKey) == tamsel::AIPrivacyConsent::currentVersion;
}

void SettingsView::retranslate() {
    title_->setText(UIStrings::text(QStringLiteral("Orvel 设置")));
    setWindowTitle(title_->text());
    appearanceHeading_->setText(UIStrings::text(QStringLiteral("外观模式")));
    appearancePicker_->setAccessibleName(
        choose("切换 Orvel 外观模式", "Change appearance", "Changer l’apparence"));
    for (qsizetype i = 0; i < kAppearances.size(); ++i) {
        appearanceSegments_[i]->setText(title(kAppearances.at(i)));
        appearanceSegments_[i]->setAccessibleName(appearanceSegments_[i]->text());
    }
    appearanceNote_->setText(UIStrings::text(QStringLiteral("跟随系统会在桌面深色与浅色模式切换时自动变化。")));
    privacyHeading_->setText(UIStrings::text(QStringLiteral("隐私与 AI")));
    privacyNote_->setText(
        choose("发送给 AI 的文字可能由第三方服务及境外系统处理；本机历史记录与云端账户数据分别管理。",
               "Text sent to AI may be processed by third-party services abroad. Local history and account data "
               "stay separate.",
               "Le texte envoyé à l’IA peut être traité par des tiers à l’étranger. L’historique local et le compte "
               "restent séparés."));
    setTitle(privacy_, choose("阅读隐私说明", "Privacy details", "Confidentialité"));
    setTitle(withdraw_, choose("撤回 AI 内容处理同意", "Withdraw AI consent", "Retirer le consentement IA"));
    setTitle(review_, choose("查看并同意…", "Review and agree…", "Lire et consentir…"));
    setTitle(clearHistory_, choose("清空本机学习历史…", "Clear learning history…", "Effacer l’historique…"));
    selectionHeading_->setText(UIStrings::text(QStringLiteral("划词功能")));
    selectionNote_->setText(UIStrings::text(QStringLiteral("可以从主界面侧边栏的「划词」开关随时暂停或恢复监听。")));
    setTitle(advanced_, UIStrings::text(QStringLiteral("高级划词与授权设置…")));
    setTitle(done_, UIStrings::text(QStringLiteral("完成")));
    showConsent();
    fitHeight();
}

void SettingsView::showConsent() {
    const bool given = consentGiven();
    setProperty("consentGiven", given);
    consentText_->setText(given ? choose("已同意 AI 内容处理", "AI content consent given", "Consentement IA accordé")
                                : choose("尚未同意 AI 内容处理", "AI consent not given", "Consentement IA manquant"));
    consentSymbol_->setProperty("symbol", given ? QStringLiteral("checkmark.shield") : QStringLiteral("hand.raised"));
    consentSymbol_->setPixmap(SymbolImage::pixmap(consentSymbol_->property("symbol").toString(),
                                                  QSize(kConsentSymbolSize, kConsentSymbolSize),
                                                  LessonaryTheme::ink(home_style::scheme()), devicePixelRatioF()));
    withdraw_->setVisible(given);
    review_->setVisible(!given);
}

void SettingsView::showAppearance() {
    const InterfaceAppearance current = InterfaceSettings::shared().appearance();
    for (qsizetype i = 0; i < kAppearances.size(); ++i)
        appearanceSegments_[i]->setChecked(kAppearances.at(i) == current);
}

void SettingsView::showHistory() { clearHistory_->setEnabled(store_.history().hasActiveFile()); }

void SettingsView::restyle() {
    const ColorScheme scheme = home_style::scheme();
    const QColor ink = LessonaryTheme::ink(scheme);
    const QColor secondary = home_style::secondary(scheme);
    for (QLabel* label : {title_, appearanceHeading_, privacyHeading_, consentText_, selectionHeading_})
        lessonary::setTextColor(label, ink);
    for (QLabel* label : {appearanceNote_, privacyNote_, selectionNote_}) lessonary::setTextColor(label, secondary);
    lessonary::setTextColor(languagePicker_, ink);
    for (QWidget* divider : dividers_) lessonary::setTextColor(divider, LessonaryTheme::divider(scheme));
    for (QPushButton* destructive : {withdraw_, clearHistory_})
        lessonary::setTextColor(destructive, SystemColors::red(scheme));
    appearancePicker_->setStyleSheet(
        QStringLiteral("QToolButton { border: none; border-radius: 6px; padding: 4px 12px; color: %1; "
                       "background: transparent; }"
                       "QToolButton:checked { background: %2; color: %3; }")
            .arg(ink.name(), LessonaryTheme::surface(scheme).name(), OrvelBrand::accent().name()));
    showConsent();
    update();
}

void SettingsView::confirmDeleteHistory() {
    auto* confirmation = new QMessageBox(QMessageBox::Warning, windowTitle(),
                                         choose("删除本机全部学习历史？此操作无法撤销。",
                                                "Delete all local learning history? This cannot be undone.",
                                                "Supprimer tout l’historique local ? Action irréversible."),
                                         QMessageBox::NoButton, this);
    QPushButton* erase = confirmation->addButton(
        choose("永久删除本机历史记录", "Permanently delete local history", "Supprimer définitivement l’historique"),
        QMessageBox::DestructiveRole);
    QPushButton* cancel = confirmation->addButton(choose("取消", "Cancel", "Annuler"), QMessageBox::RejectRole);
    // Return keeps the history: only a deliberate press of the destructive button deletes.
    confirmation->setDefaultButton(cancel);
    confirmation->setEscapeButton(cancel);
    erase->setObjectName(QStringLiteral("deleteHistoryButton"));
    cancel->setObjectName(QStringLiteral("cancelDeleteButton"));
    lessonary::setTextColor(erase, SystemColors::red(home_style::scheme()));
    connect(erase, &QPushButton::clicked, &store_.history(), &HistoryStore::deleteAll);
    confirmation_ = confirmation;
    openSheetOverParent(confirmation);
}

void SettingsView::openSelectionSettings() {
    // The select-anywhere settings come on a later turn, once this sheet has gone: the two are
    // never on screen together.
    reject();
    QMetaObject::invokeMethod(
        &store_, [store = QPointer<AppStore>(&store_)] {
            if (store) store->setShowDirectSelectionSettings(true);
        },
        Qt::QueuedConnection);
}

void SettingsView::fitHeight() {
    // The wrapped notes need more height in some languages and at a narrower width.
    layout()->activate();
    setMinimumHeight(std::max(minimum.height(), layout()->totalHeightForWidth(width())));
}

void SettingsView::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    fitHeight();
}

void SettingsView::paintEvent(QPaintEvent*) {
    QPainter(this).fillRect(rect(), LessonaryTheme::paper(home_style::scheme()));
}

}  // namespace velquin
