#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

#include "platform/x11_windows.h"

// The X11 clipboard seen from display connections of this program's own, apart from Qt's: the
// claims of the CLIPBOARD selection as the X server reports them, and what a selection's owner
// holds, read from any thread, so that no answer of another program is awaited on the main thread.
namespace halvern::x11 {

// The claims of the CLIPBOARD selection (each change of its owner, to a window or to none) as the
// X server reports them through its XFixes extension, on a connection of this object's own. Each
// claim is counted once, this program's own included, in the order the server made them.
class ClipboardClaims {
public:
    // Made on first use. Main thread only.
    static ClipboardClaims& shared();

    struct State {
        // Claims reported since this object was made.
        qint64 claims = 0;
        // The owner window now; 0 when nobody holds the clipboard.
        WindowId owner = 0;
    };
    // Asks the server who owns the clipboard: every claim made before it answered has been reported
    // by then, so the count is exact at that moment. Nothing without X11 or its XFixes extension.
    std::optional<State> now();

    ClipboardClaims(const ClipboardClaims&) = delete;
    ClipboardClaims& operator=(const ClipboardClaims&) = delete;

private:
    ClipboardClaims();

    void* display_ = nullptr;
    int eventBase_ = 0;
    unsigned long clipboard_ = 0;
    qint64 claims_ = 0;
};

// Reads what the owner of a selection holds, on a display connection of this object's own: any
// thread may use one, one thread at a time. Every answer must come by `deadline`; after one came
// late, nothing more is asked.
class SelectionReader {
public:
    SelectionReader(const char* selection, std::chrono::steady_clock::time_point deadline);
    ~SelectionReader();
    SelectionReader(const SelectionReader&) = delete;
    SelectionReader& operator=(const SelectionReader&) = delete;

    // The names of the targets the owner offers, the selection protocol's own included; none when
    // nobody owns the selection, nothing when the owner refuses to tell them or does not answer.
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
