#include "app/tutor-lesson/merid_checkpoint_card.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/shell/orvel_native_coach.h"
#include "app/shell/ui_strings.h"
#include "app/tutor-lesson/lessonary_merid_palette.h"
#include "app/tutor-lesson/lessonary_panel.h"
#include "app/tutor-lesson/lessonary_symbol.h"
#include "app/tutor-lesson/lessonary_view_support.h"
#include "app/tutor-lesson/merid_math_rich_text.h"
#include "app/tutor-lesson/orvel_native_coach_tip.h"

namespace velquin {

namespace {

constexpr int kEditorMinimum = 68;
constexpr int kEditorIdeal = 86;

class AnswerEditor : public QPlainTextEdit {
public:
    explicit AnswerEditor(QWidget* parent) : QPlainTextEdit(parent) {
        setMinimumHeight(kEditorMinimum);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        setTabChangesFocus(true);
    }
    QSize sizeHint() const override { return {QPlainTextEdit::sizeHint().width(), kEditorIdeal}; }
};

}  // namespace

MeridCheckpointCard::MeridCheckpointCard(OrvelNativeCoach& coach, QWidget* parent) : QWidget(parent), coach_(coach) {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* card = new LessonaryPanel(LessonaryMERIDPalette::card, LessonaryMERIDPalette::line, 14, this);
    outer->addWidget(card);
    auto* column = new QVBoxLayout(card);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* header = new QHBoxLayout();
    header->setContentsMargins(16, 16, 16, 16);
    header->setSpacing(6);
    symbol_ = new LessonarySymbol(QStringLiteral("pencil.line"), 15, card);
    title_ = lessonary::makeLabel(card, lessonary::font(14, QFont::DemiBold), false);
    badge_ = lessonary::makeLabel(card, lessonary::font(11), false);
    header->addWidget(symbol_, 0, Qt::AlignVCenter);
    header->addWidget(title_, 0, Qt::AlignVCenter);
    header->addStretch(1);
    header->addWidget(badge_, 0, Qt::AlignVCenter);
    column->addLayout(header);
    column->addWidget(lessonary::makeDivider(card));

    auto* body = body_ = new QVBoxLayout();
    body->setContentsMargins(18, 18, 18, 18);
    body->setSpacing(12);
    question_ = new MeridMathRichText(QString(), 14, QFont::Medium, false, card);
    body->addWidget(question_);
    editor_ = new AnswerEditor(card);
    editor_->setObjectName(QStringLiteral("orvel.merid.checkpoint-answer"));
    editor_->setFont(lessonary::font(14));
    body->addWidget(editor_);
    auto* actions = new QHBoxLayout();
    note_ = lessonary::makeLabel(card, lessonary::font(11), true);
    actions->addWidget(note_, 1);
    grade_ = new QPushButton(card);
    grade_->setObjectName(QStringLiteral("orvel.merid.grade-checkpoint"));
    grade_->setCursor(Qt::PointingHandCursor);
    cancel_ = new QPushButton(card);
    actions->addWidget(grade_);
    actions->addWidget(cancel_);
    body->addLayout(actions);
    column->addLayout(body);

    connect(editor_, &QPlainTextEdit::textChanged, this, [this] {
        if (!updatingEditor_) Q_EMIT answerDraftChanged(editor_->toPlainText());
    });
    connect(grade_, &QPushButton::clicked, this, &MeridCheckpointCard::gradeRequested);
    connect(cancel_, &QPushButton::clicked, this, &MeridCheckpointCard::cancelRequested);
    connect(&coach_, &OrvelNativeCoach::stepChanged, this, [this] { updateTip(); });

    lessonary::follow(this, [this] { retranslate(); }, [this] { restyle(); });
    updateTip();
    retranslate();
    restyle();
}

void MeridCheckpointCard::setState(const QString& question, bool busy, bool canSave, bool canSubmit) {
    busy_ = busy;
    canSave_ = canSave;
    canSubmit_ = canSubmit;
    question_->setText(question);
    editor_->setEnabled(!busy && canSave);
    grade_->setVisible(!busy);
    grade_->setEnabled(canSubmit);
    cancel_->setVisible(busy);
}

void MeridCheckpointCard::setAnswerDraft(const QString& draft) {
    if (editor_->toPlainText() == draft) return;
    updatingEditor_ = true;
    editor_->setPlainText(draft);
    editor_->moveCursor(QTextCursor::End);
    updatingEditor_ = false;
}

void MeridCheckpointCard::updateTip() {
    const bool wanted = coach_.step() == OrvelNativeCoach::Step::quiz;
    if (wanted == (tip_ != nullptr)) return;
    if (!wanted) {
        delete tip_;
        tip_ = nullptr;
        return;
    }
    tip_ = new OrvelNativeCoachTip(UIStrings::choose(QStringLiteral("答案写在下面，想要提示可以问右侧老师。"),
                                                     QStringLiteral("Write your answer below; ask the tutor on the "
                                                                    "right for hints."),
                                                     QStringLiteral("Répondez ci-dessous ; demandez un indice à droite.")),
                                   this);
    connect(tip_, &OrvelNativeCoachTip::skipRequested, &coach_, &OrvelNativeCoach::skip);
    // Between the question and the editor.
    body_->insertWidget(body_->indexOf(editor_), tip_);
}

void MeridCheckpointCard::retranslate() {
    title_->setText(UIStrings::choose(QStringLiteral("来试一道小题"), QStringLiteral("Try a quick question"),
                                      QStringLiteral("Une petite question")));
    badge_->setText(UIStrings::choose(QStringLiteral("等你来挑战"), QStringLiteral("Your turn"),
                                      QStringLiteral("À vous de jouer")));
    note_->setText(UIStrings::choose(QStringLiteral("提交前不会显示答案。"),
                                     QStringLiteral("Answers remain hidden until submission."),
                                     QStringLiteral("La réponse reste cachée avant l’envoi.")));
    grade_->setText(UIStrings::choose(QStringLiteral("检查我的答案"), QStringLiteral("Check my answer"),
                                      QStringLiteral("Vérifier ma réponse")));
    cancel_->setText(UIStrings::choose(QStringLiteral("取消请求"), QStringLiteral("Cancel request"),
                                       QStringLiteral("Annuler")));
    // The tip's message is a text of its own: a new tip in the new language.
    if (tip_) {
        delete tip_;
        tip_ = nullptr;
        updateTip();
    }
}

void MeridCheckpointCard::restyle() {
    const ColorScheme scheme = lessonary::currentScheme();
    symbol_->setColor(LessonaryMERIDPalette::ink(scheme));
    lessonary::setTextColor(title_, LessonaryMERIDPalette::ink(scheme));
    lessonary::setTextColor(badge_, LessonaryMERIDPalette::muted(scheme));
    lessonary::setTextColor(note_, LessonaryMERIDPalette::muted(scheme));
    lessonary::styleEditor(editor_, LessonaryMERIDPalette::line(scheme), 10, scheme);
    lessonary::styleProminent(grade_, LessonaryMERIDPalette::coral(scheme), scheme);
    grade_->setIcon(LessonarySymbol::icon(QStringLiteral("arrow.up.right"), Qt::white, 12, QColor(255, 255, 255, 140)));
    lessonary::styleBordered(cancel_, scheme);
}

}  // namespace velquin
