#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

// The X11 clipboard seen from display connections of this program's own, apart from Qt's: what a
// selection's owner holds, read from any thread, so that no answer of another program is awaited on
// the main thread.
namespace halvern::x11 {

// Reads what the owner of a selection holds, on a display connection of this object's own: any
// thread may use one, one thread at a time. Every answer must come by `deadline`; after one came
// late, nothing more is asked.
class SelectionReader {
public:
    SelectionReader(const char* selection, std::chrono::steady_clock::time_point deadline);
    ~SelectionReader();
    SelectionReader(const SelectionReader&) = delete;
    SelectionReader& operator=(const SelectionReader&) = delete;

    // The names of the targets the owner offers, the selection protocol's own included; nothing
    // when nobody owns the selection or the owner does not answer.
    std::optional<QStringList> targets();
    // The owner's data for a target, in one piece or incrementally; nothing when it refuses, answers
    // late or sends more than `limit` bytes. `type` receives the name of the type it answered with.
    std::optional<QByteArray> data(const QString& target, qint64 limit, QString* type = nullptr);

private:
    std::optional<QByteArray> convert(unsigned long target, qint64 limit, unsigned long* type);
    std::optional<QByteArray> takeProperty(qint64 limit, unsigned long* type, int* format);

    void* display_ = nullptr;
    unsigned long window_ = 0;
    unsigned long selection_ = 0;
    unsigned long property_ = 0;
    std::chrono::steady_clock::time_point deadline_;
    bool late_ = false;
};

}  // namespace halvern::x11
