#pragma once

#include <QWidget>

class QVBoxLayout;

namespace velquin {

// A card of the home page: the theme's surface inside a rounded rectangle outlined with the theme's
// border of the same radius. Its content is a column inset by `padding` on every side.
class SurfaceCard : public QWidget {
    Q_OBJECT
public:
    SurfaceCard(qreal radius, int padding, int spacing, QWidget* parent = nullptr);

    QVBoxLayout* column() const { return column_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    qreal radius_;
    QVBoxLayout* column_ = nullptr;
};

}  // namespace velquin
