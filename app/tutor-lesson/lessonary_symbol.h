#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>
#include <QWidget>

namespace velquin {

// One of the interface's line symbols (SymbolImage), drawn in one colour. As a widget
// it is decoration only: it takes no focus and has no accessible text. It can sit centred in a
// filled rounded badge.
class LessonarySymbol : public QWidget {
    Q_OBJECT
public:
    LessonarySymbol(const QString& name, int pixelSize, QWidget* parent = nullptr);

    QString name() const { return name_; }
    void setName(const QString& name);
    void setColor(const QColor& color);
    // Draws the symbol centred in a `box` square filled with `fill` at corner `radius`.
    void setBadge(int box, const QColor& fill, qreal radius);

    // The symbol at `pixelSize` in `color`, for the given device pixel ratio; transparent when unknown.
    static QPixmap pixmap(const QString& name, const QColor& color, int pixelSize, qreal devicePixelRatio = 1.0);
    // The same as an icon for buttons (normal and disabled).
    static QIcon icon(const QString& name, const QColor& color, int pixelSize, const QColor& disabledColor = {});

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString name_;
    int pixelSize_;
    QColor color_;
    int box_ = 0;
    QColor fill_;
    qreal radius_ = 0;
};

}  // namespace velquin
