#pragma once

#include <QColor>
#include <QWidget>

namespace velquin {

// One line of plain text in a colour of its own, cut off with "…" where the label is narrower than
// the text. Line breaks show as spaces. `text()` is the whole text; so is the accessible name.
class ElidedLabel : public QWidget {
    Q_OBJECT
public:
    explicit ElidedLabel(QWidget* parent = nullptr);

    const QString& text() const { return text_; }
    void setText(const QString& text);
    void setColor(const QColor& color);
    // Left (the default) or right.
    void setAlignment(Qt::Alignment alignment);
    // The part of the text that fits the label's width now.
    QString shownText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QString text_;
    QString line_;  // the text on one line
    QColor color_;
    Qt::Alignment alignment_ = Qt::AlignLeft;
};

}  // namespace velquin
