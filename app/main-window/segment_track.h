#pragma once

#include <QWidget>

namespace velquin {

// The rounded ground of a row of segments (the home page's study modes, the settings sheet's
// appearance), in the rail colour of the current scheme.
class SegmentTrack : public QWidget {
    Q_OBJECT
public:
    static constexpr qreal radius = 8;

    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace velquin
