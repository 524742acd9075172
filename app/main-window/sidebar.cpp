#include "app/main-window/sidebar.h"

#include <QFocusEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/shell/app_store.h"
#include "app/shell/breakable_text.h"
#include "app/shell/orvel_brand.h"
#include "app/shell/orvel_native_coach.h"
#include "app/shell/selection_controller.h"
#include "app/shell/switch_toggle.h"
#include "app/shell/symbol_image.h"
#include "app/shell/system_colors.h"
#include "app/shell/ui_strings.h"
#include "app/tutor-lesson/lessonary_merid_palette.h"
#include "app/tutor-lesson/lessonary_theme.h"
#include "app/tutor-lesson/lessonary_view_support.h"
#include "app/tutor-lesson/orvel_native_coach_tip.h"

namespace velquin {

namespace {

constexpr int kPadding = 15;
constexpr int kSpacing = 8;
constexpr int kRowSpacing = 5;
constexpr int kRowPadding = 11;
constexpr int kSymbolFrame = 18;
constexpr int kSymbolSize = 16;
constexpr int kRowGap = 11;
constexpr qreal kRowRadius = 9;
constexpr int kRowFontSize = 13;
constexpr qreal kSmallestTitleScale = 0.85;
constexpr int kBrandIconSize = 34;
constexpr int kBrandFontSize = 14;
constexpr int kSwitchRowPadding = 11;
constexpr qreal kSwitchRowRadius = 11;
constexpr int kHintFontSize = 11;
constexpr int kHintPadding = 7;

using lessonary::currentScheme;

// A hairline with room above and below.
class Divider : public QWidget {
public:
    Divider(int margin, QWidget* parent) : QWidget(parent), margin_(margin) {
        setFixedHeight(2 * margin + 1);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(QRect(0, margin_, width(), 1), LessonaryTheme::divider(currentScheme()));
    }

private:
    int margin_;
};

// The switch row's rounded background.
class SwitchRow : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), kSwitchRowRadius, kSwitchRowRadius);
        painter.fillPath(path, palette().color(QPalette::Base));
    }
};

struct RowSpec {
    const char* title;
    const char* symbol;
    std::optional<WorkspaceRouter::Page> page;
};

}  // namespace

// ---- SidebarRow -----------------------------------------------------------------------------------

SidebarRow::SidebarRow(const QString& title, const QString& symbol, std::optional<WorkspaceRouter::Page> page,
                       QWidget* parent)
    : QAbstractButton(parent), title_(title), symbol_(symbol), page_(page) {
    setFont(lessonary::font(kRowFontSize, QFont::Medium));
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setProperty("selected", false);
    retranslate();
}

void SidebarRow::setSelected(bool selected) {
    if (selected_ == selected) return;
    selected_ = selected;
    setProperty("selected", selected);
    update();
}

void SidebarRow::retranslate() {
    const QString shown = UIStrings::text(title_);
    setText(shown);
    setAccessibleName(shown);
    updateGeometry();
    update();
}

QSize SidebarRow::sizeHint() const {
    const QFontMetrics metrics(font());
    const int height = kRowPadding * 2 + std::max(metrics.height(), kSymbolFrame);
    return {kRowPadding * 2 + kSymbolFrame + kRowGap + metrics.horizontalAdvance(text()), height};
}

QSize SidebarRow::minimumSizeHint() const { return {kRowPadding * 2 + kSymbolFrame, sizeHint().height()}; }

void SidebarRow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds(rect());
    QColor foreground = selected_ ? OrvelBrand::accent() : LessonaryTheme::ink(currentScheme());
    if (selected_) {
        QColor background = OrvelBrand::accent();
        background.setAlphaF(0.1f);
        QPainterPath path;
        path.addRoundedRect(bounds, kRowRadius, kRowRadius);
        painter.fillPath(path, background);
    }
    if (isDown()) foreground.setAlphaF(0.6f);

    const int symbolX = kRowPadding + (kSymbolFrame - kSymbolSize) / 2;
    const int symbolY = (height() - kSymbolSize) / 2;
    painter.drawPixmap(symbolX, symbolY,
                       SymbolImage::pixmap(symbol_, QSize(kSymbolSize, kSymbolSize), foreground, devicePixelRatioF()));

    const int textX = kRowPadding + kSymbolFrame + kRowGap;
    const QRect textRect(textX, 0, std::max(0, width() - textX - kRowPadding), height());
    // A title that does not fit shrinks, down to 85 % of its size, before it is cut.
    QFont titleFont = font();
    const int natural = QFontMetrics(titleFont).horizontalAdvance(text());
    if (natural > textRect.width() && natural > 0) {
        const qreal scale = std::max(kSmallestTitleScale, qreal(textRect.width()) / natural);
        titleFont.setPixelSize(std::max(1, int(kRowFontSize * scale)));
    }
    painter.setPen(foreground);
    painter.setFont(titleFont);
    painter.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft,
                     painter.fontMetrics().elidedText(text(), Qt::ElideRight, textRect.width()));

    if (hasFocus() && keyboardFocus_) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(bounds.adjusted(0.75, 0.75, -0.75, -0.75), kRowRadius, kRowRadius);
    }
}

