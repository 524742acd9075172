#include "app/tutor-workspace/diz_uvizi_view.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QShowEvent>
#include <QToolButton>
#include <QVBoxLayout>

#include <utility>

#include "app/account/account_data_scope.h"
#include "app/account/account_session.h"
#include "app/shell/app_store.h"
#include "app/shell/sheet_window.h"
#include "app/shell/symbol_image.h"
#include "app/shell/ui_strings.h"
#include "app/tutor-lesson/lessonary_merid_palette.h"
#include "app/tutor-lesson/lessonary_panel.h"
#include "app/tutor-lesson/lessonary_view_support.h"
#include "app/tutor-workspace/merid_formal_workspace_view.h"
#include "app/tutor-workspace/orvel_hosted_tutor_transport.h"
#include "base/defaults_store.h"

namespace velquin {

using meridcore::TeacherLearningStore;

namespace {

constexpr int kPickerWidth = 174;
const QString kFlash = QStringLiteral("flash");
const QString kPro = QStringLiteral("pro");

QToolButton* segment(QWidget* parent, const QString& text) {
    auto* button = new QToolButton(parent);
    button->setText(text);
    button->setCheckable(true);
    button->setFont(lessonary::font(11, QFont::Medium));
    button->setFixedWidth(kPickerWidth / 2);
    return button;
}

}  // namespace

QString DizUviziView::identityKeyOf(const std::optional<QString>& accountID, bool signedIn) {
    return accountID ? *accountID : signedIn ? QStringLiteral("pending") : QStringLiteral("guest");
}

DizUviziView::Storage DizUviziView::resolveStorage(const QStringList& arguments,
                                                   const std::optional<QString>& accountID, bool signedIn,
                                                   const QString& dataFolder) {
    const QString identity = identityKeyOf(accountID, signedIn);
    if (arguments.contains(smokeSwitch))
        return {TeacherLearningStore::temporary(QStringLiteral("orvel-merid-smoke-")), identity};
    if (accountID) {
        if (const std::optional<QString> url = AccountDataScope::meridSessionsURL(*accountID, dataFolder))
            return {TeacherLearningStore(*url, sessionsNamespace, dataFolder), identity};
    }
    if (signedIn) return {TeacherLearningStore::temporary(QStringLiteral("orvel-merid-pending-")), identity};
    return {TeacherLearningStore(std::nullopt, AccountDataScope::appNamespace(), dataFolder), identity};
}

DizUviziView::DizUviziView(AppStore& store, AccountSession& account, OrvelNativeCoach& coach,
                           base::DefaultsStore& defaults, Options options, std::function<void()> onClose,
                           QWidget* parent)
    : QWidget(parent),
      store_(store),
      account_(account),
      coach_(coach),
      defaults_(defaults),
      options_(std::move(options)),
      onClose_(std::move(onClose)) {
    setObjectName(QStringLiteral("orvel.merid.host"));
    if (!options_.transport)
        options_.transport = [](tamsel::AnswerLanguage language) {
            return std::make_shared<OrvelHostedTutorTransport>(language);
        };
    stack_ = new QVBoxLayout(this);
    stack_->setContentsMargins(0, 0, 0, 0);
    stack_->setSpacing(0);

    bar_ = new LessonaryPanel(&LessonaryMERIDPalette::paper, nullptr, 0, this);
    auto* row = new QHBoxLayout(bar_);
    row->setContentsMargins(16, 9, 16, 9);
    row->setSpacing(12);
    barSymbol_ = new QLabel(bar_);
    barTitle_ = lessonary::makeLabel(bar_, lessonary::font(11), false);
    row->addWidget(barSymbol_);
    row->addWidget(barTitle_);
    row->addStretch(1);
    auto* picker = new QWidget(bar_);
    picker->setObjectName(QStringLiteral("orvel.merid.model-tier"));
    picker->setFixedWidth(kPickerWidth);
    auto* segments = new QHBoxLayout(picker);
    segments->setContentsMargins(0, 0, 0, 0);
    segments->setSpacing(0);
    flash_ = segment(picker, QStringLiteral("Flash"));
    pro_ = segment(picker, UIStrings::text(QStringLiteral("Ruv")));
    segments->addWidget(flash_);
    segments->addWidget(pro_);
    tiers_ = new QButtonGroup(this);
    tiers_->addButton(flash_);
    tiers_->addButton(pro_);
    row->addWidget(picker);
    stack_->addWidget(bar_);

    // Read when requests are made; the picker only writes and shows it. A segment is chosen by a
    // click, the keyboard or a screen reader's toggle alike.
    for (const auto& [segment, tier] : {std::pair{flash_, kFlash}, std::pair{pro_, kPro}})
        connect(segment, &QToolButton::toggled, this, [this, tier](bool checked) {
            if (checked && defaults_.string(modelTierKey, kFlash) != tier) defaults_.setString(modelTierKey, tier);
        });
    connect(&defaults_, &base::DefaultsStore::changed, this, &DizUviziView::showTier);
    connect(&account_, &AccountSession::accountIDChanged, this, &DizUviziView::identityMayHaveChanged);
    connect(&account_, &AccountSession::signedInChanged, this, &DizUviziView::identityMayHaveChanged);
    connect(&account_, &AccountSession::meridSessionsImported, this, [this](const QString& accountID) {
        if (screen_ && !screenSpent_ && accountID == identityKey_) screen_->controller().reloadSessions();
    });
    connect(&store_, &AppStore::languageChanged, this, [this] {
        if (screen_) screen_->controller().setTransport(options_.transport(store_.language()));
    });
    // (A screen spent with the page takes nothing more: the one built when the page shows again does.)
    connect(&store_, &AppStore::tutorHandoffSourceChanged, this, [this] {
        if (screen_ && !screenSpent_) screen_->controller().acceptLessonarySource();
    });

    rebuildScreen();
    lessonary::follow(this, [this] { retranslate(); }, [this] { restyle(); });
    retranslate();
    restyle();
    showTier();
}

void DizUviziView::identityMayHaveChanged() {
    if (identityKeyOf(account_.accountID(), account_.signedIn()) != identityKey_) rebuildScreen();
}

void DizUviziView::rebuildScreen() {
    // The old screen stops its round and saves to its own file before the new one loads.
    const bool shown = screen_ && screen_->isVisible();
    delete screen_;
    screen_ = nullptr;
    screenSpent_ = false;

    Storage storage = [this] {
        try {
            return resolveStorage(options_.arguments, account_.accountID(), account_.signedIn(), options_.dataFolder);
        } catch (...) {
            // No private temporary folder: a store without a location, whose reads and writes fail
            // and so stop all writing with their message.
            return Storage{TeacherLearningStore(std::nullopt, QStringLiteral(".")), QString()};
        }
    }();
    identityKey_ = identityKeyOf(account_.accountID(), account_.signedIn());

    MeridWorkspaceServices services;
    services.transport = options_.transport(store_.language());
    services.storage = std::move(storage.store);
    services.incomingSource = [this] { return store_.tutorHandoffSource(); };
    services.clearIncomingSource = [this] { store_.setTutorHandoffSource(std::nullopt); };
    screen_ = new MeridFormalWorkspaceView(std::move(services), coach_, options_.chooser, this);
    connect(&screen_->controller(), &MeridFormalWorkspaceController::consentRequested, this,
            &DizUviziView::showConsent);
    connect(&screen_->controller(), &MeridFormalWorkspaceController::closeRequested, this, [this] {
        if (onClose_) onClose_();
    });
    stack_->addWidget(screen_, 1);
    if (shown) screen_->show();
}

void DizUviziView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (event->spontaneous() || !std::exchange(screenSpent_, false)) return;
    rebuildScreen();
    screen_->show();
}

