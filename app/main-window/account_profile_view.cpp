#include "app/main-window/account_profile_view.h"

#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QShowEvent>
#include <QVBoxLayout>

#include <algorithm>

#include "app/account/account_session.h"
#include "app/account/google_desktop_oauth.h"
#include "app/main-window/account_view_style.h"
#include "app/main-window/home_style.h"
#include "app/main-window/sheet_binding.h"
#include "app/shell/orvel_brand.h"
#include "app/shell/sheet_window.h"
#include "app/shell/symbol_image.h"
#include "app/shell/system_colors.h"
#include "app/shell/ui_strings.h"
#include "app/shell/wrapped_text.h"
#include "app/tutor-lesson/lessonary_theme.h"
#include "app/tutor-lesson/lessonary_view_support.h"
#include "base/defaults_store.h"
#include "base/text.h"
#include "core/consent.h"

namespace velquin {

namespace {

constexpr int kMinimumPassword = 8;
constexpr int kAvatarSize = 52;

using account_style::choose;
using account_style::makeButton;
using lessonary::currentScheme;
using lessonary::makeLabel;
using lessonary::setTextColor;

// The initials on the brand colour, in a circle.
class Avatar : public QWidget {
public:
    explicit Avatar(QWidget* parent) : QWidget(parent) { setFixedSize(kAvatarSize, kAvatarSize); }
    void setInitials(const QString& initials) {
        initials_ = initials;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(OrvelBrand::accent());
        painter.drawEllipse(rect());
        painter.setPen(palette().color(QPalette::HighlightedText));
        painter.setFont(lessonary::font(20, QFont::Bold));
        painter.drawText(rect(), Qt::AlignCenter, initials_);
    }

private:
    QString initials_;
};

// A hairline across the sheet, or a short one beside a word.
class Rule : public QWidget {
public:
    explicit Rule(QWidget* parent) : QWidget(parent) {
        setFixedHeight(1);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(rect(), LessonaryTheme::divider(currentScheme()));
    }
};

QLineEdit* makeField(QWidget* parent, const char* name) {
    auto* field = new QLineEdit(parent);
    field->setObjectName(QString::fromLatin1(name));
    field->setClearButtonEnabled(false);
    return field;
}

}  // namespace

AccountProfileView::AccountProfileView(AccountSession& account, base::DefaultsStore& defaults, Options options,
                                       QWidget* parent)
    : QDialog(parent), account_(account), defaults_(defaults), options_(std::move(options)) {
    setObjectName(QStringLiteral("accountSheet"));
    setWindowModality(Qt::WindowModal);
    if (!options_.browser) options_.browser = desktopBrowserOpener();
    build();

    for (auto signal : {&AccountSession::emailChanged, &AccountSession::accountIDChanged,
                        &AccountSession::loginKindChanged, &AccountSession::preferredNameChanged,
                        &AccountSession::signedInChanged, &AccountSession::emailVerifiedChanged,
                        &AccountSession::workingChanged, &AccountSession::feedbackChanged})
        connect(&account_, signal, this, &AccountProfileView::showState);
    connect(&defaults_, &base::DefaultsStore::changed, this, [this](const QString& key) {
        if (key == tamsel::AIPrivacyConsent::versionKey) showState();
    });
    connect(emailField_, &QLineEdit::textChanged, this, &AccountProfileView::showState);
    connect(passwordField_, &QLineEdit::textChanged, this, &AccountProfileView::showState);
    connect(nameField_, &QLineEdit::textChanged, this, &AccountProfileView::showState);
    lessonary::follow(this, [this] { retranslate(); }, [this] { restyle(); });
    retranslate();
    restyle();
}

AccountProfileView::~AccountProfileView() = default;

int AccountProfileView::sheetHeight(std::optional<int> visibleHeight) {
    if (!visibleHeight) return 620;
    // Never taller than the screen's visible area, which the 460 floor alone could exceed.
    return std::min(std::min(std::max(*visibleHeight - 120, 460), 620), *visibleHeight);
}

QUrl AccountProfileView::configuredWebsite() {
    const QString configured = qEnvironmentVariable("ORVEL_WEBSITE_URL").trimmed();
    return QUrl(configured.isEmpty() ? QStringLiteral("https://orvel.app") : configured);
}

void AccountProfileView::build() {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    scroll_ = new QScrollArea(this);
    scroll_->setWidgetResizable(true);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // The sheet's paper shows through.
    scroll_->viewport()->setAutoFillBackground(false);
    outer->addWidget(scroll_);

    auto* content = new SheetScrollContent(scroll_);
    content->setAutoFillBackground(false);
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(18);
    scroll_->setWidget(content);
    // Every change of what the content needs (a text, a section, the style's sizes once polished)
    // fits the sheet to it again.
    content->installEventFilter(this);

    // Title row.
    auto* titleRow = new QHBoxLayout();
    titleRow->setSpacing(13);
    avatar_ = new Avatar(content);
    titleRow->addWidget(avatar_, 0, Qt::AlignVCenter);
    auto* names = new QVBoxLayout();
    names->setSpacing(4);
    // The name and the address are the person's: they wrap inside a word rather than widen the sheet.
    title_ = new WrappedText(content, lessonary::font(home_style::title2, QFont::Bold));
    title_->setObjectName(QStringLiteral("title"));
    title_->setSelectable(false);
    email_ = new WrappedText(content, lessonary::font(home_style::callout));
    email_->setObjectName(QStringLiteral("emailLine"));
    email_->setSelectable(false);
    names->addWidget(title_);
    names->addWidget(email_);
    titleRow->addLayout(names, 1);
    column->addLayout(titleRow);
    column->addWidget(new Rule(content));

    // Sign-in section.
    signInSection_ = new QWidget(content);
    signInSection_->setObjectName(QStringLiteral("signInSection"));
    auto* signIn = new QVBoxLayout(signInSection_);
    signIn->setContentsMargins(0, 0, 0, 0);
    signIn->setSpacing(12);
    signInHeadline_ = makeLabel(signInSection_, lessonary::font(home_style::headline, QFont::DemiBold), true);
    signIn->addWidget(signInHeadline_);
    emailField_ = makeField(signInSection_, "email");
    signIn->addWidget(emailField_);
    passwordField_ = makeField(signInSection_, "password");
    passwordField_->setEchoMode(QLineEdit::Password);
    signIn->addWidget(passwordField_);
    serviceNotice_ = makeLabel(signInSection_, lessonary::font(home_style::caption), true);
    signIn->addWidget(serviceNotice_);
    auto* privacyRow = new QHBoxLayout();
    privacyButton_ = makeButton(signInSection_, "privacyButton");
    consentButton_ = makeButton(signInSection_, "consentButton");
    privacyRow->addWidget(privacyButton_);
    privacyRow->addStretch(1);
    privacyRow->addWidget(consentButton_);
    signIn->addLayout(privacyRow);
    signInButton_ = makeButton(signInSection_, "signInButton");
    signInButton_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    signIn->addWidget(signInButton_);

    auto* providers = new QVBoxLayout();
    providers->setSpacing(10);
    auto* separator = new QHBoxLayout();
    separator->setSpacing(10);
    separator->addWidget(new Rule(signInSection_), 1, Qt::AlignVCenter);
    orLabel_ = makeLabel(signInSection_, lessonary::font(home_style::caption), false);
    separator->addWidget(orLabel_);
    separator->addWidget(new Rule(signInSection_), 1, Qt::AlignVCenter);
    providers->addLayout(separator);
    googleButton_ = makeButton(signInSection_, "orvel.google.signin");
    googleButton_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    providers->addWidget(googleButton_);
    appleButton_ = makeButton(signInSection_, "orvel.apple.coming-soon");
    appleButton_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    appleButton_->setEnabled(false);
    auto* faded = new QGraphicsOpacityEffect(appleButton_);
    faded->setOpacity(0.4);
    appleButton_->setGraphicsEffect(faded);
    providers->addWidget(appleButton_);
    signIn->addLayout(providers);
    apiKeyLine_ = makeLabel(signInSection_, lessonary::font(home_style::caption), true);
    signIn->addWidget(apiKeyLine_);
    column->addWidget(signInSection_);

    // Signed-in section.
    signedInSection_ = new QWidget(content);
    signedInSection_->setObjectName(QStringLiteral("signedInSection"));
    auto* signedIn = new QVBoxLayout(signedInSection_);
    signedIn->setContentsMargins(0, 0, 0, 0);
    signedIn->setSpacing(12);
    auto* heading = new QHBoxLayout();
    heading->setSpacing(6);
    headingSymbol_ = new QLabel(signedInSection_);
    heading->addWidget(headingSymbol_);
    signedInHeading_ = makeLabel(signedInSection_, lessonary::font(home_style::headline, QFont::DemiBold), false);
    heading->addWidget(signedInHeading_, 1);
    signedIn->addLayout(heading);

    verificationBlock_ = new QWidget(signedInSection_);
    verificationBlock_->setObjectName(QStringLiteral("verificationBlock"));
    auto* verification = new QVBoxLayout(verificationBlock_);
    verification->setContentsMargins(0, 0, 0, 0);
    verification->setSpacing(7);
    verificationNotice_ = makeLabel(verificationBlock_, lessonary::font(home_style::callout), true);
    verification->addWidget(verificationNotice_);
    verificationButton_ = makeButton(verificationBlock_, "verificationButton");
    verification->addWidget(verificationButton_, 0, Qt::AlignLeft);
    signedIn->addWidget(verificationBlock_);

    auto* nameRow = new QHBoxLayout();
    nameRow->setSpacing(10);
    nameField_ = makeField(signedInSection_, "displayName");
    nameRow->addWidget(nameField_, 1);
    saveNameButton_ = makeButton(signedInSection_, "saveNameButton");
    nameRow->addWidget(saveNameButton_);
    signedIn->addLayout(nameRow);
    nameLine_ = makeLabel(signedInSection_, lessonary::font(home_style::caption), true);
    signedIn->addWidget(nameLine_);

    importBlock_ = new QWidget(signedInSection_);
    importBlock_->setObjectName(QStringLiteral("legacyImportBlock"));
    auto* import = new QVBoxLayout(importBlock_);
    import->setContentsMargins(0, 0, 0, 0);
    import->setSpacing(4);
    importButton_ = makeButton(importBlock_, "legacyImportButton");
    importButton_->setFont(lessonary::font(home_style::caption));
    import->addWidget(importButton_, 0, Qt::AlignLeft);
    importLine_ = makeLabel(importBlock_, lessonary::font(home_style::caption), true);
    import->addWidget(importLine_);
    signedIn->addWidget(importBlock_);

    auto* accountRow = new QHBoxLayout();
    refreshButton_ = makeButton(signedInSection_, "refreshButton");
    signOutButton_ = makeButton(signedInSection_, "signOutButton");
    accountRow->addWidget(refreshButton_);
    accountRow->addWidget(signOutButton_);
    accountRow->addStretch(1);
    signedIn->addLayout(accountRow);
    column->addWidget(signedInSection_);

    progress_ = new QProgressBar(content);
    progress_->setObjectName(QStringLiteral("progress"));
    progress_->setRange(0, 0);  // indeterminate
    progress_->setTextVisible(false);
    progress_->setFixedHeight(6);
    column->addWidget(progress_);
    // The service's messages may hold a code or an address without spaces.
    feedback_ = new WrappedText(content, lessonary::font(home_style::callout));
    feedback_->setObjectName(QStringLiteral("feedback"));
    column->addWidget(feedback_);
    column->addWidget(new Rule(content));

    auto* footer = new QHBoxLayout();
    websiteButton_ = makeButton(content, "websiteLink");
    websiteButton_->setFlat(true);
    websiteButton_->setCursor(Qt::PointingHandCursor);
    footer->addWidget(websiteButton_);
    footer->addStretch(1);
    closeButton_ = makeButton(content, "closeButton");
    footer->addWidget(closeButton_);
    column->addLayout(footer);
    column->addStretch(1);

    connect(signInButton_, &QPushButton::clicked, this, &AccountProfileView::signInPressed);
    connect(googleButton_, &QPushButton::clicked, this, [this] { account_.signInWithGoogle(); });
    connect(verificationButton_, &QPushButton::clicked, this, [this] { account_.sendVerificationEmail(); });
    connect(saveNameButton_, &QPushButton::clicked, this, [this] { account_.setPreferredName(nameField_->text()); });
    connect(importButton_, &QPushButton::clicked, this, [this] { account_.importLegacyMeridHistory(); });
    connect(refreshButton_, &QPushButton::clicked, this, [this] { account_.refresh(); });
    connect(signOutButton_, &QPushButton::clicked, this, [this] { account_.signOut(); });
    connect(privacyButton_, &QPushButton::clicked, this, [this] { openSheet(options_.privacyDisclosure); });
    connect(consentButton_, &QPushButton::clicked, this, [this] { openSheet(options_.privacyConsent); });
    connect(websiteButton_, &QPushButton::clicked, this, [this] { options_.browser->open(options_.website); });
    connect(closeButton_, &QPushButton::clicked, this, &QDialog::reject);
}

void AccountProfileView::signInPressed() {
    // The password leaves the field at once, whatever the sign-in then says.
    const QString password = passwordField_->text();
    passwordField_->clear();
    account_.signIn(emailField_->text(), password);
}

void AccountProfileView::openSheet(const SheetFactory& factory) {
    if (!factory) return;
    openSheetOverParent(factory(this));
}

void AccountProfileView::showState() {
    const bool signedIn = account_.signedIn();
    const bool working = account_.working();
    signInSection_->setVisible(!signedIn);
    signedInSection_->setVisible(signedIn);
    title_->setText(signedIn ? account_.displayName() : choose("Orvel 账户", "Orvel account", "Compte Orvel"));
    email_->setText(account_.email());
    email_->setVisible(signedIn);
    static_cast<Avatar*>(avatar_)->setInitials(account_.initials());

    // Nothing is trimmed: a field of spaces counts as filled.
    signInButton_->setEnabled(!working && !emailField_->text().isEmpty() &&
                              base::text::graphemeCount(passwordField_->text()) >= kMinimumPassword);
    googleButton_->setEnabled(!working);
    privacyButton_->setVisible(bool(options_.privacyDisclosure));
    consentButton_->setVisible(bool(options_.privacyConsent) &&
                               defaults_.integer(tamsel::AIPrivacyConsent::versionKey) !=
                                   tamsel::AIPrivacyConsent::currentVersion);

    verificationBlock_->setVisible(account_.loginKind() == QLatin1String("native") && !account_.emailVerified());
    verificationButton_->setEnabled(!working);
    saveNameButton_->setEnabled(
        !base::text::graphemeCountExceeds(nameField_->text(), AccountSession::preferredNameLimit));
    importBlock_->setVisible(account_.accountID().has_value());

    progress_->setVisible(working);
    feedback_->setText(UIStrings::text(account_.feedback()));
    feedback_->setVisible(!account_.feedback().isEmpty());
    fitHeight();
}

bool AccountProfileView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == scroll_->widget() && event->type() == QEvent::LayoutRequest) fitHeight();
    return QDialog::eventFilter(watched, event);
}

