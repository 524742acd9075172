#pragma once

#include <QHash>
#include <QTextLayout>
#include <QWidget>

#include "app/shell/shown_answer.h"

namespace velquin {

// Plain text wrapped to the widget's width: at word boundaries, and inside a word only when it does
// not fit on a line, so that no text ever makes its window wider (a name, an e-mail address, a file
// name or an error code without spaces breaks where the line ends). It asks for no width of its
// own: its least width is 0 and its height follows its width. Screen readers read it as a label.
// Selectable by default: the mouse selects, the copy key and the context menu copy the text as it
// is. It lays its text out once per width, far cheaper than a selectable label, so that a list can
// hold many long texts. It shows a text as the answer views do (ShownAnswer): a long text only in
// its beginning, then "…", and a long run without a break opportunity with breaks of its own that
// its text, its lines and what it copies leave out.
class WrappedText : public QWidget {
    Q_OBJECT
public:
    WrappedText(QWidget* parent, const QFont& font);

    void setText(const QString& text);
    // The text as shown (cut when it was longer).
    const QString& text() const { return plain_; }
    QString selectedText() const;

    // Off: the text takes neither the mouse nor the focus (a press reaches the widget below).
    void setSelectable(bool selectable);
    // Left (the default), centred or right.
    void setAlignment(Qt::Alignment alignment);
    // At most this many lines show; 0 (the default): every line.
    void setMaximumLines(int lines);
    // On: the least height is what the lines take at the widget's width now, for layouts that do
    // not ask for the height at the width they give (a row of a page that scrolls).
    void setMinimumHeightFollowsWidth(bool follows);
    // The lines of the text as laid out at the widget's width now.
    QStringList shownLines() const;

    // The height `text` takes at `width` in `font`, as this widget lays it out.
    static int heightFor(const QString& text, const QFont& font, int width);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    // As wide as the longest line without wrapping (up to `preferredWidth`), as tall as that takes.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return QSize(0, 0); }

    static constexpr int preferredWidth = 400;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // The text behind the shown range [from, to), with the "…" of a cut text.
    QString plainText(qsizetype from, qsizetype to) const;
    // Lays the text out at `width` into `layout`; returns its height.
    static int lay(QTextLayout& layout, int width, Qt::Alignment alignment = Qt::AlignLeft, int maximumLines = 0);
    void ensureLayout() const;
    void keepLinesWhole();
    int positionAt(const QPoint& point) const;
    void copy() const;

    ShownAnswer answer_;
    QString shown_;  // as laid out
    QString plain_;
    mutable QTextLayout layout_;
    mutable int laidWidth_ = -1;
    mutable int laidHeight_ = 0;
    mutable int naturalWidth_ = -1;         // of the longest line unwrapped; -1: not measured yet
    mutable QHash<int, int> otherHeights_;  // at widths other than the widget's, by width
    Qt::Alignment alignment_ = Qt::AlignLeft;
    int maximumLines_ = 0;
    bool minimumHeightFollowsWidth_ = false;
    bool selectable_ = true;
    int anchor_ = 0;
    int cursor_ = 0;
};

}  // namespace velquin
