#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTimer>

#include "base/task.h"
#include "platform/compatibility_copy_checks.h"
#include "platform/selection_clipboard_reader.h"

using namespace halvern;
using Failure = CompatibilityReadFailure::Case;
using Case = tamsel::DirectSelectionFailure::Case;

namespace {

MemoryPasteboard::Item item(const QList<std::pair<QString, std::optional<QByteArray>>>& entries) {
    return MemoryPasteboard::Item{entries};
}

// One read over `pasteboard`; its failure case, or nothing on success.
struct Outcome {
    std::optional<SelectionReadResult> result;
    std::optional<Failure> failure;
    std::optional<Case> selectionFailure;
    bool cancelled = false;
};

Outcome run(Pasteboard& pasteboard, std::function<bool()> focus, std::function<bool()> copy,
            base::CancellationToken token = {}, std::optional<quint64> source = {}) {
    Outcome outcome;
    try {
        outcome.result = base::waitForTask(SelectionClipboardReader::readFrom(pasteboard, focus, copy, token, source));
    } catch (const CompatibilityReadFailure& failure) {
        outcome.failure = failure.failureCase();
    } catch (const tamsel::DirectSelectionFailure& failure) {
        outcome.selectionFailure = failure.failureCase();
    } catch (const base::CancellationError&) {
        outcome.cancelled = true;
    }
    return outcome;
}

std::function<bool()> copying(MemoryPasteboard& pasteboard, const QString& text) {
    return [&pasteboard, text] {
        pasteboard.setString(text);
        return true;
    };
}

const auto always = [] { return true; };

}  // namespace

TEST(SelectionClipboardReader, MigratesThePreferenceOnce) {
    base::DefaultsStore store(QString{});
    EXPECT_TRUE(SelectionClipboardReader::migrateDefault(store));
    EXPECT_EQ(store.boolValue(SelectionClipboardReader::preferenceKey), true);
    EXPECT_EQ(store.integerValue(SelectionClipboardReader::migrationVersionKey), 1);
    store.setInteger(SelectionClipboardReader::migrationVersionKey, 7);
    EXPECT_TRUE(SelectionClipboardReader::migrateDefault(store));
    EXPECT_EQ(store.integerValue(SelectionClipboardReader::migrationVersionKey), 7);  // not written again

    base::DefaultsStore off(QString{});
    off.setBool(SelectionClipboardReader::preferenceKey, false);
    EXPECT_FALSE(SelectionClipboardReader::migrateDefault(off));
    EXPECT_FALSE(off.contains(SelectionClipboardReader::migrationVersionKey));

    base::DefaultsStore wrongType(QString{});
    wrongType.setString(SelectionClipboardReader::preferenceKey, QStringLiteral("no"));
    EXPECT_TRUE(SelectionClipboardReader::migrateDefault(wrongType));
    EXPECT_EQ(wrongType.boolValue(SelectionClipboardReader::preferenceKey), true);
}

TEST(SelectionClipboardReader, ReadsTheCopyAndRestoresEveryTypeAndItem) {
    MemoryPasteboard pasteboard;
    pasteboard.writeRawItems({item({{QStringLiteral("text/plain"), QByteArray("old")},
                                    {QStringLiteral("text/html"), QByteArray("<b>old</b>")},
                                    {QStringLiteral("text/html"), QByteArray("<i>later wins</i>")}}),
                              item({{QStringLiteral("image/png"), QByteArray("\x89PNG", 4)}})});
    const Outcome outcome = run(pasteboard, always, copying(pasteboard, QStringLiteral("  hello world\n")));
    ASSERT_TRUE(outcome.result);
    EXPECT_EQ(outcome.result->text, QStringLiteral("hello world"));
    EXPECT_EQ(outcome.result->route, QStringLiteral("Compatibility Copy · clipboard snapshot restore attempted"));
    EXPECT_EQ(outcome.result->attempt, 1);
    ASSERT_EQ(pasteboard.itemCount(), 2);
    EXPECT_EQ(pasteboard.string(QStringLiteral("text/plain")), QStringLiteral("old"));
    EXPECT_EQ(pasteboard.data(0, QStringLiteral("text/html")), QByteArray("<i>later wins</i>"));
    EXPECT_EQ(pasteboard.data(1, QStringLiteral("image/png")), QByteArray("\x89PNG", 4));

    // An empty pasteboard stays empty after a successful read.
    MemoryPasteboard empty;
    ASSERT_TRUE(run(empty, always, copying(empty, QStringLiteral("text"))).result);
    EXPECT_EQ(empty.itemCount(), 0);
}

