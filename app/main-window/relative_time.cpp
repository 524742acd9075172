#include "app/main-window/relative_time.h"

#include <array>
#include <cmath>

namespace velquin {

namespace {

struct Unit {
    double seconds;
    double upTo;  // the unit holds ages below this; the next unit takes over there
    const char* chinese;
    const char* englishOne;
    const char* englishMany;
    const char* frenchOne;
    const char* frenchMany;
};

constexpr double kMinute = 60;
constexpr double kHour = 3600;
constexpr double kDay = 86400;
constexpr double kWeek = 7 * kDay;
constexpr double kMonth = 30 * kDay;
constexpr double kYear = 365 * kDay;

constexpr std::array<Unit, 7> kUnits{{
    {1, kMinute, "%1 秒前", "%1 second ago", "%1 seconds ago", "il y a %1 seconde", "il y a %1 secondes"},
    {kMinute, kHour, "%1 分钟前", "%1 minute ago", "%1 minutes ago", "il y a %1 minute", "il y a %1 minutes"},
    {kHour, kDay, "%1 小时前", "%1 hour ago", "%1 hours ago", "il y a %1 heure", "il y a %1 heures"},
    {kDay, kWeek, "%1 天前", "%1 day ago", "%1 days ago", "il y a %1 jour", "il y a %1 jours"},
    {kWeek, kMonth, "%1 周前", "%1 week ago", "%1 weeks ago", "il y a %1 semaine", "il y a %1 semaines"},
    {kMonth, kYear, "%1 个月前", "%1 month ago", "%1 months ago", "il y a %1 mois", "il y a %1 mois"},
    {kYear, INFINITY, "%1 年前", "%1 year ago", "%1 years ago", "il y a %1 an", "il y a %1 ans"},
}};

double clampedAge(double secondsAgo) { return std::isfinite(secondsAgo) && secondsAgo > 0 ? secondsAgo : 0; }

const Unit& unitFor(double age) {
    for (const Unit& unit : kUnits) {
        if (age < unit.upTo) return unit;
    }
    return kUnits.back();
}

}  // namespace

QString RelativeTime::text(double secondsAgo, InterfaceLanguage language) {
    const double age = clampedAge(secondsAgo);
    const Unit& unit = unitFor(age);
    const double count = std::floor(age / unit.seconds);
    const char* pattern = nullptr;
    switch (effectiveLanguage(language)) {
    case InterfaceLanguage::chinese: pattern = unit.chinese; break;
    case InterfaceLanguage::french: pattern = count < 2 ? unit.frenchOne : unit.frenchMany; break;
    default: pattern = count == 1 ? unit.englishOne : unit.englishMany; break;
    }
    return QString::fromUtf8(pattern).arg(QString::number(count, 'f', 0));
}

double RelativeTime::secondsUntilChange(double secondsAgo) {
    const double age = clampedAge(secondsAgo);
    const Unit& unit = unitFor(age);
    const double nextCount = (std::floor(age / unit.seconds) + 1) * unit.seconds;
    return std::min(nextCount, unit.upTo) - age;
}

}  // namespace velquin
