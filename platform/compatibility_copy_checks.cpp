#include "platform/compatibility_copy_checks.h"

#include <QTimer>

#include <QCoroTimer>

#include "platform/selection_clipboard_reader.h"

namespace halvern {

namespace {

const QString fixtureRichType = QStringLiteral("com.orvel.fixture.rich");

// One read with the fakes of a check; the result, or nothing when it threw.
// (Every awaited task below is a named local and no coroutine takes a default argument: GCC 12
// destroys temporaries of an awaited expression, and defaulted arguments, twice.)
QCoro::Task<std::optional<SelectionReadResult>> attempt(const SelectionClipboardReader::CopyProcedure& procedure,
                                                        Pasteboard& pasteboard, std::function<bool()> focus,
                                                        std::function<bool()> copy,
                                                        base::CancellationToken cancellation) {
    try {
        auto reading = procedure(pasteboard, std::move(focus), std::move(copy), cancellation);
        co_return co_await std::move(reading);
    } catch (...) {
        co_return std::nullopt;
    }
}

}  // namespace

QCoro::Task<QMap<QString, bool>> SelectionClipboardReader::performRegressionChecks(CopyProcedure procedure) {
    namespace names = compatibility_copy_checks;
    if (!procedure)
        procedure = [](Pasteboard& pasteboard, std::function<bool()> focus, std::function<bool()> copy,
                       base::CancellationToken cancellation) {
            return readFrom(pasteboard, std::move(focus), std::move(copy), std::move(cancellation));
        };

    // A private pasteboard: the user's clipboard is never touched.
    auto pasteboard = std::make_shared<MemoryPasteboard>();
    pasteboard->clearContents();
    pasteboard->writeItems({PasteboardItemData{{Pasteboard::plainTextType, QByteArrayLiteral("old clipboard")},
                                               {fixtureRichType, QByteArray("\x01\x02\x03", 3)}}});
    Pasteboard& board = *pasteboard;
    const auto text = [pasteboard] { return pasteboard->string(Pasteboard::plainTextType); };
    const auto writeText = [pasteboard](const QString& value) { pasteboard->setString(value); };

    const auto focusAlways = [] { return true; };
    const auto focusNever = [] { return false; };
    const auto copyNewSelection = [writeText] {
        writeText(QStringLiteral("Selected text"));
        return true;
    };

    QMap<QString, bool> results;

    auto firstTask = attempt(procedure, board, focusAlways, copyNewSelection, base::CancellationToken());

    const auto first = co_await std::move(firstTask);
    results[names::readsNewSelection] = first && first->text == QStringLiteral("Selected text");
    results[names::restoresAllTypes] = first && text() == QStringLiteral("old clipboard") &&
                                       pasteboard->itemCount().value_or(0) > 0 &&
                                       pasteboard->data(0, fixtureRichType) == QByteArray("\x01\x02\x03", 3);

    const qint64 unchangedCount = board.changeCount();
    {
        auto readTask = attempt(procedure, board, focusAlways, [] { return false; }, base::CancellationToken());
        const auto read = co_await std::move(readTask);
        results[names::rejectsStaleClipboard] =
            !read && board.changeCount() == unchangedCount && text() == QStringLiteral("old clipboard");
    }
    {
        bool copyRequested = false;
        auto readTask = attempt(procedure, board, focusNever, [&copyRequested] {
            copyRequested = true;
            return true;
        }, base::CancellationToken());
        const auto read = co_await std::move(readTask);
        results[names::rejectsOtherSource] = !read && !copyRequested && board.changeCount() == unchangedCount;
    }
    {
        auto readTask = attempt(procedure, board, focusAlways, [writeText] {
            writeText(QString(3001, QLatin1Char('x')));
            return true;
        }, base::CancellationToken());
        const auto read = co_await std::move(readTask);
        results[names::rejectsOversizedText] = !read && text() == QStringLiteral("old clipboard");
    }
    {
        int calls = 0;
        const auto focusLeavesOnThirdCall = [&calls, writeText] {
            if (++calls != 3) return true;
            writeText(QStringLiteral("a later user copy"));
            return false;
        };
        auto readTask = attempt(procedure, board, focusLeavesOnThirdCall, [writeText] {
            writeText(QStringLiteral("temporary selection"));
            return true;
        }, base::CancellationToken());
        const auto read = co_await std::move(readTask);
        results[names::preservesLaterClipboard] = !read && text() == QStringLiteral("a later user copy");
    }
    {
        auto readTask = attempt(procedure, board, focusAlways, [pasteboard] {
            const PasteboardItemData file{{Pasteboard::fileURLType, QByteArrayLiteral("file:///tmp/fixture.txt")},
                                          {Pasteboard::plainTextType, QByteArrayLiteral("/tmp/fixture.txt")}};
            pasteboard->clearContents();
            pasteboard->writeItems({file});
            return true;
        }, base::CancellationToken());
        const auto read = co_await std::move(readTask);
        results[names::rejectsFileSelections] = !read && text() == QStringLiteral("a later user copy");
    }
    {
        base::CancellationSource cancellation;
        const auto delayedCopy = [writeText] {
            QTimer::singleShot(std::chrono::milliseconds(40), [writeText] { writeText(QStringLiteral("delayed copy")); });
            return true;
        };
        auto read = attempt(procedure, board, focusAlways, delayedCopy, cancellation.token());
        co_await QCoro::sleepFor(std::chrono::milliseconds(10));
        cancellation.cancel();
        const auto outcome = co_await std::move(read);
        results[names::cancellationRestoresClipboard] = !outcome && text() == QStringLiteral("a later user copy");
    }

    co_return results;
}

}  // namespace halvern
