#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class QVBoxLayout;

namespace velquin {

class AnswerText;
class AppStore;
class OrvelNativeCoach;
class OrvelNativeCoachTip;
class SurfaceCard;
class WorkspaceRouter;

// The home page's answer section: the title with "交给 AI 老师", copy and export; the tour's tip
// towards the tutor; and the answer card (warning, the answer as selectable text, a note when only
// its beginning is shown, the detail line)
// or, without an answer, the placeholder card, which tells when the store is busy.
class AnswerSection : public QWidget {
    Q_OBJECT
public:
    AnswerSection(AppStore& store, WorkspaceRouter& router, OrvelNativeCoach& coach, QWidget* parent = nullptr);

    QPushButton* tutorButton() const { return tutor_; }
    QPushButton* copyButton() const { return copy_; }
    QPushButton* exportButton() const { return export_; }
    OrvelNativeCoachTip* tip() const { return tip_; }
    SurfaceCard* answerCard() const { return answerCard_; }
    QWidget* warningRow() const { return warningRow_; }
    QLabel* warningLabel() const { return warning_; }
    AnswerText* answerText() const { return answerText_; }
    // Says that only the beginning of a very long answer is shown.
    QLabel* cutNote() const { return cutNote_; }
    QLabel* detailLabel() const { return detail_; }
    SurfaceCard* placeholderCard() const { return placeholderCard_; }
    QLabel* placeholderSymbol() const { return placeholderSymbol_; }
    QLabel* placeholderText() const { return placeholderText_; }

    void retranslate();

private:
    void showStore();
    void showTip();
    void restyle();

    AppStore& store_;
    WorkspaceRouter& router_;
    OrvelNativeCoach& coach_;
    QVBoxLayout* stack_ = nullptr;
    QLabel* title_ = nullptr;
    QPushButton* tutor_ = nullptr;
    QPushButton* copy_ = nullptr;
    QPushButton* export_ = nullptr;
    OrvelNativeCoachTip* tip_ = nullptr;
    SurfaceCard* answerCard_ = nullptr;
    QWidget* warningRow_ = nullptr;
    QLabel* warningSymbol_ = nullptr;
    QLabel* warning_ = nullptr;
    AnswerText* answerText_ = nullptr;
    QLabel* cutNote_ = nullptr;
    QLabel* detail_ = nullptr;
    SurfaceCard* placeholderCard_ = nullptr;
    QLabel* placeholderSymbol_ = nullptr;
    QLabel* placeholderText_ = nullptr;
};

}  // namespace velquin
