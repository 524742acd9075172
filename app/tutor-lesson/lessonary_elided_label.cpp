#include "app/tutor-lesson/lessonary_elided_label.h"

#include <QEvent>
#include <QTextLayout>

namespace velquin {

LessonaryElidedLabel::LessonaryElidedLabel(int maximumLines, QWidget* parent)
    : QLabel(parent), maximumLines_(qMax(1, maximumLines)) {
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void LessonaryElidedLabel::setFullText(const QString& text) {
    if (text == full_ && !QLabel::text().isNull()) return;
    full_ = text;
    forgetLayouts();
    setToolTip(QString());
    relayout();
    updateGeometry();
}

void LessonaryElidedLabel::forgetLayouts() {
    laid_.clear();
    natural_ = -1;
}

QString LessonaryElidedLabel::layoutFor(int width, int* lines) const {
    width = qMax(1, width);
    for (const Laid& known : std::as_const(laid_)) {
        if (known.width != width) continue;
        if (lines) *lines = known.lines;
        return known.shown;
    }
    struct Line {
        int paragraph;
        int start;
        int length;
    };
    const QStringList paragraphs = full_.split(QLatin1Char('\n'));
    QList<Line> all;
    for (int p = 0; p < paragraphs.size() && all.size() <= maximumLines_; ++p) {
        QTextLayout layout(paragraphs.at(p), font());
        QTextOption option;
        option.setWrapMode(maximumLines_ == 1 ? QTextOption::NoWrap : QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            all.append({p, line.textStart(), line.textLength()});
        }
        layout.endLayout();
        if (paragraphs.at(p).isEmpty()) all.append({p, 0, 0});
    }
    QStringList shown;
    const qsizetype kept = qMin<qsizetype>(all.size(), maximumLines_);
    for (qsizetype i = 0; i < kept; ++i) {
        const Line& line = all.at(i);
        const QString& paragraph = paragraphs.at(line.paragraph);
        if (i + 1 == kept && all.size() > maximumLines_) {
            // The last line shown takes the rest of the text, cut with an ellipsis.
            QString rest = paragraph.mid(line.start);
            for (int p = line.paragraph + 1; p < paragraphs.size(); ++p) rest += QLatin1Char(' ') + paragraphs.at(p);
            shown << QFontMetrics(font()).elidedText(rest, Qt::ElideRight, width);
        } else if (maximumLines_ == 1) {
            shown << QFontMetrics(font()).elidedText(paragraph, Qt::ElideRight, width);
        } else {
            shown << paragraph.mid(line.start, line.length).trimmed();
        }
    }
    const Laid result{width, shown.join(QLatin1Char('\n')), qMax<int>(1, int(shown.size()))};
    if (laid_.size() == 4) laid_.removeLast();
    laid_.prepend(result);
    if (lines) *lines = result.lines;
    return result.shown;
}

int LessonaryElidedLabel::heightForWidth(int width) const {
    int lines = 1;
    layoutFor(width - contentsMargins().left() - contentsMargins().right(), &lines);
    return lines * QFontMetrics(font()).lineSpacing() + contentsMargins().top() + contentsMargins().bottom();
}

QSize LessonaryElidedLabel::sizeHint() const {
    // Whole pixels that surely hold the first line.
    if (natural_ < 0)
        natural_ = qCeil(QFontMetricsF(font()).horizontalAdvance(full_.section(QLatin1Char('\n'), 0, 0))) + 1;
    return {natural_, heightForWidth(natural_)};
}

QSize LessonaryElidedLabel::minimumSizeHint() const { return {0, QFontMetrics(font()).lineSpacing()}; }

void LessonaryElidedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    relayout();
}

void LessonaryElidedLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        forgetLayouts();
        relayout();
        updateGeometry();
    }
}

void LessonaryElidedLabel::relayout() {
    const QString shown = layoutFor(contentsRect().width(), nullptr);
    if (shown != QLabel::text()) QLabel::setText(shown);
    setToolTip(shown == full_ ? QString() : full_);
}

}  // namespace velquin
