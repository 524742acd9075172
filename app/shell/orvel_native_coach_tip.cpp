#include "app/shell/orvel_native_coach_tip.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSvgRenderer>

#include "app/shell/orvel_brand.h"
#include "app/shell/orvel_native_coach.h"
#include "app/shell/ui_strings.h"

namespace velquin {

namespace {

constexpr int kSpacing = 8;
constexpr int kPadding = 10;
constexpr qreal kCornerRadius = 9.0;
constexpr int kMessagePixelSize = 12;
constexpr int kSkipPixelSize = 11;
constexpr int kSymbolSize = 14;

// The sparkle symbol in the brand accent; decoration only, so it carries no accessible text.
class SparkleMark : public QWidget {
public:
    explicit SparkleMark(QWidget* parent) : QWidget(parent), renderer_(QStringLiteral(":/images/sparkles.svg")) {
        setFixedSize(kSymbolSize, kSymbolSize);
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        // Draw the shape as a mask and fill it with the accent colour.
        QImage mask(size() * devicePixelRatioF(), QImage::Format_ARGB32_Premultiplied);
        mask.setDevicePixelRatio(devicePixelRatioF());
        mask.fill(Qt::transparent);
        {
            QPainter shape(&mask);
            shape.setRenderHint(QPainter::Antialiasing);
            renderer_.render(&shape, QRectF(QPointF(0, 0), QSizeF(size())));
            shape.setCompositionMode(QPainter::CompositionMode_SourceIn);
            shape.fillRect(QRectF(QPointF(0, 0), QSizeF(size())), OrvelBrand::accent());
        }
        QPainter painter(this);
        painter.drawImage(QPointF(0, 0), mask);
    }

private:
    QSvgRenderer renderer_;
};

}  // namespace

OrvelNativeCoachTip::OrvelNativeCoachTip(const QString& message, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("orvel.onboarding.native-tip"));
    setAttribute(Qt::WA_StyledBackground, false);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    row->setSpacing(kSpacing);

    auto* symbol = new SparkleMark(this);
    row->addWidget(symbol, 0, Qt::AlignVCenter);

    message_ = new QLabel(message, this);
    message_->setTextFormat(Qt::PlainText);
    message_->setWordWrap(true);
    QFont messageFont = font();
    messageFont.setPixelSize(kMessagePixelSize);
    messageFont.setWeight(QFont::Normal);
    message_->setFont(messageFont);
    // Wraps in width, and takes all the height its lines need.
    QSizePolicy messagePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum);
    messagePolicy.setHeightForWidth(true);
    message_->setSizePolicy(messagePolicy);
    row->addWidget(message_, 1, Qt::AlignVCenter);

    // At least 4 pixels before the button; the message takes the rest of the width, so a short
    // message leaves the button at the trailing edge.
    row->addItem(new QSpacerItem(4, 0, QSizePolicy::Fixed, QSizePolicy::Minimum));

    skip_ = new QPushButton(this);
    skip_->setObjectName(QStringLiteral("orvel.onboarding.skip"));
    skip_->setFlat(true);
    skip_->setCursor(Qt::PointingHandCursor);
    QFont skipFont = font();
    skipFont.setPixelSize(kSkipPixelSize);
    skipFont.setWeight(QFont::Medium);
    skip_->setFont(skipFont);
    skip_->setStyleSheet(QStringLiteral("QPushButton { border: none; padding: 2px 4px; background: transparent; }"));
    row->addWidget(skip_, 0, Qt::AlignVCenter);
    connect(skip_, &QPushButton::clicked, this, [] { OrvelNativeCoach::shared().skip(); });

    connect(&ApplicationAppearance::shared(), &ApplicationAppearance::colorSchemeChanged, this,
            [this] { applyScheme(); });
    connect(&InterfaceSettingsCenter::shared(), &InterfaceSettingsCenter::interfaceLanguageDidChange, this,
            [this] { retitle(); });
    retitle();
    applyScheme();
}

QString OrvelNativeCoachTip::message() const { return message_->text(); }

QColor OrvelNativeCoachTip::ink(ColorScheme scheme) {
    return scheme == ColorScheme::dark ? QColor(247, 240, 230) : QColor(52, 44, 39);
}

QColor OrvelNativeCoachTip::subtle(ColorScheme scheme) {
    return scheme == ColorScheme::dark ? QColor(74, 48, 42) : QColor(249, 229, 217);
}

void OrvelNativeCoachTip::retitle() {
    skip_->setText(UIStrings::choose(QStringLiteral("跳过"), QStringLiteral("Skip"), QStringLiteral("Passer")));
    updateGeometry();
}

void OrvelNativeCoachTip::applyScheme() {
    const ColorScheme scheme = ApplicationAppearance::shared().colorScheme();
    QPalette messagePalette = message_->palette();
    messagePalette.setColor(QPalette::WindowText, ink(scheme));
    message_->setPalette(messagePalette);
    QPalette skipPalette = skip_->palette();
    skipPalette.setColor(QPalette::ButtonText, OrvelBrand::accent());
    skip_->setPalette(skipPalette);
    update();
}

void OrvelNativeCoachTip::changeEvent(QEvent* event) {
    // A new application palette replaces the children's colours: put ours back.
    if (event->type() == QEvent::PaletteChange && message_ && skip_) {
        const ColorScheme scheme = ApplicationAppearance::shared().colorScheme();
        if (message_->palette().color(QPalette::WindowText) != ink(scheme)) applyScheme();
    }
    QWidget::changeEvent(event);
}

void OrvelNativeCoachTip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
    painter.fillPath(path, subtle(ApplicationAppearance::shared().colorScheme()));
}

}  // namespace velquin
