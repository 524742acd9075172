#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

#include "tutor-engine/teacher_material.h"

namespace meridcore {

// One chapter or section heading found in a material's text.
struct MeridV12SourceTopic {
    // "line-" + the line number; "unstructured" for the fallback topic.
    QString id;
    // The trimmed heading line without a leading Markdown mark ("## ").
    QString heading;
    // 1-based line of the heading; every newline character ends a line and empty lines count.
    qint64 lineNumber = 0;
    // The page or slide label last seen on the heading's line or above it.
    std::optional<QString> sourceMarker;
    // False only for the fallback topic.
    bool detectedFromHeading = false;

    bool operator==(const MeridV12SourceTopic&) const = default;

    // `sourceMarker` is left out when absent. Decoding throws base::JsonDecodeError when `id`,
    // `heading`, `lineNumber` or `detectedFromHeading` is missing or of the wrong type.
    QJsonObject toJson() const;
    static MeridV12SourceTopic fromJson(const QJsonObject& object);
};

// Finds the chapter and section headings of a material, line by line. Pure functions.
namespace MeridV12CourseOutline {

inline constexpr int defaultMaxTopics = 80;
// A trimmed line longer than this (in characters) is never a heading.
inline constexpr qsizetype maxHeadingLength = 120;

// A page or slide label such as "[第 3 页]" or "[第2张幻灯片]".
QString markerPattern();
// Markdown headings of one to four "#", "Chapter 3:"-like English prefixes and "第三章"/"第12节".
QString headingPattern();
// The Markdown mark removed from a heading's text.
QString cleanupPattern();

// The single topic of a text without recognisable headings.
MeridV12SourceTopic fallbackTopic();

// The headings of the material's text in line order, at most max(1, maxTopics) of them; the
// fallback topic alone when no line is a heading. Never empty.
QList<MeridV12SourceTopic> build(const TeacherMaterial& material, int maxTopics = defaultMaxTopics);

}  // namespace MeridV12CourseOutline

}  // namespace meridcore
