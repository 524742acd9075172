#pragma once

#include <QTextEdit>

namespace velquin {

// An answer shown as plain text the user can select and copy: wrapped to the width it is given,
// as tall as its lines (it never scrolls by itself), with extra space between lines.
class AnswerText : public QTextEdit {
    Q_OBJECT
public:
    AnswerText(int pixelSize, int lineSpacing, QWidget* parent = nullptr);

    void setAnswer(const QString& text);
    // The text as it was given.
    const QString& answer() const { return answer_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void fitHeight();

    int lineSpacing_;
    QString answer_;
};

}  // namespace velquin
