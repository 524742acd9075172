#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QMimeData>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <optional>

#include <QCoroTask>

// The clipboard behind a small interface: the desktop's clipboard in production, a private
// in-memory one for the built-in self test and for tests.
namespace halvern {

// The data of one item by type.
using PasteboardItemData = QMap<QString, QByteArray>;

// What a pasteboard holds, read item by item.
class PasteboardContents {
public:
    virtual ~PasteboardContents();

    // How many items it holds; nothing where the holder does not tell (an owner that refuses or
    // never answers the question), which is no empty pasteboard.
    virtual std::optional<qsizetype> itemCount() = 0;
    // The types an item declares, in its order.
    virtual QStringList types(qsizetype item) = 0;
    // The bytes an item holds for a type; nothing when it yields no data.
    virtual std::optional<QByteArray> data(qsizetype item, const QString& type) = 0;

    // The text of the first item that declares `type`, decoded as UTF-8.
    std::optional<QString> string(const QString& type);
};

// A pasteboard as the compatibility copy uses it: watched for changes, read, written back.
class Pasteboard {
public:
    // Plain text, UTF-8.
    static inline const QString plainTextType = QStringLiteral("text/plain");
    // The same with its character set named, as some programs offer it.
    static inline const QString plainTextUtf8Type = QStringLiteral("text/plain;charset=utf-8");
    // A list of file URLs: copied files, never taken as text.
    static inline const QString fileURLType = QStringLiteral("text/uri-list");
    // Owners that owner() tells apart from other programs: nobody, and this program.
    static constexpr quint64 nobody = 0;
    static constexpr quint64 thisProgram = ~quint64(0);

    virtual ~Pasteboard();

    // Grows with every change of the contents, by anyone.
    virtual qint64 changeCount() = 0;
    // The program that made the latest change: an id that stays the same over its changes, or
    // nobody or thisProgram. Nothing where the pasteboard cannot tell.
    virtual std::optional<quint64> owner();
    // Runs `reader` over the contents where waiting for them holds up nothing else: another
    // program's clipboard is asked on a connection of its own, away from the main thread. The
    // reader may run on another thread, and touches only what it is given and owns.
    virtual QCoro::Task<> read(std::function<void(PasteboardContents&)> reader) = 0;
    virtual void clearContents() = 0;
    // Writes one item per entry (after clearContents).
    virtual void writeItems(const QList<PasteboardItemData>& items) = 0;
    // Readies the next clearContents and writeItems to take the pasteboard from whoever holds it
    // now; nothing to do for most pasteboards.
    virtual QCoro::Task<> prepareToWrite();
    // Whether the pasteboard holds exactly these items, as this program wrote them (nothing at all
    // for no items): a write can be refused without a word.
    virtual bool holds(const QList<PasteboardItemData>& items) = 0;

    // Clears the pasteboard and writes one item holding `text` as plain text.
    void setString(const QString& text);
};

// A private pasteboard in memory. Items may declare a type without data, as a broken provider
// would.
class MemoryPasteboard : public Pasteboard, public PasteboardContents {
public:
    struct Item {
        QList<std::pair<QString, std::optional<QByteArray>>> entries;
    };

    // The program that makes the changes from now on, as owner() tells it; unset, the pasteboard
    // tells no owner.
    std::optional<quint64> writer;
    // How long a read takes to come back, waiting on the event loop, after it took the contents: the
    // answer of an owner that answers slowly.
    std::chrono::milliseconds readDelay{0};
    // Whether the present holder keeps what it holds to itself, as an owner that refuses or never
    // answers the question of its types: itemCount() tells nothing. The next change clears it.
    bool untold = false;

    qint64 changeCount() override { return changeCount_; }
    std::optional<quint64> owner() override { return owner_; }
    QCoro::Task<> read(std::function<void(PasteboardContents&)> reader) override;
    std::optional<qsizetype> itemCount() override;
    QStringList types(qsizetype item) override;
    std::optional<QByteArray> data(qsizetype item, const QString& type) override;
    void clearContents() override;
    void writeItems(const QList<PasteboardItemData>& items) override;
    bool holds(const QList<PasteboardItemData>& items) override;

    // Writes raw items, declared types and data as given (one change).
    void writeRawItems(const QList<Item>& items);
    const QList<Item>& items() const { return items_; }

private:
    void changed();

    QList<Item> items_;
    qint64 changeCount_ = 0;
    std::optional<quint64> owner_;
};

// The desktop's clipboard (the CLIPBOARD selection on X11). It is watched and read on display
// connections of its own (the X server tells each change of its owner; another program's data is
// asked for away from the main thread) and written through QClipboard. Main thread only. It holds
// one item. Content this process restores lives only as long as the process when no clipboard
// manager takes it over.
class SystemPasteboard : public Pasteboard {
public:
    // The longest one read waits for the clipboard's owner to answer, all of its requests together.
    static constexpr std::chrono::milliseconds readTimeout{5000};
    // The most one type may bring: the backup's own limit, which a larger one fails anyway.
    static constexpr qint64 readBytes = 8 * 1024 * 1024;
    // The owner of a client the X server cannot name.
    static constexpr quint64 unnamed = ~quint64(0) - 1;

    static SystemPasteboard& shared();

    // The owner's changes as the X server reports them, each once.
    qint64 changeCount() override;
    // The process of the X client holding the clipboard, as the X server names it; a client it
    // cannot name (one of another machine) is `unnamed`, which is no process.
    std::optional<quint64> owner() override;
    // Without X11's report of the owner's changes, the clipboard reads as one that cannot be backed
    // up, so that nothing is copied over it.
    QCoro::Task<> read(std::function<void(PasteboardContents&)> reader) override;
    void clearContents() override;
    void writeItems(const QList<PasteboardItemData>& items) override;
    // Brings the time that Qt stamps its next claim of the clipboard with up to the server's time:
    // Qt stamps it with the time of the last event this program received, and the X server refuses
    // a claim stamped earlier than the current owner's, such as a program that has just copied on
    // the synthetic key.
    QCoro::Task<> prepareToWrite() override;
    // Only while the X server names this program the owner (nobody for no items).
    bool holds(const QList<PasteboardItemData>& items) override;

private:
    SystemPasteboard() = default;

    // What this program last gave QClipboard to serve; QClipboard deletes it once another program
    // takes the clipboard.
    QPointer<QMimeData> written_;
};

}  // namespace halvern
