#pragma once

#include <QString>

#include <optional>

#include "tutor-engine/teacher_material.h"
#include "tutor-engine/teacher_mode.h"

namespace meridcore {

// Ready-made student instructions and the text of a lesson request over one material segment.
class TeacherStageFlow {
public:
    TeacherStageFlow() = delete;

    static constexpr qsizetype maxInputWithMaterial = 1000;
    static constexpr qsizetype maxInputWithoutMaterial = 4000;
    static constexpr qsizetype maxRequestLength = 4000;

    // The instruction the workspace puts into an empty input box for `mode`; empty for grade.
    static QString proposedInput(TeacherMode mode, bool hasConversation);

    // The trimmed input alone without material; with material, the input wrapped around segment
    // `chunkIndex` with its position and nearest page or slide label. Throws TeacherWorkspaceError:
    // messageTooLong, noAnswerToGrade, emptyMessage, emptyMaterial (index outside the material).
    static QString makeRequestText(const QString& input, const std::optional<TeacherMaterial>& material,
                                   qsizetype chunkIndex, TeacherMode mode);
};

}  // namespace meridcore
