#include "app/tutor-lesson/orvel_native_coach_tip.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSvgRenderer>

#include "app/shell/orvel_brand.h"
#include "app/shell/ui_strings.h"
#include "app/tutor-lesson/lessonary_merid_palette.h"
#include "app/tutor-lesson/lessonary_view_support.h"

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
    connect(skip_, &QPushButton::clicked, this, &OrvelNativeCoachTip::skipRequested);

    lessonary::follow(this, [this] { retranslate(); }, [this] { restyle(); });
    retranslate();
    restyle();
}

QString OrvelNativeCoachTip::message() const { return message_->text(); }

void OrvelNativeCoachTip::retranslate() {
    skip_->setText(UIStrings::choose(QStringLiteral("跳过"), QStringLiteral("Skip"), QStringLiteral("Passer")));
    updateGeometry();
}

void OrvelNativeCoachTip::restyle() {
    QPalette messagePalette = message_->palette();
    messagePalette.setColor(QPalette::WindowText, LessonaryMERIDPalette::ink(lessonary::currentScheme()));
    message_->setPalette(messagePalette);
    QPalette skipPalette = skip_->palette();
    skipPalette.setColor(QPalette::ButtonText, OrvelBrand::accent());
    skip_->setPalette(skipPalette);
    update();
}

void OrvelNativeCoachTip::changeEvent(QEvent* event) {
    // A new application palette replaces the children's colours: put ours back.
    if (event->type() == QEvent::PaletteChange && message_ && skip_) {
        const QColor ink = LessonaryMERIDPalette::ink(lessonary::currentScheme());
        if (message_->palette().color(QPalette::WindowText) != ink) restyle();
    }
    QWidget::changeEvent(event);
}

void OrvelNativeCoachTip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
    painter.fillPath(path, LessonaryMERIDPalette::subtle(lessonary::currentScheme()));
}

}  // namespace velquin
