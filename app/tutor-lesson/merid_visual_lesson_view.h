#pragma once

#include <QList>
#include <QString>
#include <QWidget>

#include "tutor-engine/merid_lesson_formatter.h"

class QLabel;
class QVBoxLayout;

namespace velquin {

class LessonaryPanel;
class LessonarySymbol;
class MeridMathRichText;

// One tutor reply as a column of cards, one per lesson section (intuition, key concept, example,
// reminder, or plain paragraphs), each with its badge, heading and formula-capable text.
class MeridVisualLessonView : public QWidget {
    Q_OBJECT
public:
    explicit MeridVisualLessonView(QWidget* parent = nullptr);

    // Cuts the reply into sections and shows them; cards of sections that did not change keep
    // their text views.
    void setResponse(const QString& response);
    QString response() const { return response_; }

    struct Card {
        meridcore::MeridLessonSectionKind kind;
        LessonaryPanel* panel;
        LessonarySymbol* badge;
        QLabel* heading;  // null for paragraphs
        MeridMathRichText* text;
    };
    const QList<Card>& cards() const { return cards_; }

    static QString symbolName(meridcore::MeridLessonSectionKind kind);
    // Empty for paragraphs.
    static QString heading(meridcore::MeridLessonSectionKind kind);

private:
    Card makeCard(const meridcore::MeridLessonSection& section);
    void retranslate();
    void restyle();

    QString response_;
    QVBoxLayout* column_ = nullptr;
    QList<Card> cards_;
};

}  // namespace velquin