void AccountProfileView::fitHeight() {
    // Only what goes past the screen's height scrolls.
    const int most = sheetHeight(availableScreenHeight(this));
    // Sizes as shown: the style sets fonts and margins when it polishes the widgets.
    ensurePolished();
    QLayout* column = scroll_->widget()->layout();
    column->activate();
    setFixedSize(sheetWidth, std::min(most, column->totalHeightForWidth(sheetWidth)));
}

void AccountProfileView::retranslate() {
    signInHeadline_->setText(choose("登录或创建 Orvel 账户", "Sign in or create an Orvel account",
                                    "Connexion ou création d’un compte Orvel"));
    emailField_->setPlaceholderText(choose("电子邮箱", "Email address", "Adresse courriel"));
    emailField_->setAccessibleName(emailField_->placeholderText());
    passwordField_->setPlaceholderText(
        choose("账户密码（至少 8 位）", "Password (at least 8 characters)", "Mot de passe (8 caractères minimum)"));
    passwordField_->setAccessibleName(passwordField_->placeholderText());
    serviceNotice_->setText(choose("登录会将邮箱与密码发送至 Orvel 账户服务。AI 内容处理需要另行同意。",
                                   "Sign-in uses the Orvel account service. Sending content to AI requires separate "
                                   "consent.",
                                   "La connexion utilise le service Orvel. Le traitement IA nécessite un consentement "
                                   "distinct."));
    account_style::setTitle(privacyButton_, choose("阅读隐私说明", "Read privacy details", "Lire la confidentialité"));
    account_style::setTitle(consentButton_, choose("同意 AI 内容处理…", "Review AI consent…", "Consentement IA…"));
    account_style::setTitle(signInButton_,
                            choose("登录／创建账户", "Sign in / Create account", "Connexion / Créer un compte"));
    orLabel_->setText(choose("或者", "or", "ou"));
    account_style::setTitle(googleButton_, choose("使用 Google 登录", "Continue with Google", "Continuer avec Google"));
    account_style::setTitle(appleButton_, choose("使用 Apple 登录 · 暂未开放", "Continue with Apple · Coming soon",
                                 "Continuer avec Apple · Bientôt disponible"));
    apiKeyLine_->setText(choose("Orvel 无需用户自行配置 AI API Key。", "No personal AI API key is required.",
                                "Aucune clé API IA personnelle n’est nécessaire."));
    signedInHeading_->setText(choose("已登录账户", "Your account", "Votre compte"));
    verificationNotice_->setText(choose("邮箱尚未验证。验证后才能使用 Orvel 托管 AI 服务。",
                                        "Your email address is not verified yet. Verify it to use Orvel's hosted AI.",
                                        "Votre adresse courriel n’est pas encore vérifiée. Vérifiez-la pour utiliser "
                                        "l’IA hébergée d’Orvel."));
    account_style::setTitle(verificationButton_,
            choose("发送验证邮件", "Send verification email", "Envoyer un courriel de vérification"));
    nameField_->setPlaceholderText(
        choose("显示昵称（仅保存在本机）", "Display name (this computer only)", "Pseudo (sur cet ordinateur)"));
    nameField_->setAccessibleName(nameField_->placeholderText());
    account_style::setTitle(saveNameButton_, choose("保存昵称", "Save name", "Enregistrer le nom"));
    nameLine_->setText(choose("昵称仅保存在当前用户的本机数据区，不会更改登录身份。",
                              "Your display name stays on this computer; it does not change your login identity.",
                              "Le pseudo reste sur cet ordinateur et ne modifie pas votre identité."));
    account_style::setTitle(importButton_,
            choose("复制旧 MERID 会话到当前账户", "Copy legacy MERID lessons", "Copier les anciennes leçons MERID"));
    importLine_->setText(choose("此操作不会移动或删除旧会话，也不会共享给其他账户。",
                                "The original lessons remain and are never shared across accounts.",
                                "Les anciennes leçons sont conservées, sans partage entre comptes."));
    account_style::setTitle(refreshButton_, choose("刷新账户状态", "Refresh account", "Actualiser le compte"));
    account_style::setTitle(signOutButton_, choose("退出登录", "Sign out", "Se déconnecter"));
    account_style::setTitle(websiteButton_, choose("Orvel 官网", "Orvel website", "Site Orvel"));
    account_style::setTitle(closeButton_, choose("关闭", "Close", "Fermer"));
    setWindowTitle(choose("Orvel 账户", "Orvel account", "Compte Orvel"));
    showState();
}

