#pragma once

#include <QLabel>

namespace velquin {

// A plain-text label that wraps onto at most `maximumLines` lines and cuts the last one with an
// ellipsis; one line never wraps. The full text stays available as `fullText` and as tooltip.
class LessonaryElidedLabel : public QLabel {
    Q_OBJECT
public:
    LessonaryElidedLabel(int maximumLines, QWidget* parent = nullptr);

    void setFullText(const QString& text);
    QString fullText() const { return full_; }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // The text laid out in `width`: the lines shown and whether any was cut.
    QString layoutFor(int width, int* lines) const;
    void relayout();
    void forgetLayouts();

    int maximumLines_;
    QString full_;
    // The last few widths laid out (layouts ask the same widths again and again), and the width of
    // the first line; both forgotten when the text or the font changes.
    struct Laid {
        int width;
        QString shown;
        int lines;
    };
    mutable QList<Laid> laid_;
    mutable int natural_ = -1;
};

}  // namespace velquin
