#pragma once

#include <QFont>
#include <QString>
#include <QWidget>

class QLabel;

namespace velquin {

class MeridMathWebView;

// Any tutor text that may hold formulas. A text with formula markers is typeset in a formula web
// view (as wide as offered, as high as the page reports, 24 to 8,000 pixels) when the formula
// assets and module are there and the web engine can run; every other text is native, selectable
// text in the ink colour with 6 pixels between lines. The choice is made again whenever the text or
// the appearance changes. The page's background is the colour of the card the text sits on: the
// ordinary card's, or with `isReminderCard` the tinted card's (a reminder section, the grading
// feedback, the rail's question bubble), so no band of another colour shows around a formula.
class MeridMathRichText : public QWidget {
    Q_OBJECT
public:
    explicit MeridMathRichText(const QString& text = {}, qreal fontSize = 14, QFont::Weight weight = QFont::Normal,
                               bool isReminderCard = false, QWidget* parent = nullptr);

    QString text() const { return text_; }
    void setText(const QString& text);

    // Whether `text` would be typeset in the web view now.
    static bool takesWebPath(const QString& text);

    // The web view while the text is typeset, else null; the native label otherwise, else null.
    // The web view's type is known only where the formula module is linked (tests, benchmarks).
    template <typename View = MeridMathWebView>
    View* webView() const {
        return qobject_cast<View*>(web_);
    }
    QLabel* nativeLabel() const { return label_; }
    // The last height the page reported (40 until it does).
    qreal measuredHeight() const { return measuredHeight_; }

private:
    void refresh();
    void showNative();
    void showWeb();
    void takeHeight(const QVariant& body);
    void takeWheel(const QVariant& body);

    QString text_;
    qreal fontSize_ = 14;
    QFont::Weight weight_ = QFont::Normal;
    bool reminderCard_ = false;
    qreal measuredHeight_;
    QLabel* label_ = nullptr;
    QWidget* web_ = nullptr;
};

}  // namespace velquin