void AccountProfileView::restyle() {
    const ColorScheme scheme = currentScheme();
    const QColor ink = LessonaryTheme::ink(scheme);
    const QColor secondary = LessonaryTheme::inkSecondary(scheme);
    for (QWidget* label : std::initializer_list<QWidget*>{title_, signInHeadline_, signedInHeading_})
        setTextColor(label, ink);
    for (QWidget* label : std::initializer_list<QWidget*>{email_, serviceNotice_, orLabel_, apiKeyLine_,
                                                          verificationNotice_, nameLine_, importLine_})
        setTextColor(label, secondary);
    setTextColor(feedback_, SystemColors::orange(scheme));

    const qreal ratio = devicePixelRatioF();
    const QColor buttonText = palette().color(QPalette::ButtonText);
    googleButton_->setIcon(
        SymbolImage::pixmap(QStringLiteral("person.crop.circle.badge.checkmark"), QSize(16, 16), buttonText, ratio));
    appleButton_->setIcon(SymbolImage::pixmap(QStringLiteral("apple.logo"), QSize(16, 16), buttonText, ratio));
    headingSymbol_->setPixmap(SymbolImage::pixmap(QStringLiteral("person.crop.circle"), QSize(17, 17), ink, ratio));

    home_style::styleProminent(signInButton_, 7);
    const QColor accent = OrvelBrand::accent();
    websiteButton_->setStyleSheet(
        QStringLiteral("QPushButton { color: %1; border: none; padding: 0; text-align: left; }").arg(accent.name()));
    update();
}

void AccountProfileView::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return;
    // Coming on screen: the name as chosen, and one refresh of a signed-in account.
    nameField_->setText(account_.preferredName());
    if (account_.signedIn()) account_.refresh();
}

void AccountProfileView::paintEvent(QPaintEvent*) {
    QPainter(this).fillRect(rect(), LessonaryTheme::paper(currentScheme()));
}

}  // namespace velquin
