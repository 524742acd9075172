#pragma once

#include <QString>

#include "app/shell/interface_settings.h"

namespace velquin {

// How long ago something happened, in whole seconds, minutes, hours, days, weeks, months (30
// days) or years (365 days), the largest unit that fits: "2 小时前", "2 hours ago", "il y a 2
// heures". A moment in the future counts as now.
class RelativeTime {
public:
    RelativeTime() = delete;

    // In the effective language of `language`.
    static QString text(double secondsAgo, InterfaceLanguage language);
    // Seconds until `text` changes for a moment `secondsAgo` in the past.
    static double secondsUntilChange(double secondsAgo);
};

}  // namespace velquin
