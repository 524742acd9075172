#include "app/select-anywhere/direct_selection_settings_view.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

#include "app/select-anywhere/direct_float_model.h"
#include "app/select-anywhere/direct_selection_controller.h"
#include "app/select-anywhere/rounded_fill.h"
#include "app/shell/app_store.h"
#include "app/shell/interface_language_picker.h"
#include "app/shell/orvel_brand.h"
#include "app/shell/sheet_window.h"
#include "app/shell/switch_toggle.h"
#include "app/shell/symbol_image.h"
#include "app/shell/system_colors.h"
#include "app/shell/ui_strings.h"
#include "app/shell/wrapped_text.h"
#include "app/tutor-lesson/lessonary_theme.h"
#include "app/tutor-lesson/lessonary_view_support.h"
#include "base/defaults_store.h"
#include "base/raw_value.h"

namespace velquin {

namespace {

using tamsel::StudyMode;

// Text sizes in device-independent pixels.
constexpr int kTitle2 = 19;
constexpr int kHeadline = 14;
constexpr int kSubheadline = 13;
constexpr int kCallout = 13;
constexpr int kBody = 13;
constexpr int kCaption = 12;
constexpr int kSymbolSize = 15;
constexpr int kMargin = 24;
constexpr int kScrollInset = 8;  // room for the scroll bar beside the rows

const QList<StudyMode> kModes = base::allCases<StudyMode>();

QString text(const char* chinese) { return UIStrings::text(QString::fromUtf8(chinese)); }

QString choose(const char* chinese, const char* english, const char* french) {
    return UIStrings::choose(QString::fromUtf8(chinese), QString::fromUtf8(english), QString::fromUtf8(french));
}

// The two texts that go through Qt's translation catalogues rather than the table; without an entry
// there the sheet's own wording in the interface language shows.
QString platformText(const char* key, const char* english, const char* french) {
    const QString found = QCoreApplication::translate("DirectSelectionSettingsView", key);
    return found != QString::fromUtf8(key) ? found : choose(key, english, french);
}

void setTitle(QAbstractButton* button, const QString& title) { lessonary::setButtonTitle(button, title); }

QLabel* heading(QWidget* parent, QList<QLabel*>& headings) {
    QLabel* label = lessonary::makeLabel(parent, lessonary::font(kHeadline, QFont::DemiBold), true);
    headings.append(label);
    return label;
}

QLabel* note(QWidget* parent, QList<QLabel*>& notes, int size = kCaption) {
    QLabel* label = lessonary::makeLabel(parent, lessonary::font(size), true);
    notes.append(label);
    return label;
}

QPushButton* button(QWidget* parent) {
    auto* pushButton = new QPushButton(parent);
    pushButton->setAutoDefault(false);  // Return belongs to "完成"
    pushButton->setFont(lessonary::font(kBody));
    return pushButton;
}

// A switch with its label in front, as one row.
QHBoxLayout* switchRow(QWidget* parent, SwitchToggle*& toggle, QLabel*& label) {
    auto* row = new QHBoxLayout();
    label = lessonary::makeLabel(parent, lessonary::font(kBody), true);
    toggle = new SwitchToggle(parent);
    label->setBuddy(toggle);
    row->addWidget(label, 1);
    row->addWidget(toggle, 0, Qt::AlignVCenter);
    return row;
}

QHBoxLayout* pickerRow(QWidget* parent, QComboBox*& picker, QLabel*& label) {
    auto* row = new QHBoxLayout();
    label = lessonary::makeLabel(parent, lessonary::font(kBody), false);
    picker = new QComboBox(parent);
    picker->setFont(lessonary::font(kBody));
    picker->setSizeAdjustPolicy(QComboBox::AdjustToContents);  // the mode names differ in length by language
    for (qsizetype i = 0; i < kModes.size(); ++i) picker->addItem(QString());
    row->addWidget(label);
    row->addStretch(1);
    row->addWidget(picker);
    return row;
}

QVBoxLayout* section(QVBoxLayout* parent, int spacing) {
    auto* column = new QVBoxLayout();
    column->setSpacing(spacing);
    parent->addLayout(column);
    return column;
}

}  // namespace

int DirectSelectionSettingsView::heightFor(std::optional<int> visibleHeight) {
    if (!visibleHeight) return 700;
    return std::min(std::max(*visibleHeight - 150, 480), 700);
}

DirectSelectionSettingsView::DirectSelectionSettingsView(AppStore& store, DirectSelectionController& controller,
                                                         base::DefaultsStore& defaults, Callbacks callbacks,
                                                         QWidget* parent)
    : QDialog(parent), store_(store), controller_(controller), defaults_(defaults), callbacks_(std::move(callbacks)) {
    build();

    for (QComboBox* picker : {cardMode_, usageMode_})
        connect(picker, &QComboBox::activated, this, &DirectSelectionSettingsView::chooseMode);
    for (SwitchToggle* toggle : {enabledSwitch_, iconSwitch_})
        connect(toggle, &SwitchToggle::switched, &controller_, &DirectSelectionController::setEnabled);
    for (SwitchToggle* toggle : {browserSwitch_, usageBrowserSwitch_})
        connect(toggle, &SwitchToggle::switched, &controller_, &DirectSelectionController::setBrowserSelectionEnabled);
    connect(compatibilitySwitch_, &SwitchToggle::switched, &controller_,
            &DirectSelectionController::setCompatibilityCopyEnabled);
    for (QPushButton* setup : {permissionHint_, permissionButton_})
        connect(setup, &QPushButton::clicked, &controller_, &DirectSelectionController::beginAuthorizationSetup);
    connect(locateButton_, &QPushButton::clicked, &controller_, &DirectSelectionController::revealRunningCopy);
    connect(restartButton_, &QPushButton::clicked, &controller_, &DirectSelectionController::restartForAuthorization);
    connect(repairButton_, &QPushButton::clicked, &controller_, &DirectSelectionController::repairAuthorization);
    connect(sample_, &QPushButton::clicked, &controller_, &DirectSelectionController::openSampleDocument);
    connect(panelTest_, &QPushButton::clicked, this,
            [this] { runWindowTest(&DirectSelectionController::showPanelTest); });
    connect(iconTest_, &QPushButton::clicked, this,
            [this] { runWindowTest(&DirectSelectionController::showIconTest); });
    connect(retry_, &QPushButton::clicked, &controller_, &DirectSelectionController::retryMonitoringOnce);
    connect(settings_, &QPushButton::clicked, this, &DirectSelectionSettingsView::openSettings);
    connect(diagnostics_, &QPushButton::clicked, &controller_, &DirectSelectionController::copyDiagnostics);
    connect(start_, &QPushButton::clicked, &controller_, &DirectSelectionController::beginAutomaticSelection);
    connect(done_, &QPushButton::clicked, this, &DirectSelectionSettingsView::closeSheet);
    connect(advancedToggle_, &QToolButton::toggled, this, [this](bool open) {
        advanced_->setVisible(open);
        advancedToggle_->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
    });
    for (auto signal : {&DirectSelectionController::automaticStateChanged, &DirectSelectionController::repairChanged,
                        &DirectSelectionController::browserSelectionEnabledChanged,
                        &DirectSelectionController::compatibilityCopyEnabledChanged,
                        &DirectSelectionController::activityStatusChanged,
                        &DirectSelectionController::windowStatusChanged})
        connect(&controller_, signal, this, &DirectSelectionSettingsView::refresh);

    // The permission state first, so the lines and enabled rules are current; then the stored mode.
    controller_.refreshAuthorization();
    loadMode();
    lessonary::follow(this, [this] { retranslate(); }, [this] { restyle(); });
    retranslate();
    restyle();
}

void DirectSelectionSettingsView::build() {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    column->setSpacing(14);

    auto* header = new QVBoxLayout();
    header->setSpacing(5);
    title_ = lessonary::makeLabel(this, lessonary::font(kTitle2, QFont::Bold), true);
    subtitle_ = note(this, notes_, kCallout);
    header->addWidget(title_);
    header->addWidget(subtitle_);
    column->addLayout(header);
    languagePicker_ = new InterfaceLanguagePicker(this);
    column->addWidget(languagePicker_);

    auto* scroll = scroll_ = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->viewport()->setAutoFillBackground(false);
    auto* body = new SheetScrollContent(scroll);
    body->setAutoFillBackground(false);
    auto* bodyColumn = new QVBoxLayout(body);
    bodyColumn->setContentsMargins(0, 0, kScrollInset, 0);
    bodyColumn->setSpacing(20);
    scroll->setWidget(body);
    column->addWidget(scroll, 1);

    // The quick preferences.
    card_ = new RoundedFill(12, body);
    auto* card = new QVBoxLayout(card_);
    card->setContentsMargins(16, 16, 16, 16);
    card->setSpacing(13);
    auto* cardTitle = new QHBoxLayout();
    cardSymbol_ = new QLabel(card_);
    cardSymbol_->setFixedSize(kSymbolSize, kSymbolSize);
    cardHeading_ = heading(card_, headings_);
    cardTitle->addWidget(cardSymbol_);
    cardTitle->addWidget(cardHeading_, 1);
    card->addLayout(cardTitle);
    card->addLayout(switchRow(card_, enabledSwitch_, enabledLabel_));
    card->addLayout(switchRow(card_, browserSwitch_, browserLabel_));
    card->addLayout(pickerRow(card_, cardMode_, cardModeLabel_));
    // Selectable: its command is copied from here.
    nativeWindowNote_ = new WrappedText(card_, lessonary::font(kCaption));
    nativeWindowNote_->setMinimumHeightFollowsWidth(true);
    card->addWidget(nativeWindowNote_);
    permissionHint_ = button(card_);
    card->addWidget(permissionHint_, 0, Qt::AlignLeft);
    bodyColumn->addWidget(card_);

    // The advanced group, closed each time the sheet is made.
    advancedToggle_ = new QToolButton(body);
    advancedToggle_->setCheckable(true);
    advancedToggle_->setArrowType(Qt::RightArrow);
    advancedToggle_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    advancedToggle_->setAutoRaise(true);
    advancedToggle_->setFont(lessonary::font(kSubheadline, QFont::DemiBold));
    bodyColumn->addWidget(advancedToggle_, 0, Qt::AlignLeft);
    advanced_ = new QWidget(body);
    advanced_->setVisible(false);
    auto* groups = new QVBoxLayout(advanced_);
    groups->setContentsMargins(0, 10, 0, 0);
    groups->setSpacing(17);
    bodyColumn->addWidget(advanced_);
    bodyColumn->addStretch(1);

    QVBoxLayout* identity = section(groups, 7);
    identityHeading_ = heading(advanced_, headings_);
    runningPath_ = lessonary::makeLabel(advanced_, QFontDatabase::systemFont(QFontDatabase::FixedFont), true);
    runningPath_->setFont([] {
        QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        mono.setPixelSize(kCaption);
        return mono;
    }());
    runningPath_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    identityNote_ = lessonary::makeLabel(advanced_, lessonary::font(kCaption), true);
    for (QWidget* row : {static_cast<QWidget*>(identityHeading_), static_cast<QWidget*>(runningPath_),
                         static_cast<QWidget*>(identityNote_)})
        identity->addWidget(row);

    QVBoxLayout* authorization = section(groups, 9);
    authorizationHeading_ = heading(advanced_, headings_);
    authorizationLine_ = lessonary::makeLabel(advanced_, lessonary::font(kCallout), true);
    permissionButton_ = button(advanced_);
    locateButton_ = button(advanced_);
    auto* permissionRow = new QBoxLayout(QBoxLayout::LeftToRight);
    permissionRow->addWidget(permissionButton_, 0, Qt::AlignLeft);
    permissionRow->addWidget(locateButton_, 0, Qt::AlignLeft);
    permissionRow->addStretch(1);
    buttonRows_.append(permissionRow);
    signingNote_ = note(advanced_, notes_);
    restartButton_ = button(advanced_);
    repairButton_ = button(advanced_);
    auto* restartRow = new QBoxLayout(QBoxLayout::LeftToRight);
    restartRow->addWidget(restartButton_, 0, Qt::AlignLeft);
    restartRow->addWidget(repairButton_, 0, Qt::AlignLeft);
    restartRow->addStretch(1);
    buttonRows_.append(restartRow);
    resetNote_ = note(advanced_, notes_);
    repairFeedback_ = lessonary::makeLabel(advanced_, lessonary::font(kCaption), true);
    repairFeedback_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    authorization->addWidget(authorizationHeading_);
    authorization->addWidget(authorizationLine_);
    authorization->addLayout(permissionRow);
    authorization->addWidget(signingNote_);
    authorization->addLayout(restartRow);
    authorization->addWidget(resetNote_);
    authorization->addWidget(repairFeedback_);

    QVBoxLayout* verification = section(groups, 9);
    verificationHeading_ = heading(advanced_, headings_);
    panelTest_ = button(advanced_);
    sample_ = button(advanced_);
    auto* testRow = new QBoxLayout(QBoxLayout::LeftToRight);
    testRow->addWidget(panelTest_, 0, Qt::AlignLeft);
    testRow->addWidget(sample_, 0, Qt::AlignLeft);
    testRow->addStretch(1);
    buttonRows_.append(testRow);
    iconTest_ = button(advanced_);
    windowStatus_ = note(advanced_, notes_);
    activityStatus_ = lessonary::makeLabel(advanced_, lessonary::font(kCaption), true);
    activityStatus_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    localReadNote_ = note(advanced_, notes_);
    serviceNote_ = note(advanced_, notes_);
    verification->addWidget(verificationHeading_);
    verification->addLayout(testRow);
    verification->addWidget(iconTest_, 0, Qt::AlignLeft);
    for (QWidget* row : {windowStatus_, activityStatus_, localReadNote_, serviceNote_}) verification->addWidget(row);

    QVBoxLayout* usage = section(groups, 9);
    usageHeading_ = heading(advanced_, headings_);
    usage->addWidget(usageHeading_);
    usage->addLayout(switchRow(advanced_, iconSwitch_, iconLabel_));
    permissionStatus_ = note(advanced_, notes_);
    usage->addWidget(permissionStatus_);
    retry_ = button(advanced_);
    usage->addWidget(retry_, 0, Qt::AlignLeft);
    usage->addLayout(pickerRow(advanced_, usageMode_, usageModeLabel_));
    usage->addLayout(switchRow(advanced_, usageBrowserSwitch_, usageBrowserLabel_));
    browserNote_ = note(advanced_, notes_);
    usage->addWidget(browserNote_);
    usage->addLayout(switchRow(advanced_, compatibilitySwitch_, compatibilityLabel_));
    compatibilityNote_ = note(advanced_, notes_);
    usage->addWidget(compatibilityNote_);
    settings_ = button(advanced_);
    usage->addWidget(settings_, 0, Qt::AlignLeft);

    auto* footer = new QVBoxLayout();
    footer->setSpacing(8);
    privacyNote_ = note(this, notes_);
    footer->addWidget(privacyNote_);
    auto* actions = new QHBoxLayout();
    diagnostics_ = button(this);
    diagnostics_->setFlat(true);
    start_ = button(this);
    done_ = button(this);
    done_->setAutoDefault(true);
    done_->setDefault(true);
    actions->addWidget(diagnostics_);
    actions->addStretch(1);
    actions->addWidget(start_);
    actions->addWidget(done_);
    footer->addLayout(actions);
    column->addLayout(footer);
}

void DirectSelectionSettingsView::retranslate() {
    title_->setText(choose("划词设置", "Selection Settings", "Paramètres de sélection"));
    setWindowTitle(title_->text());
    subtitle_->setText(text("仅显示常用选项。需要修复授权时再打开高级设置。"));
    cardHeading_->setText(text("普通划词设置"));
    enabledLabel_->setText(text("开启自动划词"));
    browserLabel_->setText(text("在浏览器中启用划词"));
    usageBrowserLabel_->setText(browserLabel_->text());
    for (QLabel* label : {cardModeLabel_, usageModeLabel_}) label->setText(text("默认显示"));
    for (QComboBox* picker : {cardMode_, usageMode_}) {
        for (qsizetype i = 0; i < kModes.size(); ++i) picker->setItemText(int(i), UIStrings::text(title(kModes.at(i))));
        picker->setAccessibleName(text("默认显示"));
    }
    setTitle(permissionHint_, text("需要辅助功能授权"));
    setTitle(advancedToggle_, text("高级设置与故障诊断"));

    identityHeading_->setText(text("正在运行的程序"));
    authorizationHeading_->setText(text("1 · 修复授权"));
    setTitle(locateButton_, text("定位正在运行的程序"));
    signingNote_->setText(choose(
        "更新后桌面可能需要重新确认辅助功能。请固定从安装位置（/usr/bin、~/.local/bin 或 /usr/local/bin）运行 Orvel；"
        "如果权限失效，在桌面设置 → 辅助功能中重新开启辅助技术。Orvel 不会自动清除授权记录。",
        "After an update the desktop may need fresh Accessibility approval. Keep running Orvel from its install "
        "location (/usr/bin, ~/.local/bin or /usr/local/bin). Turn assistive technologies back on in Desktop settings > "
        "Accessibility if needed. Orvel never resets permissions automatically.",
        "Après une mise à jour, le bureau peut redemander l'autorisation. Lancez toujours Orvel depuis son "
        "emplacement d'installation (/usr/bin, ~/.local/bin ou /usr/local/bin). Réactivez les technologies d'assistance dans "
        "Paramètres du bureau > Accessibilité si nécessaire. Orvel ne réinitialise jamais ces autorisations "
        "automatiquement."));
    setTitle(restartButton_, text("重启检查（暂停自动）"));
    setTitle(repairButton_, text("清理旧授权并重启"));
    resetNote_->setText(text("仅重置正式版的辅助功能授权，不影响 Beta 或学习数据。"));

    verificationHeading_->setText(text("2 · 本机显示与取字检查"));
    setTitle(panelTest_, text("显示测试小窗"));
    setTitle(sample_, text("打开测试文字（暂停自动）"));
    setTitle(iconTest_, text("显示 AI 图标示例（不调用模型）"));
    localReadNote_->setText(
        text("本机取字：先暂停自动划词，在文本编辑器选中文字，再从托盘图标的菜单选择“本机读取选区（不调用模型）”。"));
    serviceNote_->setText(
        text("辅助功能暂时不可用时：选中文字，再运行 orvel --study-selection translate / explain / "
             "practice（可在系统键盘设置中为它绑定快捷键）。选区直接交给结果小窗。"));

    usageHeading_->setText(text("3 · 开启自动划词"));
    iconLabel_->setText(text("划词后显示 AI 图标，点击打开"));
    setTitle(retry_, text("重试监听一次"));
    browserNote_->setText(text("原生划词只读取来源提供的选区。纯图片及不提供选区的阅读器仍不能直接取字。"
                               "在浏览器使用原生小窗时，先暂停扩展以避免重复请求。"));
    compatibilityLabel_->setText(text("智能取词：辅助功能优先，失败时临时复制"));
    compatibilityNote_->setText(
        text("智能模式默认开启：先读取辅助功能选区；仅在读取失败且来源仍在前台时尝试一次 "
             "Ctrl+C，并尽量恢复原剪贴板。需要应用本身支持复制；图片、受保护输入框和系统界面不走这条路径。"
             "点击图标后才发送给模型。关闭开关则仅使用辅助功能。"));
    setTitle(settings_, platformText("账户与隐私设置…", "Account & privacy settings…",
                                     "Réglages du compte et de la confidentialité…"));

    privacyNote_->setText(
        platformText("划选只在本机读取；点击 AI 图标后，所选文字经 Orvel AI 发送给第三方 AI 服务处理。",
                     "Selections are read on this computer only; after you click the AI icon, the selected text "
                     "goes through Orvel AI to a third-party AI service.",
                     "Les sélections sont lues sur cet ordinateur uniquement ; après un clic sur l’icône IA, le "
                     "texte choisi passe par Orvel AI vers un service d’IA tiers."));
    setTitle(diagnostics_, text("复制诊断"));
    setTitle(start_, text("开始划词"));
    setTitle(done_, text("完成"));
    // Each switch reads as the label in front of it.
    for (QLabel* label : {enabledLabel_, iconLabel_, browserLabel_, usageBrowserLabel_, compatibilityLabel_})
        label->buddy()->setAccessibleName(label->text());
    refresh();
}

void DirectSelectionSettingsView::arrangeButtonRows() {
    // Two buttons side by side, or one above the other where both titles do not fit the width.
    const int room = sheetWidth - 2 * kMargin - kScrollInset - style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    for (QBoxLayout* row : buttonRows_) {
        int wanted = row->spacing();
        for (int i = 0; i < 2; ++i) wanted += row->itemAt(i)->widget()->sizeHint().width();
        row->setDirection(wanted <= room ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom);
    }
}

void DirectSelectionSettingsView::refresh() {
    const bool repairing = controller_.isRepairing();
    const bool trusted = controller_.authorizationTrusted();
    const bool enabled = controller_.isEnabled();
    for (SwitchToggle* toggle : {enabledSwitch_, iconSwitch_}) {
        toggle->showState(enabled);
        toggle->setEnabled(!repairing);
    }
    for (SwitchToggle* toggle : {browserSwitch_, usageBrowserSwitch_})
        toggle->showState(controller_.browserSelectionEnabled());
    compatibilitySwitch_->showState(controller_.compatibilityCopyEnabled());
    permissionHint_->setVisible(!trusted);

    runningPath_->setText(controller_.runningPath());
    const bool installed = controller_.isInstalledCopy();
    identityNote_->setProperty("installedCopy", installed);
    identityNote_->setText(installed ? text("安装位置正确。授权时请选择这一份 Orvel。")
                                     : text("当前不是安装目录中的程序，请安装当前的 Debian 软件包 orvel 后再打开。"));

    authorizationLine_->setProperty("trusted", trusted);
    authorizationLine_->setText(trusted ? text("当前进程：已获得辅助功能授权")
                                        : text("当前进程：尚未获得辅助功能授权"));
    setTitle(permissionButton_, trusted ? text("授权已通过") : text("打开授权设置"));
    permissionButton_->setEnabled(!repairing && !trusted);
    for (QPushButton* rowButton : {locateButton_, restartButton_, repairButton_}) rowButton->setEnabled(!repairing);
    const QString feedback = controller_.repairFeedback();
    repairFeedback_->setText(UIStrings::text(feedback));
    repairFeedback_->setVisible(!feedback.isEmpty());

    windowStatus_->setText(UIStrings::text(controller_.windowStatus()));
    activityStatus_->setText(UIStrings::text(controller_.activityStatus()));
    permissionStatus_->setText(UIStrings::text(controller_.permissionStatus()));
    const QString nativeWindows = controller_.nativeWindowStatus();
    nativeWindowNote_->setText(UIStrings::text(nativeWindows));
    nativeWindowNote_->setVisible(!nativeWindows.isEmpty());
    retry_->setEnabled(enabled && !repairing);
    start_->setEnabled(trusted && !repairing);
    arrangeButtonRows();
    restyle();
    fitHeight();
}

void DirectSelectionSettingsView::fitHeight() {
    // The height follows the screen, not the content: what the sheet cannot show scrolls.
    setFixedSize(sheetWidth, heightFor(availableScreenHeight(this)));
}

void DirectSelectionSettingsView::restyle() {
    const ColorScheme scheme = lessonary::currentScheme();
    const QColor ink = LessonaryTheme::ink(scheme);
    const QColor secondary = LessonaryTheme::inkSecondary(scheme);
    const QColor orange = SystemColors::orange(scheme);
    for (QLabel* label : {title_, cardHeading_, enabledLabel_, browserLabel_, cardModeLabel_, runningPath_,
                          activityStatus_, iconLabel_, usageModeLabel_, usageBrowserLabel_, compatibilityLabel_})
        lessonary::setTextColor(label, ink);
    for (QLabel* label : headings_) lessonary::setTextColor(label, ink);
    for (QLabel* label : notes_) lessonary::setTextColor(label, secondary);
    lessonary::setTextColor(nativeWindowNote_, secondary);
    lessonary::setTextColor(languagePicker_, ink);
    lessonary::setTextColor(advancedToggle_, ink);
    advancedToggle_->setStyleSheet(
        QStringLiteral("QToolButton { border: none; background: transparent; color: %1; }").arg(ink.name()));
    lessonary::setTextColor(permissionHint_, orange);
    lessonary::setTextColor(repairFeedback_, orange);
    lessonary::setTextColor(repairButton_, SystemColors::red(scheme));
    lessonary::setTextColor(identityNote_, controller_.isInstalledCopy() ? secondary : orange);
    lessonary::setTextColor(authorizationLine_,
                            controller_.authorizationTrusted() ? SystemColors::green(scheme) : orange);
    cardSymbol_->setPixmap(SymbolImage::pixmap(QStringLiteral("text.cursor"), cardSymbol_->size(), ink,
                                               devicePixelRatioF()));
    card_->setFill(LessonaryTheme::surface(scheme));
    // The prominent buttons: the accent behind light text.
    for (QPushButton* prominent : {start_, permissionButton_}) {
        prominent->setStyleSheet(
            QStringLiteral("QPushButton { background: %1; color: %2; border: none; border-radius: 6px; "
                           "padding: 4px 12px; } QPushButton:disabled { background: %3; color: %4; }")
                .arg(OrvelBrand::accent().name(), palette().color(QPalette::BrightText).name(),
                     LessonaryTheme::divider(scheme).name(), secondary.name()));
    }
    update();
}

void DirectSelectionSettingsView::loadMode() {
    // Only a stored raw value picks a mode; anything else shows translate and stays stored as it is.
    const std::optional<QString> stored = defaults_.stringValue(DirectFloatModel::modeKey);
    mode_ = (stored ? base::fromRawValue<StudyMode>(*stored) : std::nullopt).value_or(StudyMode::translate);
    const int index = int(kModes.indexOf(mode_));
    for (QComboBox* picker : {cardMode_, usageMode_}) picker->setCurrentIndex(index);
}

void DirectSelectionSettingsView::chooseMode(int index) {
    if (index < 0 || index >= kModes.size()) return;
    mode_ = kModes.at(index);
    for (QComboBox* picker : {cardMode_, usageMode_}) picker->setCurrentIndex(index);
    defaults_.setString(DirectFloatModel::modeKey, base::rawValue(mode_));
}

void DirectSelectionSettingsView::closeSheet() {
    if (callbacks_.onClose) {
        callbacks_.onClose();
        return;
    }
    accept();
}

void DirectSelectionSettingsView::openSettings() {
    if (callbacks_.onOpenSettings) {
        callbacks_.onOpenSettings();
        return;
    }
    accept();
    // The store outlives the sheet; the settings sheet comes once this one has gone.
    QTimer::singleShot(settingsDelayMs, &store_, [store = QPointer<AppStore>(&store_)] {
        if (store) store->setShowSettings(true);
    });
}

void DirectSelectionSettingsView::runWindowTest(void (DirectSelectionController::*test)()) {
    closeSheet();
    // The sheet is gone by then; the controller carries the test.
    QTimer::singleShot(windowTestDelayMs, &controller_,
                       [controller = QPointer<DirectSelectionController>(&controller_), test] {
                           if (controller) ((*controller).*test)();
                       });
}

void DirectSelectionSettingsView::keyPressEvent(QKeyEvent* event) {
    // Escape does not close this sheet; Return still goes to "完成".
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void DirectSelectionSettingsView::paintEvent(QPaintEvent*) {
    QPainter(this).fillRect(rect(), LessonaryTheme::paper(lessonary::currentScheme()));
}

}  // namespace velquin
