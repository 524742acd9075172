#include "app/tutor-lesson/lessonary_tutor_rail.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "app/shell/ui_strings.h"
#include "base/text.h"
#include "app/tutor-lesson/lessonary_elided_label.h"
#include "app/tutor-lesson/lessonary_merid_palette.h"
#include "app/tutor-lesson/lessonary_panel.h"
#include "app/tutor-lesson/lessonary_symbol.h"
#include "app/tutor-lesson/lessonary_view_support.h"
#include "app/tutor-lesson/merid_math_rich_text.h"

namespace velquin {

namespace {

constexpr int kEditorMinimum = 52;
constexpr int kEditorIdeal = 65;
constexpr int kEditorMaximum = 100;

// The editor of the follow-up text: 52 to 100 pixels high, 65 when there is room.
class FollowupEditor : public QPlainTextEdit {
public:
    explicit FollowupEditor(QWidget* parent) : QPlainTextEdit(parent) {
        setMinimumHeight(kEditorMinimum);
        setMaximumHeight(kEditorMaximum);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        setTabChangesFocus(true);
    }
    QSize sizeHint() const override { return {QPlainTextEdit::sizeHint().width(), kEditorIdeal}; }
};

// The rail's background, under everything.
class RailBackground : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(rect(), LessonaryMERIDPalette::teacher(lessonary::currentScheme()));
    }
};

}  // namespace

LessonaryTutorRail::LessonaryTutorRail(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("orvel.merid.tutor-rail"));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* background = new RailBackground(this);
    outer->addWidget(background);
    auto* column = new QVBoxLayout(background);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    // Header: the badge, the title and the subtitle.
    auto* header = new QHBoxLayout();
    header->setContentsMargins(15, 15, 15, 15);
    header->setSpacing(10);
    badge_ = new LessonarySymbol(QStringLiteral("sparkle"), 15, background);
    header->addWidget(badge_, 0, Qt::AlignVCenter);
    auto* titles = new QVBoxLayout();
    titles->setSpacing(3);
    title_ = lessonary::makeLabel(background, lessonary::font(15, QFont::DemiBold), false);
    subtitle_ = lessonary::makeLabel(background, lessonary::font(11), false);
    titles->addWidget(title_);
    titles->addWidget(subtitle_);
    header->addLayout(titles, 1);
    column->addLayout(header);
    column->addWidget(lessonary::makeDivider(background));

    // The messages: topic, intro card and the latest follow-up.
    auto* scroll = new QScrollArea(background);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll->viewport()->setAutoFillBackground(false);
    auto* messages = new QWidget(scroll);
    messages->setAutoFillBackground(false);
    auto* messageColumn = new QVBoxLayout(messages);
    messageColumn->setContentsMargins(13, 13, 13, 13);
    messageColumn->setSpacing(16);

    topicRow_ = new QWidget(messages);
    auto* topicLayout = new QHBoxLayout(topicRow_);
    topicLayout->setContentsMargins(0, 0, 0, 0);
    topicLayout->setSpacing(6);
    topicSymbol_ = new LessonarySymbol(QStringLiteral("book.closed"), 12, topicRow_);
    topicLabel_ = new LessonaryElidedLabel(3, topicRow_);
    topicLabel_->setFont(lessonary::font(12, QFont::Medium));
    topicLayout->addWidget(topicSymbol_, 0, Qt::AlignTop);
    topicLayout->addWidget(topicLabel_, 1);
    messageColumn->addWidget(topicRow_);

    auto* intro = new LessonaryPanel(LessonaryMERIDPalette::subtle, nullptr, 11, messages);
    auto* introRow = new QHBoxLayout(intro);
    introRow->setContentsMargins(11, 11, 11, 11);
    introRow->setSpacing(9);
    introSymbol_ = new LessonarySymbol(QStringLiteral("bubble.left.and.text.bubble.right"), 15, intro);
    introText_ = lessonary::makeLabel(intro, lessonary::font(12), true);
    introRow->addWidget(introSymbol_, 0, Qt::AlignTop);
    introRow->addWidget(introText_, 1);
    messageColumn->addWidget(intro);

    followupCard_ = new LessonaryPanel(LessonaryMERIDPalette::card, LessonaryMERIDPalette::line, 12, messages);
    auto* followupColumn = new QVBoxLayout(followupCard_);
    followupColumn->setContentsMargins(12, 12, 12, 12);
    followupColumn->setSpacing(10);
    followupLabel_ = lessonary::makeLabel(followupCard_, lessonary::font(11, QFont::DemiBold), false);
    followupColumn->addWidget(followupLabel_);
    auto* questionBubble = new LessonaryPanel(LessonaryMERIDPalette::subtle, nullptr, 10, followupCard_);
    auto* bubbleLayout = new QVBoxLayout(questionBubble);
    bubbleLayout->setContentsMargins(10, 10, 10, 10);
    // The bubble is tinted: a formula page takes its colour.
    followupQuestionText_ = new MeridMathRichText(QString(), 12, QFont::Medium, true, questionBubble);
    bubbleLayout->addWidget(followupQuestionText_);
    followupColumn->addWidget(questionBubble);
    followupAnswerText_ = new MeridMathRichText(QString(), 13, QFont::Normal, false, followupCard_);
    followupColumn->addWidget(followupAnswerText_);
    messageColumn->addWidget(followupCard_);
    messageColumn->addStretch(1);
    scroll->setWidget(messages);
    column->addWidget(scroll, 1);
    column->addWidget(lessonary::makeDivider(background));

    // The composer.
    auto* composer = new QVBoxLayout();
    composer->setContentsMargins(13, 13, 13, 13);
    composer->setSpacing(9);
    composerHeading_ = lessonary::makeLabel(background, lessonary::font(12, QFont::DemiBold), false);
    composer->addWidget(composerHeading_);
    editor_ = new FollowupEditor(background);
    editor_->setObjectName(QStringLiteral("orvel.merid.tutor-followup"));
    editor_->setFont(lessonary::font(13));
    composer->addWidget(editor_);
    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    send_ = new QPushButton(background);
    send_->setObjectName(QStringLiteral("orvel.merid.tutor-send"));
    send_->setCursor(Qt::PointingHandCursor);
    cancel_ = new QPushButton(background);
    buttons->addWidget(send_);
    buttons->addWidget(cancel_);
    composer->addLayout(buttons);
    column->addLayout(composer);

    connect(editor_, &QPlainTextEdit::textChanged, this, [this] {
        if (updatingEditor_) return;
        refresh();
        Q_EMIT followupDraftChanged(editor_->toPlainText());
    });
    connect(send_, &QPushButton::clicked, this, [this] {
        if (canAsk()) Q_EMIT sendRequested();
    });
    connect(cancel_, &QPushButton::clicked, this, &LessonaryTutorRail::cancelRequested);

    lessonary::follow(this, [this] { retranslate(); }, [this] { restyle(); });
    refresh();
    retranslate();
    restyle();
}

