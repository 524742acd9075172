#include <gtest/gtest.h>

#include "core/study.h"
#include "platform/selection_service_provider.h"

using namespace halvern;
using tamsel::StudyMode;

namespace {

struct Received {
    QList<SelectionRequest> requests;
    SelectionServiceProvider provider{[this](const SelectionRequest& request) { requests.append(request); }};
};

}  // namespace

TEST(SelectionServiceProvider, ReadsTextAndModeLikeTheDesktopEntries) {
    MemoryPasteboard pasteboard;
    pasteboard.writeRawItems({{{{Pasteboard::plainTextUtf8Type, QByteArray("  caf\xc3\xa9 \n")}}}});
    const qint64 count = pasteboard.changeCount();
    Received received;
    QString error = QStringLiteral("untouched");
    received.provider.studySelectedText(pasteboard, QStringLiteral("translate"), &error);
    EXPECT_EQ(error, QStringLiteral("untouched"));
    ASSERT_EQ(received.requests.size(), 1);
    EXPECT_EQ(received.requests[0], (SelectionRequest{QStringLiteral("café"), StudyMode::translate}));
    EXPECT_EQ(SelectionInput::read(pasteboard, std::nullopt).mode, StudyMode::practice);
    EXPECT_EQ(SelectionInput::read(pasteboard, QStringLiteral("explain")).mode, StudyMode::explain);
    EXPECT_EQ(pasteboard.changeCount(), count);  // only read
}

TEST(SelectionServiceProvider, RefusesInTheOrderTextThenMode) {
    MemoryPasteboard empty;
    Received received;
    QString error;
    received.provider.studySelectedText(empty, QStringLiteral("translate"), &error);
    EXPECT_EQ(error, SelectionFailure(SelectionFailure::Case::noText).message());

    MemoryPasteboard pasteboard;
    pasteboard.setString(QStringLiteral("text"));
    received.provider.studySelectedText(pasteboard, QStringLiteral("Translate"), &error);
    EXPECT_EQ(error, QStringLiteral("无法识别这个 Orvel 服务，请重新安装最新版。"));

    pasteboard.setString(QStringLiteral(" \n"));
    received.provider.studySelectedText(pasteboard, QStringLiteral("bogus"), &error);
    EXPECT_EQ(error, tamsel::StudyError(tamsel::StudyError::Case::emptyInput).message());

    received.provider.studySelectedText(pasteboard, QStringLiteral("bogus"), nullptr);  // silent
    EXPECT_TRUE(received.requests.isEmpty());
}

TEST(SelectionServiceProvider, DBusSlotsAnswerWithTheMessageOrNothing) {
    Received received;
    EXPECT_EQ(received.provider.StudySelectedText(QStringLiteral("hello"), QStringLiteral("explain")), QString());
    EXPECT_EQ(received.provider.StudySelectedText(QStringLiteral("hello")), QString());
    EXPECT_EQ(received.provider.StudySelectedText(QStringLiteral("hello"), QStringLiteral("ask")),
              SelectionFailure(SelectionFailure::Case::unknownAction).message());
    ASSERT_EQ(received.requests.size(), 2);
    EXPECT_EQ(received.requests[1].mode, StudyMode::practice);

    // A refusal of the study-selection command carries its mode as a text does.
    QList<RefusedSelection> refused;
    received.provider.setRefusalHandler([&refused](const RefusedSelection& refusal) { refused.append(refusal); });
    const QString unknown = SelectionFailure(SelectionFailure::Case::unknownAction).message();
    EXPECT_EQ(received.provider.ReportUnreadableSelection(QStringLiteral("noSelection"), QStringLiteral("explain")),
              QString());
    EXPECT_EQ(received.provider.ReportUnreadableSelection(QStringLiteral("tooLong")), QString());
    EXPECT_EQ(received.provider.ReportUnreadableSelection(QStringLiteral("noSelection"), QStringLiteral("Explain")),
              unknown);
    EXPECT_EQ(received.provider.ReportUnreadableSelection(QStringLiteral("none"), QStringLiteral("explain")), unknown);
    EXPECT_EQ(refused, (QList<RefusedSelection>{{SelectionRefusal::noSelection, StudyMode::explain},
                                                {SelectionRefusal::tooLong, StudyMode::practice}}));
}
