#include "app/tutor-lesson/merid_math_rich_text.h"

#include <QAbstractScrollArea>
#include <QLabel>
#include <QScrollBar>
#include <QVBoxLayout>

#include <unistd.h>

#include "app/tutor-lesson/lessonary_merid_palette.h"
#include "app/tutor-lesson/lessonary_view_support.h"
#include "app/tutor-lesson/merid_math_assets.h"
#include "app/tutor-lesson/merid_math_bridge.h"
#include "app/tutor-lesson/merid_math_views.h"

namespace velquin {

namespace {

constexpr int kNativeLineSpacing = 6;

// The text as markup that shows exactly the text: escaped, white space kept, lines 6 apart.
QString nativeMarkup(const QString& text) {
    return QStringLiteral("<div style=\"white-space:pre-wrap; line-height:%1px; -qt-line-height-type:line-distance\">")
               .arg(kNativeLineSpacing) +
           text.toHtmlEscaped() + QStringLiteral("</div>");
}

// Whether the web engine can run in this process: as the super-user only with its sandbox switched
// off (it would abort otherwise).
bool webEngineCanStart() { return ::geteuid() != 0 || MeridMathViews::sandboxDisabled(); }

}  // namespace

MeridMathRichText::MeridMathRichText(const QString& text, qreal fontSize, QFont::Weight weight, bool isReminderCard,
                                     QWidget* parent)
    : QWidget(parent),
      text_(text),
      fontSize_(fontSize),
      weight_(weight),
      reminderCard_(isReminderCard),
      measuredHeight_(MeridMathBridge::initialHeight) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum);
    lessonary::follow(this, nullptr, [this] { refresh(); });
    refresh();
}

bool MeridMathRichText::takesWebPath(const QString& text) {
    // The module is opened here, with the first text that has formulas.
    return MeridMathBridge::isFormulaCandidate(text) && MeridMathAssets::available() && webEngineCanStart() &&
           MeridMathViews::shared();
}

void MeridMathRichText::setText(const QString& text) {
    if (text == text_) return;
    text_ = text;
    refresh();
}

void MeridMathRichText::refresh() {
    if (takesWebPath(text_))
        showWeb();
    else
        showNative();
}

void MeridMathRichText::showNative() {
    if (web_) {
        delete web_;
        web_ = nullptr;
    }
    if (!label_) {
        label_ = new QLabel(this);
        label_->setTextFormat(Qt::RichText);
        label_->setWordWrap(true);
        label_->setTextInteractionFlags(Qt::TextSelectableByMouse);
        label_->setOpenExternalLinks(false);
        label_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Minimum);
        policy.setHeightForWidth(true);
        label_->setSizePolicy(policy);
        layout()->addWidget(label_);
    }
    // The native text keeps the size it was given; only the page is held to 11..30.
    QFont font = lessonary::font(1, weight_);
    font.setPixelSize(qMax(1, qRound(fontSize_)));
    label_->setFont(font);
    lessonary::setTextColor(label_, LessonaryMERIDPalette::ink(lessonary::currentScheme()));
    label_->setText(nativeMarkup(text_));
}

void MeridMathRichText::showWeb() {
    if (label_) {
        delete label_;
        label_ = nullptr;
    }
    const MeridMathViews* views = MeridMathViews::shared();
    if (!web_) {
        web_ = views->create(
            this, [this](const QVariant& body) { takeHeight(body); },
            [this](const QVariant& body) { takeWheel(body); });
        web_->setObjectName(QStringLiteral("orvel.merid.math-rendered"));
        web_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        web_->setFixedHeight(qRound(MeridMathBridge::viewHeight(measuredHeight_)));
        layout()->addWidget(web_);
    }
    views->setContent(web_, text_, fontSize_, lessonary::currentScheme() == ColorScheme::dark, reminderCard_);
}

void MeridMathRichText::takeHeight(const QVariant& body) {
    const std::optional<qreal> height = MeridMathBridge::acceptedHeight(body, measuredHeight_);
    if (!height) return;
    measuredHeight_ = *height;
    if (web_) web_->setFixedHeight(qRound(MeridMathBridge::viewHeight(measuredHeight_)));
}

void MeridMathRichText::takeWheel(const QVariant& body) {
    // The wheel turned over the page scrolls the nearest scroll area around the text.
    for (QWidget* ancestor = parentWidget(); ancestor; ancestor = ancestor->parentWidget()) {
        auto* area = qobject_cast<QAbstractScrollArea*>(ancestor);
        if (!area) continue;
        QScrollBar* bar = area->verticalScrollBar();
        // Moved as the student's own scrolling is (the bar's slider action), not set from the program.
        if (const std::optional<int> position = MeridMathBridge::wheelPosition(body, bar->value(), bar->maximum()))
            bar->setSliderPosition(*position);
        return;
    }
}

}  // namespace velquin
