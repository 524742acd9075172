#pragma once

#include <QWidget>

namespace velquin {

// The paper card the lesson wraps its sections in: the content 18 pixels in from every edge, as
// wide as the space offered and aligned to the leading edge, on the `card` colour with a radius
// of 14 and the `line` border drawn inside its edge.
class LessonaryPaperCard : public QWidget {
    Q_OBJECT
public:
    static constexpr int padding = 18;
    static constexpr qreal cornerRadius = 14.0;

    // Takes `content` (may be null: an empty card, 36 pixels high).
    explicit LessonaryPaperCard(QWidget* content, QWidget* parent = nullptr);

    QWidget* content() const { return content_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget* content_ = nullptr;
};

}  // namespace velquin