void SidebarRow::focusInEvent(QFocusEvent* event) {
    keyboardFocus_ = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    QAbstractButton::focusInEvent(event);
}

void SidebarRow::focusOutEvent(QFocusEvent* event) {
    keyboardFocus_ = false;
    QAbstractButton::focusOutEvent(event);
}

// ---- Sidebar --------------------------------------------------------------------------------------

Sidebar::Sidebar(AppStore& store, WorkspaceRouter& router, SelectionController& selection, OrvelNativeCoach& coach,
                 QWidget* parent)
    : QWidget(parent), store_(store), router_(router), selection_(selection), coach_(coach) {
    setFixedWidth(width);

    column_ = new QVBoxLayout(this);
    column_->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    column_->setSpacing(kSpacing);

    // The brand.
    auto* brand = new QWidget(this);
    auto* brandRow = new QHBoxLayout(brand);
    brandRow->setContentsMargins(0, 13, 0, 13);
    brandRow->setSpacing(10);
    if (const QPixmap icon = OrvelBrand::iconPicture(kBrandIconSize, devicePixelRatioF()); !icon.isNull()) {
        auto* image = new QLabel(brand);
        image->setPixmap(icon);
        image->setFixedSize(kBrandIconSize, kBrandIconSize);
        brandRow->addWidget(image);
    }
    brandName_ = new QLabel(QStringLiteral("Orvel"), brand);
    brandName_->setTextFormat(Qt::PlainText);
    brandName_->setFont(lessonary::font(kBrandFontSize, QFont::DemiBold));
    brandRow->addWidget(brandName_);
    brandRow->addStretch(1);
    column_->addWidget(brand);

    // The select-anywhere switch.
    switchRow_ = new SwitchRow(this);
    auto* switchLayout = new QHBoxLayout(switchRow_);
    switchLayout->setContentsMargins(kSwitchRowPadding, kSwitchRowPadding, kSwitchRowPadding, kSwitchRowPadding);
    switchLayout->setSpacing(9);
    switchSymbol_ = new QLabel(switchRow_);
    switchSymbol_->setFixedSize(kSymbolSize, kSymbolSize);
    switchLayout->addWidget(switchSymbol_);
    switchLabel_ = new QLabel(switchRow_);
    switchLabel_->setTextFormat(Qt::PlainText);
    switchLayout->addWidget(switchLabel_);
    switchLayout->addStretch(1);
    switch_ = new SwitchToggle(switchRow_);
    switchLabel_->setBuddy(switch_);
    switchLayout->addWidget(switch_);
    column_->addWidget(switchRow_);
    connect(switch_, &SwitchToggle::switched, this, &Sidebar::switchToggled);

    // The tour's tip goes here (index 2), then the permission hint.
    permissionHint_ = new QPushButton(this);
    permissionHint_->setFlat(true);
    permissionHint_->setCursor(Qt::PointingHandCursor);
    permissionHint_->setFont(lessonary::font(kHintFontSize));
    permissionHint_->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    column_->addWidget(permissionHint_, 0, Qt::AlignLeft);
    connect(permissionHint_, &QPushButton::clicked, this, [this] { store_.setShowDirectSelectionSettings(true); });

    column_->addWidget(new Divider(8, this));

    const auto addRows = [this](std::initializer_list<RowSpec> specs) {
        auto* rows = new QVBoxLayout();
        rows->setSpacing(kRowSpacing);
        for (const RowSpec& spec : specs) {
            auto* row =
                new SidebarRow(QString::fromUtf8(spec.title), QString::fromLatin1(spec.symbol), spec.page, this);
            rows->addWidget(row);
            rows_.append(row);
        }
        column_->addLayout(rows);
    };
    using Page = WorkspaceRouter::Page;
    addRows({{"学习首页", "house", Page::home},
             {"学习历史", "clock.arrow.circlepath", Page::history},
             {"AI 老师", "graduationcap", Page::coach}});
    column_->addItem(new QSpacerItem(0, 12, QSizePolicy::Minimum, QSizePolicy::Expanding));
    column_->addWidget(new Divider(5, this));
    addRows({{"划词设置", "slider.horizontal.3", std::nullopt},
             {"个人账户", "person.crop.circle", std::nullopt},
             {"设置", "gearshape", std::nullopt}});

    for (SidebarRow* row : rows_) {
        connect(row, &QAbstractButton::clicked, this, [this, row] {
            if (const auto page = row->page()) {
                router_.open(*page);
            } else if (row->sourceTitle() == QStringLiteral("划词设置")) {
                store_.setShowDirectSelectionSettings(true);
            } else if (row->sourceTitle() == QStringLiteral("个人账户")) {
                store_.setShowAccountLogin(true);
            } else {
                store_.setShowSettings(true);
            }
        });
    }

    connect(&selection_, &SelectionController::isEnabledChanged, this, &Sidebar::showSelectionState);
    connect(&selection_, &SelectionController::authorizationTrustedChanged, this, &Sidebar::showSelectionState);
    connect(&router_, &WorkspaceRouter::pageChanged, this, &Sidebar::showPage);
    connect(&coach_, &OrvelNativeCoach::stepChanged, this, &Sidebar::showTip);
    lessonary::follow(
        this, [this] { retranslate(); },
        [this] {
            retranslate();
            update();
        });

    retranslate();
    showSelectionState();
    showPage();
}

