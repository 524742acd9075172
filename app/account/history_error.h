#pragma once

#include <QString>

#include "base/errors.h"

namespace velquin {

// Why a change of the learning history was not stored. The change is rolled back in memory.
class HistoryError : public base::Error {
public:
    enum class Kind {
        // The list cannot be written as JSON.
        encodingFailed,
        // The encoded list is over 8,000,000 bytes.
        tooLarge,
        // A history file that could not be read is in the way and could not be moved aside.
        setAsideFailed,
        // The folder or the file could not be written.
        writeFailed,
    };

    explicit HistoryError(Kind kind, QString detail = {}) : kind_(kind), detail_(std::move(detail)) {}
    Kind kind() const { return kind_; }
    const QString& detail() const { return detail_; }
    QString message() const override;

private:
    Kind kind_;
    QString detail_;
};

}  // namespace velquin
