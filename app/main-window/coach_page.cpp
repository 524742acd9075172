#include "app/main-window/coach_page.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/main-window/main_window.h"
#include "app/main-window/page_title.h"
#include "app/shell/app_store.h"
#include "app/tutor-lesson/lessonary_merid_palette.h"
#include "app/tutor-lesson/lessonary_theme.h"
#include "app/tutor-lesson/lessonary_view_support.h"
#include "app/shell/orvel_brand.h"
#include "app/shell/symbol_image.h"
#include "app/shell/ui_strings.h"
#include "app/shell/workspace_router.h"

namespace velquin {

namespace {

constexpr int kIconSize = 29;
constexpr qreal kIconRadius = 8;
constexpr int kTitleFontSize = 15;

using lessonary::currentScheme;

// The header bar's paper with its hairline along the bottom edge.
class HeaderBar : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), LessonaryMERIDPalette::paper(currentScheme()));
        painter.fillRect(QRect(0, height() - 1, width(), 1), LessonaryMERIDPalette::line(currentScheme()));
    }
};

// A plain line of colour.
class Rule : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(rect(), LessonaryMERIDPalette::line(currentScheme()));
    }
};

QPixmap roundedIcon(const QPixmap& source) {
    QPixmap rounded(source.size());
    rounded.setDevicePixelRatio(source.devicePixelRatio());
    rounded.fill(Qt::transparent);
    QPainter painter(&rounded);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    QPainterPath clip;
    clip.addRoundedRect(QRectF(0, 0, kIconSize, kIconSize), kIconRadius, kIconRadius);
    painter.setClipPath(clip);
    painter.drawPixmap(QRectF(0, 0, kIconSize, kIconSize), source, QRectF(source.rect()));
    return rounded;
}

QToolButton* headerButton(QWidget* parent, Qt::ToolButtonStyle style) {
    auto* button = new QToolButton(parent);
    button->setToolButtonStyle(style);
    button->setAutoRaise(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}

}  // namespace

CoachPage::CoachPage(AppStore& store, WorkspaceRouter& router, const HostFactory& host, QWidget* parent)
    : QWidget(parent), store_(store), router_(router) {
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(0);

    header_ = new HeaderBar(this);
    header_->setFixedHeight(headerHeight);
    auto* bar = new QHBoxLayout(header_);
    bar->setContentsMargins(18, 0, 18, 1);
    bar->setSpacing(11);

    back_ = headerButton(header_, Qt::ToolButtonTextBesideIcon);
    back_->setObjectName(QStringLiteral("orvel.merid.return-home"));
    back_->setFont(lessonary::font(13, QFont::Medium));
    back_->setIconSize(QSize(12, 12));
    bar->addWidget(back_);
    connect(back_, &QToolButton::clicked, this, [this] { router_.returnHome(); });

    separator_ = new Rule(header_);
    separator_->setFixedSize(1, 20);
    bar->addWidget(separator_);

    if (const QPixmap icon = OrvelBrand::iconPicture(kIconSize, devicePixelRatioF()); !icon.isNull()) {
        icon_ = new QLabel(header_);
        icon_->setFixedSize(kIconSize, kIconSize);
        icon_->setPixmap(roundedIcon(icon));
        icon_->setAccessibleName(QString());
        icon_->setAttribute(Qt::WA_TransparentForMouseEvents);
        bar->addWidget(icon_);
    }

    auto* title = new QHBoxLayout();
    title->setSpacing(6);
    const QFont titleFont = lessonary::font(kTitleFontSize, QFont::DemiBold);
    auto* product = new QLabel(QStringLiteral("Orvel"), header_);
    product->setFont(titleFont);
    slash_ = new QLabel(QStringLiteral("/"), header_);
    slash_->setFont(titleFont);
    auto* tutor = new QLabel(QStringLiteral("MERID"), header_);
    tutor->setFont(titleFont);
    for (QLabel* label : {product, slash_, tutor}) {
        label->setTextFormat(Qt::PlainText);
        title->addWidget(label);
    }
    bar->addLayout(title);
    bar->addStretch(1);

    history_ = headerButton(header_, Qt::ToolButtonTextBesideIcon);
    history_->setIconSize(QSize(15, 15));
    bar->addWidget(history_);
    connect(history_, &QToolButton::clicked, this, [this] { router_.open(WorkspaceRouter::Page::history); });

    account_ = headerButton(header_, Qt::ToolButtonIconOnly);
    account_->setIconSize(QSize(19, 19));
    bar->addWidget(account_);
    connect(account_, &QToolButton::clicked, this, [this] { store_.setShowAccountLogin(true); });

    page->addWidget(header_);

    QWidget* screen = host ? host(store_, [this] { router_.returnHome(); }, this) : nullptr;
    if (screen) {
        // The tutor's screen asks for 560 under its host's model bar; with this header that is 656,
        // more than the workspace's least height. The window keeps that least height on every
        // page: the host takes what it leaves below the header, and the screen gives up those few
        // points (its panes need far less).
        screen->setMinimumHeight(MainWindow::workspaceMinimum.height() - headerHeight);
    } else {
        screen = new QWidget(this);
        auto* placeholder = new QVBoxLayout(screen);
        placeholder->setContentsMargins(27, 23, 27, 24);
        placeholder->setAlignment(Qt::AlignTop | Qt::AlignLeft);
        title_ = makePageTitle(screen);
        placeholder->addWidget(title_);
    }
    page->addWidget(screen, 1);

    lessonary::follow(this, [this] { retranslate(); }, [this] { applyScheme(); });
    retranslate();
    applyScheme();
}

void CoachPage::retranslate() {
    back_->setText(
        UIStrings::choose(QStringLiteral("学习首页"), QStringLiteral("Lessonary"), QStringLiteral("Accueil")));
    back_->setToolTip(UIStrings::choose(QStringLiteral("返回 Orvel 学习首页"),
                                        QStringLiteral("Back to the Orvel study home"),
                                        QStringLiteral("Revenir à l’accueil Orvel")));
    history_->setText(
        UIStrings::choose(QStringLiteral("历史记录"), QStringLiteral("History"), QStringLiteral("Historique")));
    const QString account =
        UIStrings::choose(QStringLiteral("账户"), QStringLiteral("Account"), QStringLiteral("Compte"));
    account_->setToolTip(account);
    account_->setAccessibleName(account);
    if (title_) title_->setText(UIStrings::text(QStringLiteral("AI 老师")));
}

void CoachPage::applyScheme() {
    const ColorScheme current = currentScheme();
    const QColor ink = LessonaryMERIDPalette::ink(current);
    const QString style = QStringLiteral("QToolButton { color: %1; border: none; padding: 8px 9px; }").arg(ink.name());
    back_->setStyleSheet(style);
    history_->setStyleSheet(style);
    account_->setStyleSheet(style);
    const qreal ratio = devicePixelRatioF();
    back_->setIcon(SymbolImage::pixmap(QStringLiteral("chevron.left"), back_->iconSize(), ink, ratio));
    history_->setIcon(SymbolImage::pixmap(QStringLiteral("clock.arrow.circlepath"), history_->iconSize(), ink, ratio));
    account_->setIcon(SymbolImage::pixmap(QStringLiteral("person.crop.circle"), account_->iconSize(), ink, ratio));
    slash_->setStyleSheet(QStringLiteral("color: %1;").arg(LessonaryMERIDPalette::muted(current).name()));
    update();
}

}  // namespace velquin
