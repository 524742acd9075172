#pragma once

#include <QApplication>
#include <QTest>
#include <QVariant>
#include <QWebEnginePage>

#include <optional>

namespace velquin::testing {

// The web engine refuses to start as the super-user with its sandbox on; the tests run as root in CI.
inline void allowWebEngine() {
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
}

// Runs `script` in the page and waits for its result.
inline std::optional<QVariant> evaluate(QWebEnginePage* page, const QString& script, int timeoutMs = 10000) {
    std::optional<QVariant> result;
    page->runJavaScript(script, [&result](const QVariant& value) { result = value; });
    if (!QTest::qWaitFor([&] { return result.has_value(); }, timeoutMs)) return std::nullopt;
    return result;
}

}  // namespace velquin::testing
