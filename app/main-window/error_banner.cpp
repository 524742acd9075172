#include "app/main-window/error_banner.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QToolButton>

#include "app/main-window/home_style.h"
#include "app/shell/app_store.h"
#include "app/shell/symbol_image.h"
#include "app/shell/system_colors.h"
#include "app/shell/ui_strings.h"
#include "app/shell/wrapped_text.h"
#include "app/tutor-lesson/lessonary_theme.h"
#include "app/tutor-lesson/lessonary_view_support.h"

namespace velquin {

namespace {

constexpr qreal kRadius = 10;
constexpr int kPadding = 12;
constexpr int kSymbolSize = 16;
constexpr int kCloseSymbolSize = 12;

}  // namespace

ErrorBanner::ErrorBanner(AppStore& store, QWidget* parent) : QWidget(parent), store_(store) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    row->setSpacing(10);
    symbol_ = new QLabel(this);
    symbol_->setFixedSize(kSymbolSize, kSymbolSize);
    row->addWidget(symbol_, 0, Qt::AlignTop);
    // A failure may name a long path: the message wraps inside it rather than widen the page.
    message_ = new WrappedText(this, lessonary::font(home_style::callout));
    message_->setMinimumHeightFollowsWidth(true);
    row->addWidget(message_, 1, Qt::AlignTop);
    close_ = new QToolButton(this);
    close_->setAutoRaise(true);
    close_->setCursor(Qt::PointingHandCursor);
    close_->setIconSize(QSize(kCloseSymbolSize, kCloseSymbolSize));
    row->addWidget(close_, 0, Qt::AlignTop);
    connect(close_, &QToolButton::clicked, this, [this] { store_.setErrorMessage(std::nullopt); });

    connect(&store_, &AppStore::errorMessageChanged, this, &ErrorBanner::showMessage);
    lessonary::follow(this, [this] { retranslate(); }, [this] { restyle(); });
    retranslate();
    restyle();
}

void ErrorBanner::showMessage() {
    const auto& error = store_.errorMessage();
    // A message may carry a path or a code without spaces: it wraps inside the banner.
    message_->setText(error ? UIStrings::text(*error) : QString());
    setVisible(error.has_value());
}

void ErrorBanner::retranslate() {
    close_->setAccessibleName(UIStrings::text(QStringLiteral("关闭提示")));
    close_->setToolTip(close_->accessibleName());
    showMessage();
}

void ErrorBanner::restyle() {
    const ColorScheme scheme = home_style::scheme();
    const qreal ratio = devicePixelRatioF();
    symbol_->setPixmap(SymbolImage::pixmap(QStringLiteral("exclamationmark.circle.fill"),
                                           QSize(kSymbolSize, kSymbolSize), SystemColors::orange(scheme), ratio));
    const QColor ink = LessonaryTheme::ink(scheme);
    close_->setIcon(home_style::symbolIcon(QStringLiteral("xmark"), ink, kCloseSymbolSize, ratio));
    lessonary::setTextColor(message_, ink);
    update();
}

void ErrorBanner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QColor ground = SystemColors::orange(home_style::scheme());
    ground.setAlphaF(0.08f);
    LessonaryTheme::fillRounded(painter, QRectF(rect()), ground, kRadius);
}

}  // namespace velquin
