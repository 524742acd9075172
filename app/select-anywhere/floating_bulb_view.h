#pragma once

#include <QWidget>

#include "app/select-anywhere/floating_bulb_artwork.h"

namespace velquin {

// The bulb in a phase, drawn over the whole widget in the application's light or dark variant.
// It takes no input: clicks go to whatever lies beneath it.
class FloatingBulbView : public QWidget {
    Q_OBJECT
public:
    explicit FloatingBulbView(FloatingBulbPhase phase = FloatingBulbPhase::idle, QWidget* parent = nullptr);

    FloatingBulbPhase phase() const { return phase_; }
    // Redraws when the phase changes.
    void setPhase(FloatingBulbPhase phase);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    FloatingBulbPhase phase_;
};

}  // namespace velquin