SidebarRow* Sidebar::row(const QString& sourceTitle) const {
    for (SidebarRow* row : rows_) {
        if (row->sourceTitle() == sourceTitle) return row;
    }
    return nullptr;
}

void Sidebar::retranslate() {
    const QString switchTitle = UIStrings::text(QStringLiteral("划词"));
    switchLabel_->setText(switchTitle);
    switch_->setAccessibleName(switchTitle);
    switchRow_->setToolTip(UIStrings::text(QStringLiteral("仅开启或暂停划词，不自动关闭主窗口")));
    switchSymbol_->setPixmap(SymbolImage::pixmap(QStringLiteral("text.cursor"), QSize(kSymbolSize, kSymbolSize),
                                                 LessonaryTheme::inkSecondary(currentScheme()), devicePixelRatioF()));
    // The sidebar has a fixed width: an English or French hint takes a second line.
    const QString hint = UIStrings::text(QStringLiteral("需要辅助功能授权"));
    permissionHint_->setText(
        brokenToFit(hint, permissionHint_->fontMetrics(), width - 2 * kPadding - 2 * kHintPadding));
    permissionHint_->setAccessibleName(hint);
    permissionHint_->setStyleSheet(QStringLiteral("QPushButton { border: none; background: transparent; "
                                                  "padding: 2px %1px; color: %2; text-align: left; }")
                                       .arg(kHintPadding)
                                       .arg(SystemColors::orange(currentScheme()).name()));
    for (SidebarRow* row : rows_) row->retranslate();
    showTip();
}

void Sidebar::showSelectionState() {
    switch_->showState(selection_.isEnabled());
    permissionHint_->setVisible(selection_.isEnabled() && !selection_.authorizationTrusted());
}

void Sidebar::showPage() {
    for (SidebarRow* row : rows_) row->setSelected(row->page() == router_.page());
}

void Sidebar::showTip() {
    QString message;
    switch (coach_.step()) {
    case OrvelNativeCoach::Step::selection:
        message = UIStrings::choose(QStringLiteral("先打开上面的划词开关。"),
                                    QStringLiteral("Turn on text selection above."),
                                    QStringLiteral("Activez la sélection ci-dessus."));
        break;
    case OrvelNativeCoach::Step::selectSentence:
        message = UIStrings::choose(QStringLiteral("现在去网页或 PDF 选中一句话。"),
                                    QStringLiteral("Select a sentence in a website or PDF."),
                                    QStringLiteral("Sélectionnez une phrase dans un site ou PDF."));
        break;
    default: break;
    }
    if (tip_ && tip_->message() == message) return;
    delete tip_;
    tip_ = nullptr;
    if (message.isEmpty()) return;
    tip_ = new OrvelNativeCoachTip(message, this);
    connect(tip_, &OrvelNativeCoachTip::skipRequested, this, [this] { coach_.skip(); });
    // Right below the switch row.
    column_->insertWidget(column_->indexOf(switchRow_) + 1, tip_);
}

void Sidebar::switchToggled(bool on) {
    selection_.setEnabled(on);
    if (on && !selection_.authorizationTrusted()) store_.setShowDirectSelectionSettings(true);
    showSelectionState();
}

void Sidebar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), LessonaryTheme::rail(currentScheme()));
}

}  // namespace velquin