TEST(SelectionClipboardReader, SnapshotLimitsAreInclusiveAndRefuseBeforeAnyCopy) {
    const auto check = [](const QList<MemoryPasteboard::Item>& items, bool accepted, bool untold = false) {
        MemoryPasteboard pasteboard;
        pasteboard.writeRawItems(items);
        pasteboard.untold = untold;
        bool requested = false;
        const Outcome outcome = run(pasteboard, always, [&] {
            requested = true;
            pasteboard.setString(QStringLiteral("copied"));
            return true;
        });
        if (accepted) {
            EXPECT_TRUE(outcome.result.has_value());
        } else {
            EXPECT_EQ(outcome.failure, Failure::snapshotUnavailable);
            EXPECT_FALSE(requested);
        }
    };
    const auto plain = item({{QStringLiteral("text/plain"), QByteArray("x")}});
    check(QList<MemoryPasteboard::Item>(16, plain), true);
    check(QList<MemoryPasteboard::Item>(17, plain), false);

    const auto types = [](int count) {
        MemoryPasteboard::Item result;
        for (int i = 0; i < count; ++i) result.entries.append({QStringLiteral("type/%1").arg(i), QByteArray("y")});
        return result;
    };
    check({types(32)}, true);
    check({types(33)}, false);

    const qint64 limit = 8 * 1024 * 1024;
    check({item({{QStringLiteral("a/a"), QByteArray(limit - 10, 'a')}}), item({{QStringLiteral("b/b"), QByteArray(10, 'b')}})},
          true);
    check({item({{QStringLiteral("a/a"), QByteArray(limit - 10, 'a')}}), item({{QStringLiteral("b/b"), QByteArray(11, 'b')}})},
          false);
    check({item({{QStringLiteral("text/plain"), QByteArray("x")}, {QStringLiteral("broken/type"), std::nullopt}})},
          false);
    check({}, false, true);  // an owner that does not tell what it holds
}

TEST(SelectionClipboardReader, GuardsBeforeTheCopy) {
    MemoryPasteboard pasteboard;
    pasteboard.setString(QStringLiteral("old"));
    const qint64 count = pasteboard.changeCount();

    EXPECT_EQ(run(pasteboard, [] { return false; }, always).failure, Failure::sourceChanged);
    int calls = 0;
    EXPECT_EQ(run(pasteboard, [&] { return ++calls == 1; }, always).failure, Failure::sourceChanged);
    base::CancellationSource cancelled;
    cancelled.cancel();
    EXPECT_TRUE(run(pasteboard, always, always, cancelled.token()).cancelled);
    EXPECT_EQ(run(pasteboard, always, [] { return false; }).failure, Failure::noCopy);
    EXPECT_EQ(pasteboard.changeCount(), count);
    EXPECT_EQ(pasteboard.string(Pasteboard::plainTextType), QStringLiteral("old"));

    // The person copies while an owner that answers slowly hands the backup over.
    pasteboard.readDelay = std::chrono::milliseconds(20);
    QTimer::singleShot(0, [&] { pasteboard.setString(QStringLiteral("copied meanwhile")); });
    bool requested = false;
    EXPECT_EQ(run(pasteboard, always, [&] { return requested = true; }).failure, Failure::snapshotUnavailable);
    EXPECT_FALSE(requested);
    EXPECT_EQ(pasteboard.string(Pasteboard::plainTextType), QStringLiteral("copied meanwhile"));
}

