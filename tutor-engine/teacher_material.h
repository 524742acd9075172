#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>

#include "tutor-engine/teacher_workspace_error.h"

namespace meridcore {

// One item of imported course material: a display name, the whole extracted text and a note on
// how it was obtained. The tutor sees it one segment of `chunkSize` characters at a time; all
// lengths here count grapheme clusters.
class TeacherMaterial {
public:
    static constexpr qsizetype chunkSize = 2400;
    static constexpr qsizetype maxTextLength = 100000;
    static constexpr qsizetype maxNameLength = 160;
    static constexpr qsizetype maxNoteLength = 320;

    // Trims the text (1 to 100,000 characters after trimming), cuts the name to 160 and the note
    // to 320 characters. Throws TeacherWorkspaceError: emptyMaterial, materialTooLong.
    TeacherMaterial(const QString& name, const QString& text, const QString& note);

    const QString& name() const { return name_; }
    const QString& text() const { return text_; }
    const QString& note() const { return note_; }

    // The segments of the text in order, recomputed on every call; a cluster is never split.
    QStringList chunks() const;
    // Number of segments.
    qsizetype count() const;

    // The latest page or slide label ("[第 3 页]", "[第 12 张幻灯片]") at or before the end of
    // segment `index`; absent for an index outside the material or when there is none.
    std::optional<QString> sourceMarker(qsizetype index) const;

    // The page and slide labels that occur in `text`, in order: the form the importers write.
    static QStringList sourceLabels(const QString& text);

    // JSON object {"name", "text", "note"}. Decoding takes the three strings exactly as stored,
    // without trimming or length checks; throws base::JsonDecodeError when one is missing or not a string.
    QJsonObject toJson() const;
    static TeacherMaterial fromJson(const QJsonObject& object);

    bool operator==(const TeacherMaterial& other) const = default;

private:
    struct Unchecked {};
    TeacherMaterial(Unchecked, QString name, QString text, QString note)
        : name_(std::move(name)), text_(std::move(text)), note_(std::move(note)) {}

    QString name_;
    QString text_;
    QString note_;
};

}  // namespace meridcore
