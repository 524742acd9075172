#include "app/main-window/answer_text.h"

#include <cmath>

#include "app/main-window/home_style.h"
#include "app/tutor-lesson/lessonary_view_support.h"

namespace velquin {

AnswerText::AnswerText(int pixelSize, int lineSpacing, QWidget* parent)
    : QTextEdit(parent), lineSpacing_(lineSpacing) {
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setFont(lessonary::font(pixelSize));
    document()->setDocumentMargin(0);
    home_style::clearBase(this);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void AnswerText::setAnswer(const QString& text) {
    if (text == shown_.answer() && !document()->isEmpty()) return;
    shown_ = ShownAnswer(text);
    shown_.show(this, lineSpacing_);
    fitHeight();
}

QSize AnswerText::sizeHint() const { return {QTextEdit::sizeHint().width(), height()}; }

QSize AnswerText::minimumSizeHint() const { return {0, height()}; }

void AnswerText::resizeEvent(QResizeEvent* event) {
    QTextEdit::resizeEvent(event);
    fitHeight();
}

QMimeData* AnswerText::createMimeDataFromSelection() const { return shown_.selection(this); }

void AnswerText::fitHeight() {
    document()->setTextWidth(viewport()->width());
    const int wanted = int(std::ceil(document()->size().height())) + 2 * frameWidth();
    if (wanted != height()) setFixedHeight(wanted);
}

}  // namespace velquin
