#include <QApplication>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <gtest/gtest.h>

#include "app/shell/application_appearance.h"
#include "app/tutor-lesson/merid_math_assets.h"
#include "app/tutor-lesson/merid_math_bridge.h"
#include "app/tutor-lesson/merid_math_rich_text.h"
#include "app/tutor-lesson/merid_math_web_view.h"
#include "web_test_support.h"

namespace velquin {
namespace {

using testing::evaluate;

class MeridMathDesktop : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testing::allowWebEngine(); }
    void TearDown() override {
        MeridMathAssets::setDirectory(std::nullopt);
        ApplicationAppearance::shared().apply(InterfaceAppearance::light);
    }

    // A column in a scroll area, as the lesson places its texts.
    QWidget* column(QScrollArea& area, int width = 420) {
        auto* content = new QWidget;
        auto* layout = new QVBoxLayout(content);
        layout->setSizeConstraint(QLayout::SetMinAndMaxSize);
        area.setWidget(content);
        area.setWidgetResizable(true);
        area.resize(width, 300);
        area.show();
        return content;
    }

    static bool waitReported(MeridMathRichText& text) {
        return QTest::qWaitFor([&] { return text.measuredHeight() != MeridMathBridge::initialHeight; }, 20000);
    }
};

TEST_F(MeridMathDesktop, TypesetsTextAsTextAndStaysOnItsPage) {
    // Markup in the text is shown, never run; the view follows the page's height.
    {
        ASSERT_TRUE(MeridMathAssets::available()) << "the build copies the formula folder";
        QScrollArea area;
        QWidget* content = column(area);
        const QString hostile = QStringLiteral("\\(x^2\\) <img src=x onerror=\"window.meridInjected=1\"> "
                                               "<script>window.meridInjected=2</script>");
        auto* text = new MeridMathRichText(hostile, 14);
        content->layout()->addWidget(text);
        ASSERT_NE(text->webView(), nullptr);
        EXPECT_EQ(text->webView()->objectName(), QStringLiteral("orvel.merid.math-rendered"));
        ASSERT_TRUE(waitReported(*text));
        QWebEnginePage* page = text->webView()->page();

        // Typeset, with the markup shown as its characters and nothing of it run.
        EXPECT_GE(evaluate(page, QStringLiteral("document.querySelectorAll('.katex').length"))->toInt(), 1);
        EXPECT_EQ(evaluate(page, QStringLiteral("document.querySelectorAll('img, script:not([src]):not([nonce])')"
                                                ".length"))->toInt(), 0);
        EXPECT_TRUE(evaluate(page, QStringLiteral("document.getElementById('content').textContent"))
                        ->toString().contains(QStringLiteral("<img src=x onerror=")));
        EXPECT_TRUE(evaluate(page, QStringLiteral("typeof window.meridInjected"))->toString() == QStringLiteral("undefined"));

        // The view follows the reported height, within its clamp.
        const qreal oneLine = text->measuredHeight();
        EXPECT_GE(oneLine, 20);
        EXPECT_EQ(text->webView()->height(), qRound(MeridMathBridge::viewHeight(oneLine)));
        text->setText(QStringLiteral("$$\\sum_{k=1}^{n} k = \\frac{n(n+1)}{2}$$\nline two\nline three\nline four"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return text->measuredHeight() > oneLine + 30; }, 20000));
        EXPECT_EQ(text->webView()->height(), qRound(MeridMathBridge::viewHeight(text->measuredHeight())));
    }
    // Any text reaches the page unchanged; the page goes nowhere else and opens nothing.
    {
        QScrollArea area;
        QWidget* content = column(area);
        // Quotes, backslashes, a line separator and a closing script tag; "\(" without its closing
        // delimiter makes it a candidate that stays plain text on the page.
        const QString tricky = QStringLiteral("\"double\" 'single' \\ \\\\n ") + QChar(0x2028) +
                               QStringLiteral(" </script> \\( never closed ") + QChar(0x2029) +
                               QStringLiteral(" \U0001F600 中文");
        auto* text = new MeridMathRichText(tricky, 13);
        content->layout()->addWidget(text);
        ASSERT_NE(text->webView(), nullptr);
        ASSERT_TRUE(waitReported(*text));
        QWebEnginePage* page = text->webView()->page();
        EXPECT_EQ(evaluate(page, QStringLiteral("document.getElementById('content').textContent"))->toString(), tricky);

        const QUrl home = page->url();
        ASSERT_TRUE(home.isLocalFile());
        // Neither the host nor the page can leave it, and no window opens.
        QSignalSpy finished(page, &QWebEnginePage::loadFinished);
        page->load(QUrl(QStringLiteral("https://example.com/")));
        ASSERT_TRUE(finished.wait(10000));
        EXPECT_FALSE(finished.takeFirst().at(0).toBool());
        EXPECT_EQ(page->url(), home);
        // A refused navigation ends as a failed load of its own.
        evaluate(page, QStringLiteral("location.href = 'https://example.com/'; 1"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return finished.size() == 1; }, 10000));
        evaluate(page, QStringLiteral("location.href = 'file:///etc/passwd'; 1"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return finished.size() == 2; }, 10000));
        EXPECT_FALSE(finished.at(0).at(0).toBool());
        EXPECT_FALSE(finished.at(1).at(0).toBool());
        EXPECT_EQ(page->url(), home);
        EXPECT_EQ(evaluate(page, QStringLiteral("typeof window.meridRender"))->toString(), QStringLiteral("function"));
        EXPECT_EQ(evaluate(page, QStringLiteral("window.open('about:blank') === null"))->toBool(), true);
    }
    // A formula KaTeX cannot read shows its source in a colour readable on the card.
    {
        QScrollArea area;
        QWidget* content = column(area);
        auto* text = new MeridMathRichText(QStringLiteral("Broken \\(x^\\) and \\(\\undefinedcommand\\)"), 14);
        content->layout()->addWidget(text);
        ASSERT_NE(text->webView(), nullptr);
        ASSERT_TRUE(waitReported(*text));
        const QString errorColour = QStringLiteral(
            "(function () { var e = document.querySelector('.katex-error'); return e ? getComputedStyle(e).color : "
            "'none'; })()");
        ApplicationAppearance::shared().apply(InterfaceAppearance::dark);
        EXPECT_EQ(evaluate(text->webView()->page(), errorColour).value_or(QVariant()).toString(),
                  QStringLiteral("rgb(255, 138, 128)"));
    }
}

