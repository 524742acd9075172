#pragma once

#include <QRectF>

#include "app/shell/application_appearance.h"
#include "base/raw_value.h"

class QPainter;

namespace velquin {

// What the bulb tells about the answer: nothing yet, being asked, answered.
enum class FloatingBulbPhase { idle, querying, done };

constexpr auto rawValueTable(FloatingBulbPhase) {
    using enum FloatingBulbPhase;
    return base::rawValues<FloatingBulbPhase>({{idle, u"idle"}, {querying, u"querying"}, {done, u"done"}});
}

// The lightbulb of select-anywhere, drawn wherever it is shown (the icon beside a selection, the
// answer panel's header) by this one routine, in the light or dark variant and with the phase's
// overlay. Every length is a fraction of the target rectangle, so one drawing serves every size.
class FloatingBulbArtwork {
public:
    FloatingBulbArtwork() = delete;

    // Draws into `painter` within `target` (the painter's coordinates, y down). The bulb is the
    // middle 84 % of a square picture whose outer band stays empty; the overlay is only stroked.
    static void paint(QPainter& painter, const QRectF& target, ColorScheme scheme, FloatingBulbPhase phase);
};

}  // namespace velquin