// Where the pasteboard tells who changed it (and the source is named): a change by this program, by
// nobody or by another program is not the source's copy; once it landed, further changes by the
// source or by this program are no copy of the person's, and the backup goes back over them; another
// program's copy is kept. Another program's copy that hid the source's from every look is told.
TEST(SelectionClipboardReader, ChangesAreToldApartByWhoMadeThem) {
    constexpr quint64 person = 1, source = 2, other = 3;
    struct Change {
        int afterMs;  // after the copy was asked for; 0 at once; -1 before the read first looks
        std::optional<quint64> by;
        QString text;
    };
    const struct {
        const char* name;
        QList<Change> changes;
        QString result;  // empty: the read is cancelled, or fails
        QString textAfter;
        std::optional<Failure> failure;
    } rows[] = {
        {"the copy alone", {{0, source, "selected"}}, "selected", "old"},
        {"the source claims again", {{0, source, "selected"}, {1, source, "selected"}}, "selected", "old"},
        {"this program writes", {{0, source, "selected"}, {1, Pasteboard::thisProgram, "ours"}}, "selected", "old"},
        {"nobody holds it", {{0, source, "selected"}, {1, Pasteboard::nobody, ""}}, "selected", "old"},
        {"another program copies", {{0, source, "selected"}, {1, other, "later"}}, "", "later"},
        {"no owners told", {{0, std::nullopt, "selected"}, {1, std::nullopt, "later"}}, "", "later"},
        {"this program before the copy",
         {{0, Pasteboard::thisProgram, "ours"}, {30, source, "selected"}},
         "selected",
         "old"},
        {"nobody before the copy", {{0, Pasteboard::nobody, ""}, {30, source, "selected"}}, "selected", "old"},
        {"another program before the copy", {{0, other, "other's"}, {30, source, "selected"}}, "selected", "old"},
        {"another program right after the copy, before any look",
         {{0, source, "selected"}, {-1, other, "other's"}},
         "",
         "other's",
         Failure::clipboardTakenByAnother},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        MemoryPasteboard pasteboard;
        pasteboard.writer = row.changes.first().by ? std::optional(person) : std::nullopt;
        pasteboard.setString(QStringLiteral("old"));
        // A read comes back later than it took the contents, so the changes right after the copy
        // come while its text is read.
        pasteboard.readDelay = std::chrono::milliseconds(10);
        const auto change = [&pasteboard](const Change& each) {
            pasteboard.writer = each.by;
            if (each.text.isEmpty())
                pasteboard.clearContents();
            else
                pasteboard.setString(each.text);
        };
        const auto copy = [&] {
            change(row.changes.first());
            for (const Change& later : row.changes.mid(1)) {
                if (later.afterMs < 0)
                    change(later);
                else
                    QTimer::singleShot(later.afterMs, [change, later] { change(later); });
            }
            return true;
        };
        const Outcome outcome =
            run(pasteboard, always, copy, {}, row.changes.first().by ? std::optional(source) : std::nullopt);
        EXPECT_EQ(outcome.result ? outcome.result->text : QString(), row.result);
        EXPECT_EQ(outcome.failure, row.failure);
        EXPECT_EQ(outcome.cancelled, row.result.isEmpty() && !row.failure);
        EXPECT_EQ(pasteboard.string(Pasteboard::plainTextType).value_or(QString()), row.textAfter);
    }
}

TEST(SelectionClipboardReader, AnApplicationThatIgnoresTheCopyGivesNoCopyAfterThirtyChecks) {
    MemoryPasteboard pasteboard;
    pasteboard.setString(QStringLiteral("old"));
    const qint64 count = pasteboard.changeCount();
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(run(pasteboard, always, always).failure, Failure::noCopy);
    EXPECT_GE(timer.elapsed(), 590);
    EXPECT_EQ(pasteboard.changeCount(), count);
    EXPECT_EQ(pasteboard.string(Pasteboard::plainTextType), QStringLiteral("old"));

    // Cancelled while waiting: the cancellation is noticed only when giving up.
    base::CancellationSource source;
    QTimer::singleShot(50, [&] { source.cancel(); });
    EXPECT_TRUE(run(pasteboard, always, always, source.token()).cancelled);
}

TEST(SelectionClipboardReader, CopiedFilesAndOverlongTextAreRefusedAndTheClipboardRestored) {
    MemoryPasteboard pasteboard;
    pasteboard.setString(QStringLiteral("old"));
    Outcome outcome = run(pasteboard, always, [&] {
        pasteboard.clearContents();
        pasteboard.writeItems({PasteboardItemData{{Pasteboard::fileURLType, "file:///tmp/a.txt"},
                                                  {Pasteboard::plainTextType, "/tmp/a.txt"}}});
        return true;
    });
    EXPECT_EQ(outcome.selectionFailure, Case::noText);
    EXPECT_EQ(pasteboard.string(Pasteboard::plainTextType), QStringLiteral("old"));

    outcome = run(pasteboard, always, copying(pasteboard, QString(3001, QLatin1Char('x'))));
    EXPECT_EQ(outcome.selectionFailure, Case::tooLong);
    EXPECT_EQ(pasteboard.string(Pasteboard::plainTextType), QStringLiteral("old"));

    outcome = run(pasteboard, always, [&] {
        pasteboard.clearContents();
        pasteboard.writeItems({PasteboardItemData{{QStringLiteral("image/png"), "png"}}});
        return true;
    });
    EXPECT_EQ(outcome.selectionFailure, Case::noText);
    EXPECT_EQ(pasteboard.string(Pasteboard::plainTextType), QStringLiteral("old"));
}

