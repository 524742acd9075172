#pragma once

#include <QTimer>
#include <QWidget>

namespace velquin {

// A small indeterminate progress indicator in the secondary ink: an arc that turns while the spinner
// is shown.
class BusySpinner : public QWidget {
    Q_OBJECT
public:
    explicit BusySpinner(int size, QWidget* parent = nullptr);

    bool isSpinning() const { return timer_.isActive(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QTimer timer_;
    int angle_ = 0;
};

}  // namespace velquin