void LessonaryTutorRail::setState(const meridcore::TeacherLearningSession& session, bool busy, bool canSave) {
    busy_ = busy;
    canSave_ = canSave;
    hint_ = session.pendingQuizIndex().has_value();
    topic_ = session.topicName;
    followupQuestion_ = session.lastFollowupQuestion;
    followupAnswer_ = session.lastFollowupAnswer;
    refresh();
    retranslate();
    restyle();
}

void LessonaryTutorRail::setFollowupDraft(const QString& draft) {
    if (editor_->toPlainText() == draft) return;
    updatingEditor_ = true;
    editor_->setPlainText(draft);
    editor_->moveCursor(QTextCursor::End);
    updatingEditor_ = false;
    refresh();
}

QString LessonaryTutorRail::followupDraft() const { return editor_->toPlainText(); }

bool LessonaryTutorRail::canAsk() const {
    return !busy_ && canSave_ && !base::text::trimmed(editor_->toPlainText()).isEmpty();
}

void LessonaryTutorRail::refresh() {
    topicRow_->setVisible(topic_ && !topic_->isEmpty());
    topicLabel_->setFullText(topic_.value_or(QString()));
    const bool showFollowup = followupQuestion_ && followupAnswer_ && !followupAnswer_->isEmpty();
    followupCard_->setVisible(showFollowup);
    if (showFollowup) {
        followupQuestionText_->setText(*followupQuestion_);
        followupAnswerText_->setText(*followupAnswer_);
    }
    introSymbol_->setName(hint_ ? QStringLiteral("lightbulb") : QStringLiteral("bubble.left.and.text.bubble.right"));
    editor_->setEnabled(!busy_ && canSave_);
    send_->setVisible(!busy_);
    cancel_->setVisible(busy_);
    send_->setEnabled(canAsk());
}

