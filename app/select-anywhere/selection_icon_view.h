#pragma once

#include <QWidget>

#include <functional>

namespace velquin {

// The bulb offered beside a fresh selection, in the phase idle. A press of the left button calls
// `clicked` at once (the first press counts even while another program is active) and goes no
// further; without a callback it does nothing.
class SelectionIconView : public QWidget {
    Q_OBJECT
public:
    explicit SelectionIconView(QWidget* parent = nullptr);

    void setClicked(std::function<void()> clicked) { clicked_ = std::move(clicked); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    std::function<void()> clicked_;
};

}  // namespace velquin
