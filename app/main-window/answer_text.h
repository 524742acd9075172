#pragma once

#include <QTextEdit>

#include "app/shell/shown_answer.h"

namespace velquin {

// An answer shown as plain text the user can select and copy: wrapped to the width it is given,
// as tall as its lines (it never scrolls by itself), with extra space between lines. A very long
// answer shows only its beginning (see ShownAnswer); screen readers read it as written.
class AnswerText : public QTextEdit, public ShownAnswerView {
    Q_OBJECT
public:
    AnswerText(int pixelSize, int lineSpacing, QWidget* parent = nullptr);

    void setAnswer(const QString& text);
    // The text as it was given.
    const QString& answer() const { return shown_.answer(); }
    // Whether only the beginning of the answer is shown.
    bool isCut() const { return shown_.isCut(); }
    const ShownAnswer& shownAnswer() const override { return shown_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    QMimeData* createMimeDataFromSelection() const override;

private:
    void fitHeight();

    int lineSpacing_;
    ShownAnswer shown_;
};

}  // namespace velquin
