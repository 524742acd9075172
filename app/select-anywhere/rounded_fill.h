#pragma once

#include <QColor>
#include <QWidget>

namespace velquin {

// A plain surface behind other widgets: one colour in a rounded rectangle over the whole widget.
class RoundedFill : public QWidget {
public:
    RoundedFill(qreal radius, QWidget* parent = nullptr) : QWidget(parent), radius_(radius) {}

    void setFill(const QColor& fill);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    qreal radius_;
    QColor fill_;
};

}  // namespace velquin