// Turns down the next `refusals` writes without a word, as the X server does a claim of the clipboard
// stamped earlier than the current owner's: the copied selection stays.
class RefusingPasteboard : public MemoryPasteboard {
public:
    int refusals = 0;
    int prepared = 0;

    QCoro::Task<> prepareToWrite() override {
        ++prepared;
        co_return;
    }
    // A refused clear refuses the write that follows it.
    void clearContents() override {
        refusing_ = refusals > 0;
        if (refusing_)
            --refusals;
        else
            MemoryPasteboard::clearContents();
    }
    void writeItems(const QList<PasteboardItemData>& items) override {
        if (!refusing_) MemoryPasteboard::writeItems(items);
    }

private:
    bool refusing_ = false;
};

// The restore is checked and tried again; one that never takes is reported over the read's own
// outcome, never passed over as a success.
TEST(SelectionClipboardReader, ARefusedRestoreIsTriedAgainThenReported) {
    const struct {
        bool emptyBefore;
        int refusals;
        QString copied;
        std::optional<Failure> failure;
        std::optional<Case> selectionFailure;
        QString textAfter;
    } rows[] = {
        {false, 0, QStringLiteral("hello"), std::nullopt, std::nullopt, QStringLiteral("old")},
        {false, 2, QStringLiteral("hello"), std::nullopt, std::nullopt, QStringLiteral("old")},
        {false, 3, QStringLiteral("hello"), Failure::restoreFailed, std::nullopt, QStringLiteral("hello")},
        {false, 3, QString(3001, QLatin1Char('x')), Failure::restoreFailed, std::nullopt,
         QString(3001, QLatin1Char('x'))},
        {false, 1, QString(3001, QLatin1Char('x')), std::nullopt, Case::tooLong, QStringLiteral("old")},
        {true, 3, QStringLiteral("hello"), Failure::restoreFailed, std::nullopt, QStringLiteral("hello")},
        {true, 2, QStringLiteral("hello"), std::nullopt, std::nullopt, QString()},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.emptyBefore << " " << row.refusals << " " << row.copied.size());
        RefusingPasteboard pasteboard;
        if (!row.emptyBefore) pasteboard.setString(QStringLiteral("old"));
        const Outcome outcome = run(pasteboard, always, [&] {
            pasteboard.setString(row.copied);
            pasteboard.refusals = row.refusals;
            return true;
        });
        EXPECT_EQ(outcome.result.has_value(), !row.failure && !row.selectionFailure);
        EXPECT_EQ(outcome.failure, row.failure);
        EXPECT_EQ(outcome.selectionFailure, row.selectionFailure);
        EXPECT_EQ(pasteboard.string(Pasteboard::plainTextType).value_or(QString()), row.textAfter);
        EXPECT_EQ(pasteboard.prepared, std::min(row.refusals + 1, SelectionClipboardReader::restoreAttempts));
    }
}

TEST(SelectionClipboardReader, ASecondReadWhileTheFirstWaitsIsBusy) {
    MemoryPasteboard pasteboard;
    pasteboard.setString(QStringLiteral("old"));
    std::optional<Failure> second;
    auto first = SelectionClipboardReader::readFrom(pasteboard, always, [&] {
        QTimer::singleShot(30, [&] {
            MemoryPasteboard other;
            second = run(other, always, always).failure;
            pasteboard.setString(QStringLiteral("first selection"));
        });
        return true;
    }, base::CancellationToken());
    const SelectionReadResult result = base::waitForTask(std::move(first));
    EXPECT_EQ(second, Failure::busy);
    EXPECT_EQ(result.text, QStringLiteral("first selection"));
    EXPECT_EQ(pasteboard.string(Pasteboard::plainTextType), QStringLiteral("old"));
    // The flag is clear again afterwards.
    EXPECT_TRUE(run(pasteboard, always, copying(pasteboard, QStringLiteral("again"))).result);
}

namespace {

using Procedure = SelectionClipboardReader::CopyProcedure;

QMap<QString, bool> runChecks(Procedure procedure = {}) {
    return base::waitForTask(SelectionClipboardReader::performRegressionChecks(std::move(procedure)));
}

// Forwards everything to another pasteboard but drops the procedure's own writes: no restore.
class NoRestorePasteboard : public Pasteboard {
public:
    explicit NoRestorePasteboard(Pasteboard& inner) : inner_(inner) {}
    qint64 changeCount() override { return inner_.changeCount(); }
    QCoro::Task<> read(std::function<void(PasteboardContents&)> reader) override { return inner_.read(reader); }
    void clearContents() override {}
    void writeItems(const QList<PasteboardItemData>&) override {}
    bool holds(const QList<PasteboardItemData>&) override { return true; }

private:
    Pasteboard& inner_;
};

}  // namespace