void DizUviziView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (event->spontaneous() || !screen_) return;
    // Hidden by itself, the spent screen is not shown again with the page (which would take
    // handed-in text into it) before the new one takes its place.
    screen_->hide();
    screenSpent_ = true;
}

void DizUviziView::showTier() {
    const QString tier = defaults_.string(modelTierKey, kFlash);
    // A stored value that is neither tier shows no segment chosen.
    tiers_->setExclusive(false);
    flash_->setChecked(tier == kFlash);
    pro_->setChecked(tier == kPro);
    tiers_->setExclusive(true);
}

void DizUviziView::showConsent() {
    if (consent_ || !options_.consentSheet) return;
    QDialog* sheet = options_.consentSheet(window());
    if (!sheet) return;
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    consent_ = sheet;
    openSheet(sheet);
}

void DizUviziView::retranslate() {
    barTitle_->setText(UIStrings::choose(QStringLiteral("MERID 教学模型"), QStringLiteral("MERID teaching model"),
                                         QStringLiteral("Modèle MERID")));
    const QString picker = UIStrings::choose(QStringLiteral("模型"), QStringLiteral("Model"), QStringLiteral("Modèle"));
    flash_->parentWidget()->setAccessibleName(picker);
    flash_->parentWidget()->setToolTip(picker);
}

void DizUviziView::restyle() {
    const ColorScheme scheme = lessonary::currentScheme();
    const QColor muted = LessonaryMERIDPalette::muted(scheme);
    lessonary::setTextColor(barTitle_, muted);
    barSymbol_->setPixmap(SymbolImage::pixmap(QStringLiteral("cpu"), QSize(13, 13), muted, devicePixelRatioF()));
    // The chosen segment on the tutor's tinted selection colour, the other plain.
    const QString segments = QStringLiteral(
                                 "QToolButton { color: %1; border: 1px solid %2; padding: 2px 6px; }"
                                 "QToolButton:checked { background: %3; color: %4; }")
                                 .arg(muted.name(), LessonaryMERIDPalette::line(scheme).name(),
                                      LessonaryMERIDPalette::subtle(scheme).name(),
                                      LessonaryMERIDPalette::coral(scheme).name());
    flash_->setStyleSheet(segments);
    pro_->setStyleSheet(segments);
}

}  // namespace velquin