void LessonaryTutorRail::retranslate() {
    title_->setText(UIStrings::choose(QStringLiteral("MERID 老师"), QStringLiteral("MERID Tutor"),
                                      QStringLiteral("Professeur MERID")));
    subtitle_->setText(UIStrings::choose(QStringLiteral("提问与提示"), QStringLiteral("Questions & hints"),
                                         QStringLiteral("Questions et indices")));
    introText_->setText(
        hint_ ? UIStrings::choose(
                    QStringLiteral("写到哪儿卡住了，都可以问我。我会给你一点提示，不会直接公布答案；你写的内容会保留。"),
                    QStringLiteral("Stuck on a step? Ask me for a hint. I'll guide you without revealing the answer, "
                                   "and your draft stays put."),
                    QStringLiteral("Bloqué sur une étape ? Je vous guiderai sans révéler la réponse ; votre "
                                   "brouillon reste intact."))
              : UIStrings::choose(
                    QStringLiteral("哪里没听懂，直接问我就好。讲解和练习会留在中间的课堂，我们可以慢慢来。"),
                    QStringLiteral("Not sure about something? Ask away. Your lesson stays in the center, and we can "
                                   "take it one step at a time."),
                    QStringLiteral("Une question ? Posez-la ici. Le cours reste au centre, et nous avançons étape "
                                   "par étape.")));
    followupLabel_->setText(UIStrings::choose(QStringLiteral("最近一次追问"), QStringLiteral("LATEST FOLLOW-UP"),
                                              QStringLiteral("DERNIÈRE QUESTION")));
    composerHeading_->setText(hint_ ? UIStrings::choose(QStringLiteral("向老师请求提示"), QStringLiteral("Ask for a hint"),
                                                        QStringLiteral("Demander un indice"))
                                    : UIStrings::choose(QStringLiteral("向 MERID 追问"), QStringLiteral("Ask MERID"),
                                                        QStringLiteral("Demander à MERID")));
    send_->setText(hint_ ? UIStrings::choose(QStringLiteral("获取提示"), QStringLiteral("Get hint"),
                                             QStringLiteral("Obtenir un indice"))
                         : UIStrings::choose(QStringLiteral("发送追问"), QStringLiteral("Send question"),
                                             QStringLiteral("Envoyer")));
    cancel_->setText(UIStrings::choose(QStringLiteral("取消"), QStringLiteral("Cancel"), QStringLiteral("Annuler")));
}

void LessonaryTutorRail::restyle() {
    const ColorScheme scheme = lessonary::currentScheme();
    badge_->setColor(Qt::white);
    badge_->setBadge(33, LessonaryMERIDPalette::coral(scheme), 10);
    lessonary::setTextColor(title_, LessonaryMERIDPalette::ink(scheme));
    lessonary::setTextColor(subtitle_, LessonaryMERIDPalette::muted(scheme));
    topicSymbol_->setColor(LessonaryMERIDPalette::ink(scheme));
    lessonary::setTextColor(topicLabel_, LessonaryMERIDPalette::ink(scheme));
    introSymbol_->setColor(LessonaryMERIDPalette::coral(scheme));
    lessonary::setTextColor(introText_, LessonaryMERIDPalette::ink(scheme));
    lessonary::setTextColor(followupLabel_, LessonaryMERIDPalette::muted(scheme));
    lessonary::setTextColor(composerHeading_, LessonaryMERIDPalette::ink(scheme));
    lessonary::styleEditor(editor_, LessonaryMERIDPalette::line(scheme), 9, scheme);
    lessonary::styleProminent(send_, LessonaryMERIDPalette::coral(scheme), scheme);
    send_->setIcon(LessonarySymbol::icon(QStringLiteral("arrow.up"), Qt::white, 12, QColor(255, 255, 255, 140)));
    lessonary::styleBordered(cancel_, scheme);
}

}  // namespace velquin
