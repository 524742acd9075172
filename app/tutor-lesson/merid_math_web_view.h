#pragma once

#include <QString>
#include <QVariant>
#include <QWebEngineView>

#include <optional>

class QWebEngineProfile;

namespace velquin {

// The web view that typesets one formula text: it loads the formula page once, sends it the text,
// size, appearance and background whenever one of them changes (or the page loaded again), and
// relays the page's height and wheel messages. The page may go nowhere but itself and
// about:blank, opens no windows and stores nothing. Every such view shares one profile, so they
// share the renderer process too. Built into the formula module, and made only through its entry
// (see merid_math_views.h), which tells it where the page is.
class MeridMathWebView : public QWebEngineView {
    Q_OBJECT
public:
    // Loads the page when there is one; otherwise the view stays empty.
    explicit MeridMathWebView(QWidget* parent = nullptr);

    // The content to show; sends one render call when it differs from the last one sent.
    void setContent(const QString& text, qreal fontSize, bool dark, bool reminderCard);

    // The page has finished loading at least once.
    bool isReady() const { return ready_; }
    // The script of the last render call sent; none before the first.
    const std::optional<QString>& lastScript() const { return lastScript_; }
    int renderCalls() const { return renderCalls_; }

    // The one profile of every formula page: nothing kept on disk, no cache, and no request
    // outside the formula folder.
    static QWebEngineProfile* sharedProfile();

Q_SIGNALS:
    // A height or wheel message of the page, unchecked, delivered after the message's own handling.
    void heightMessage(const QVariant& body);
    void wheelMessage(const QVariant& body);

private:
    void applyIfNeeded();

    QString text_;
    qreal fontSize_ = 14;
    bool dark_ = false;
    bool reminderCard_ = false;
    bool ready_ = false;
    std::optional<QString> lastSent_;
    std::optional<QString> lastScript_;
    int renderCalls_ = 0;
};

}  // namespace velquin