TEST_F(MeridMathDesktop, ViewsShareOneRendererFallBackAndPassTheWheelOn) {
    // One renderer for every formula view; native text without formulas or without the assets.
    {
        QScrollArea area;
        QWidget* content = column(area);
        QList<MeridMathRichText*> texts;
        for (int i = 0; i < 4; ++i) {
            texts << new MeridMathRichText(QStringLiteral("Block %1: \\(a_%1 + b^2\\)").arg(i), 14);
            content->layout()->addWidget(texts.last());
        }
        for (MeridMathRichText* text : texts) ASSERT_TRUE(waitReported(*text));
        const qint64 pid = texts.first()->webView()->page()->renderProcessPid();
        EXPECT_GT(pid, 0);
        for (MeridMathRichText* text : texts) EXPECT_EQ(text->webView()->page()->renderProcessPid(), pid);
        for (MeridMathRichText* text : texts)
            EXPECT_EQ(text->webView()->page()->profile(), MeridMathWebView::sharedProfile());

        // A single dollar is a price, not a formula.
        auto* plain = new MeridMathRichText(QStringLiteral("It costs $5."), 14);
        content->layout()->addWidget(plain);
        EXPECT_EQ(plain->webView(), nullptr);
        ASSERT_NE(plain->nativeLabel(), nullptr);

        // Without the assets the same formula is native text, and it is typeset again once they are back.
        MeridMathAssets::setDirectory(QString());
        texts.first()->setText(QStringLiteral("Now \\(x\\) without assets"));
        EXPECT_EQ(texts.first()->webView(), nullptr);
        ASSERT_NE(texts.first()->nativeLabel(), nullptr);
        EXPECT_TRUE(texts.first()->nativeLabel()->text().contains(QStringLiteral("Now \\(x\\) without assets")));
        MeridMathAssets::setDirectory(std::nullopt);
        texts.first()->setText(QStringLiteral("Back \\(y\\)"));
        EXPECT_NE(texts.first()->webView(), nullptr);

        // A change of appearance sends one render call with the dark colours.
        MeridMathWebView* web = texts.at(1)->webView();
        const int calls = web->renderCalls();
        ApplicationAppearance::shared().apply(InterfaceAppearance::dark);
        EXPECT_EQ(web->renderCalls(), calls + 1);
        EXPECT_TRUE(web->lastScript()->endsWith(QStringLiteral(",14.0,true,\"#2B2825\");")));
        ApplicationAppearance::shared().apply(InterfaceAppearance::dark);
        EXPECT_EQ(web->renderCalls(), calls + 1);
    }
    // A wheel turn over a formula scrolls the lesson around it, once.
    {
        QScrollArea area;
        QWidget* content = column(area);
        for (int i = 0; i < 12; ++i) {
            auto* filler = new QLabel(QStringLiteral("Line %1").arg(i));
            filler->setMinimumHeight(40);
            content->layout()->addWidget(filler);
        }
        auto* text = new MeridMathRichText(QStringLiteral("\\(e^{i\\pi} + 1 = 0\\)"), 14);
        static_cast<QVBoxLayout*>(content->layout())->insertWidget(1, text);
        ASSERT_TRUE(waitReported(*text));
        QScrollBar* bar = area.verticalScrollBar();
        ASSERT_GT(bar->maximum(), 100);
        bar->setValue(0);
        // The page posts a wheel turn of 30 pixels down.
        evaluate(text->webView()->page(),
                 QStringLiteral("window.dispatchEvent(new WheelEvent('wheel', {deltaY: 30, deltaMode: 0, cancelable: true})); 1"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return bar->value() != 0; }, 5000));
        EXPECT_EQ(bar->value(), 30);

        // A real wheel turn over the view moves the lesson once: by the page's message, and not
        // a second time by the scroll area.
        bar->setValue(0);
        QSignalSpy moves(bar, &QScrollBar::valueChanged);
        QWidget* target = text->webView()->focusProxy() ? text->webView()->focusProxy() : text->webView();
        const QPoint centre = target->rect().center();
        QWheelEvent wheel(centre, target->mapToGlobal(centre), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &wheel);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !moves.isEmpty(); }, 5000));
        // Everything the page and the engine had to say about this turn has arrived after a round trip.
        evaluate(text->webView()->page(), QStringLiteral("1"));
        QCoreApplication::processEvents();
        EXPECT_EQ(moves.size(), 1) << bar->value();
    }
}

}  // namespace
}  // namespace velquin
