#pragma once

#include <QColor>
#include <QWidget>

#include "app/shell/application_appearance.h"

namespace velquin {

// A rounded area of the lesson: filled with one colour token, optionally outlined inside its edge
// (line width 1) in another, in the current colour scheme. Its content is laid out by its owner.
class LessonaryPanel : public QWidget {
    Q_OBJECT
public:
    using Token = QColor (*)(ColorScheme);

    // `fill` and `border` may be null (nothing filled, no outline).
    LessonaryPanel(Token fill, Token border, qreal radius, QWidget* parent = nullptr);

    void setFill(Token fill);
    // A fill that is not a token (a fixed colour); an invalid colour goes back to the token.
    void setFillColor(const QColor& color);
    qreal radius() const { return radius_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Token fill_;
    Token border_;
    QColor fillColor_;
    qreal radius_;
};

}  // namespace velquin
