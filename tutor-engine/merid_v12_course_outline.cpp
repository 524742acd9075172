#include "tutor-engine/merid_v12_course_outline.h"

#include <QRegularExpression>

#include <algorithm>

#include "base/json.h"
#include "base/text.h"

namespace meridcore {

using namespace base::json;

QJsonObject MeridV12SourceTopic::toJson() const {
    QJsonObject object{
        {QStringLiteral("id"), id},
        {QStringLiteral("heading"), heading},
        {QStringLiteral("lineNumber"), lineNumber},
        {QStringLiteral("detectedFromHeading"), detectedFromHeading},
    };
    insertOptional(object, QStringLiteral("sourceMarker"), sourceMarker);
    return object;
}

MeridV12SourceTopic MeridV12SourceTopic::fromJson(const QJsonObject& object) {
    MeridV12SourceTopic topic;
    topic.id = requireString(object, QStringLiteral("id"));
    topic.heading = requireString(object, QStringLiteral("heading"));
    topic.lineNumber = requireInteger(object, QStringLiteral("lineNumber"));
    topic.sourceMarker = optionalString(object, QStringLiteral("sourceMarker"));
    topic.detectedFromHeading = requireBool(object, QStringLiteral("detectedFromHeading"));
    return topic;
}

namespace MeridV12CourseOutline {

QString markerPattern() { return QStringLiteral(R"(\[第\s*[0-9]+\s*(?:页|张幻灯片)\])"); }

QString headingPattern() {
    return QStringLiteral(
        R"((?i)^(?:#{1,4}\s+|(?:chapter|topic|week|unit|section)\s+[0-9ivxlcdm]+[\s:.\-]+|第[一二三四五六七八九十0-9]+[章节]))");
}

QString cleanupPattern() { return QStringLiteral(R"(^#{1,4}\s+)"); }

MeridV12SourceTopic fallbackTopic() {
    return MeridV12SourceTopic{QStringLiteral("unstructured"), QStringLiteral("资料已导入，尚未识别章节"), 1,
                               std::nullopt, false};
}

QList<MeridV12SourceTopic> build(const TeacherMaterial& material, int maxTopics) {
    // \s has to reach U+3000 and the other Unicode spaces, as it does in the patterns' own dialect.
    const auto options = QRegularExpression::UseUnicodePropertiesOption;
    const QRegularExpression marker(markerPattern(), options);
    const QRegularExpression heading(headingPattern(), options);
    const QRegularExpression cleanup(cleanupPattern(), options);
    const qsizetype limit = std::max(1, maxTopics);

    QList<MeridV12SourceTopic> topics;
    std::optional<QString> currentMarker;
    const QStringList lines = base::text::splitLines(material.text());
    for (qsizetype index = 0; index < lines.size(); ++index) {
        const QString line = base::text::trimmed(lines.at(index));
        if (line.isEmpty()) continue;

        // Every line moves the marker, the long ones and the heading itself included.
        if (marker.isValid()) {
            const QRegularExpressionMatch found = marker.match(line);
            if (found.hasMatch()) currentMarker = found.captured(0);
        }

        if (base::text::graphemeCountExceeds(line, maxHeadingLength)) continue;
        if (!heading.isValid()) continue;
        const QRegularExpressionMatch match = heading.match(line);
        if (!match.hasMatch() || match.capturedStart() != 0) continue;

        QString text = line;
        if (cleanup.isValid()) text.replace(cleanup, QString());
        const qint64 lineNumber = index + 1;
        topics.append(MeridV12SourceTopic{QStringLiteral("line-") + QString::number(lineNumber), text, lineNumber,
                                          currentMarker, true});
        if (topics.size() >= limit) break;
    }
    if (topics.isEmpty()) topics.append(fallbackTopic());
    return topics;
}

}  // namespace MeridV12CourseOutline

}  // namespace meridcore