TEST(CompatibilityCopyChecks, AllHoldOnTheRealProcedure) {
    const QMap<QString, bool> results = runChecks();
    EXPECT_EQ(results.keys().size(), 8);
    for (const QString& name : compatibility_copy_checks::allNames()) EXPECT_TRUE(results.value(name)) << name.toStdString();
}

TEST(CompatibilityCopyChecks, BrokenProceduresFailTheChecksMeantForThem) {
    namespace names = compatibility_copy_checks;

    const QMap<QString, bool> neverRestores = runChecks([](Pasteboard& pasteboard, std::function<bool()> focus,
                                                           std::function<bool()> copy,
                                                           base::CancellationToken token) -> QCoro::Task<SelectionReadResult> {
        NoRestorePasteboard view(pasteboard);
        auto reading = SelectionClipboardReader::readFrom(view, focus, copy, token);
        co_return co_await std::move(reading);
    });
    for (const QString& name : {names::restoresAllTypes, names::rejectsOversizedText, names::rejectsFileSelections,
                                names::cancellationRestoresClipboard})
        EXPECT_FALSE(neverRestores.value(name)) << name.toStdString();
    EXPECT_TRUE(neverRestores.value(names::readsNewSelection));
    EXPECT_TRUE(neverRestores.value(names::rejectsOtherSource));

    const QMap<QString, bool> restoresAlways = runChecks([](Pasteboard& pasteboard, std::function<bool()> focus,
                                                            std::function<bool()> copy,
                                                            base::CancellationToken token) -> QCoro::Task<SelectionReadResult> {
        auto& memory = dynamic_cast<MemoryPasteboard&>(pasteboard);
        const QList<MemoryPasteboard::Item> backup = memory.items();
        std::optional<SelectionReadResult> result;
        std::exception_ptr error;
        try {
            auto reading = SelectionClipboardReader::readFrom(pasteboard, focus, copy, token);
            result = co_await std::move(reading);
        } catch (...) {
            error = std::current_exception();
        }
        memory.clearContents();
        memory.writeRawItems(backup);
        if (error) std::rethrow_exception(error);
        co_return *result;
    });
    EXPECT_FALSE(restoresAlways.value(names::preservesLaterClipboard));
    EXPECT_TRUE(restoresAlways.value(names::restoresAllTypes));

    const QMap<QString, bool> focusAfterCopy = runChecks([](Pasteboard& pasteboard, std::function<bool()> focus,
                                                            std::function<bool()> copy,
                                                            base::CancellationToken token) -> QCoro::Task<SelectionReadResult> {
        if (!copy()) throw CompatibilityReadFailure(Failure::noCopy);
        auto reading = SelectionClipboardReader::readFrom(pasteboard, focus, [] { return true; }, token);
        co_return co_await std::move(reading);
    });
    EXPECT_FALSE(focusAfterCopy.value(names::rejectsOtherSource));

    const QMap<QString, bool> acceptsStale = runChecks([](Pasteboard& pasteboard, std::function<bool()> focus,
                                                          std::function<bool()> copy,
                                                          base::CancellationToken token) -> QCoro::Task<SelectionReadResult> {
        try {
            auto reading = SelectionClipboardReader::readFrom(pasteboard, focus, copy, token);
            co_return co_await std::move(reading);
        } catch (const CompatibilityReadFailure& failure) {
            if (failure.failureCase() != Failure::noCopy) throw;
        }
        auto& memory = dynamic_cast<MemoryPasteboard&>(pasteboard);
        co_return SelectionReadResult{memory.string(Pasteboard::plainTextType).value_or(QString()), {}, 1};
    });
    EXPECT_FALSE(acceptsStale.value(names::rejectsStaleClipboard));
    EXPECT_TRUE(acceptsStale.value(names::rejectsOtherSource));
}

// A terminal gets no synthetic key; its own copy key is named, never Ctrl+C.
TEST(CompatibilityReadFailure, NamesTheCopyKeyOfTheSource) {
    EXPECT_TRUE(CompatibilityReadFailure(Failure::noCopy).message().contains(QStringLiteral(" Ctrl+C ")));
    const QString terminal = CompatibilityReadFailure(Failure::noCopyFromTerminal).message();
    EXPECT_TRUE(terminal.contains(QStringLiteral(" Ctrl+Shift+C ")));
    EXPECT_FALSE(terminal.contains(QStringLiteral(" Ctrl+C ")));
}
