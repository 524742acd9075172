#pragma once

#include <QTextLayout>
#include <QWidget>

namespace velquin {

// Plain text wrapped to the widget's width (at word boundaries, inside a word only when it does not
// fit on a line), selectable with the mouse and copied with the copy key or the context menu. It
// lays its text out once per width, far cheaper than a selectable label, so that a list can hold
// many long texts. Text beyond what an answer view shows (ShownAnswer::limit characters) is not
// shown; the last one shown is "…".
class SelectableText : public QWidget {
    Q_OBJECT
public:
    SelectableText(QWidget* parent, const QFont& font);

    void setText(const QString& text);
    // The text as shown (cut when it was longer).
    const QString& text() const { return shown_; }
    QString selectedText() const;

    // The height `text` takes at `width` in `font`, as this widget lays it out.
    static int heightFor(const QString& text, const QFont& font, int width);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return QSize(0, 0); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    static QString cut(const QString& text);
    // Lays the text out at `width` into `layout`; returns its height.
    static int lay(QTextLayout& layout, int width);
    void ensureLayout() const;
    int positionAt(const QPoint& point) const;
    void copy() const;

    QString shown_;
    mutable QTextLayout layout_;
    mutable int laidWidth_ = -1;
    mutable int laidHeight_ = 0;
    int anchor_ = 0;
    int cursor_ = 0;
};

}  // namespace velquin
