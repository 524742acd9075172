#include "app/tutor-lesson/merid_study_composer_view.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/shell/ui_strings.h"
#include "app/tutor-lesson/lessonary_symbol.h"
#include "app/tutor-lesson/lessonary_view_support.h"
#include "base/text.h"

namespace velquin {

namespace {

constexpr int kEditorMinimum = 50;
constexpr int kEditorIdeal = 62;
constexpr int kEditorMaximum = 86;

class ComposerEditor : public QPlainTextEdit {
public:
    explicit ComposerEditor(QWidget* parent) : QPlainTextEdit(parent) {
        setMinimumHeight(kEditorMinimum);
        setMaximumHeight(kEditorMaximum);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        setTabChangesFocus(true);
    }
    QSize sizeHint() const override { return {QPlainTextEdit::sizeHint().width(), kEditorIdeal}; }
};

}  // namespace

MeridStudyComposerView::MeridStudyComposerView(QWidget* parent) : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(19, 12, 19, 12);
    column->setSpacing(8);

    auto* header = new QHBoxLayout();
    header->setSpacing(8);
    icon_ = new LessonarySymbol(QStringLiteral("bubble.left"), 14, this);
    title_ = lessonary::makeLabel(this, lessonary::font(11, QFont::DemiBold), false);
    counter_ = lessonary::makeLabel(this, lessonary::font(10), false);
    counter_->setForegroundRole(QPalette::PlaceholderText);
    header->addWidget(icon_, 0, Qt::AlignVCenter);
    header->addWidget(title_, 0, Qt::AlignVCenter);
    header->addStretch(1);
    header->addWidget(counter_, 0, Qt::AlignVCenter);
    column->addLayout(header);

    editor_ = new ComposerEditor(this);
    editor_->setFont(lessonary::font(12));
    column->addWidget(editor_);

    auto* actions = new QHBoxLayout();
    actions->setSpacing(8);
    note_ = lessonary::makeLabel(this, lessonary::font(10), true);
    note_->setForegroundRole(QPalette::PlaceholderText);
    button_ = new QPushButton(this);
    button_->setCursor(Qt::PointingHandCursor);
    actions->addWidget(note_, 1);
    actions->addWidget(button_);
    column->addLayout(actions);

    connect(editor_, &QPlainTextEdit::textChanged, this, [this] {
        refresh();
        if (!updatingEditor_) Q_EMIT draftChanged(editor_->toPlainText());
    });
    connect(button_, &QPushButton::clicked, this, [this] {
        if (busy_)
            Q_EMIT cancelRequested();
        else if (waiting_)
            Q_EMIT gradeRequested();
        else
            Q_EMIT sendQuestionRequested();
    });
    lessonary::follow(this, [this] { refresh(); }, [this] { refresh(); });
    refresh();
}

void MeridStudyComposerView::setState(bool waitingForAnswer, bool busy, bool canSave) {
    waiting_ = waitingForAnswer;
    busy_ = busy;
    canSave_ = canSave;
    refresh();
}

void MeridStudyComposerView::setDraft(const QString& draft) {
    if (editor_->toPlainText() == draft) return;
    updatingEditor_ = true;
    editor_->setPlainText(draft);
    editor_->moveCursor(QTextCursor::End);
    updatingEditor_ = false;
}

QString MeridStudyComposerView::draft() const { return editor_->toPlainText(); }

void MeridStudyComposerView::refresh() {
    const ColorScheme scheme = lessonary::currentScheme();
    const QString text = editor_->toPlainText();
    icon_->setName(waiting_ ? QStringLiteral("pencil.circle") : QStringLiteral("bubble.left"));
    icon_->setColor(lessonary::componentAccent());
    title_->setText(UIStrings::text(waiting_ ? QStringLiteral("我的答案") : QStringLiteral("向 Merid 提问…")));
    counter_->setText(UIStrings::text(QStringLiteral("%1 字")).arg(base::text::graphemeCount(text)));
    note_->setText(UIStrings::text(waiting_ ? QStringLiteral("作答会保存到本机答题记录")
                                            : QStringLiteral("你发送时才会请求 Orvel AI")));
    editor_->setEnabled(!busy_ && canSave_);
    QColor border = palette().color(QPalette::WindowText);
    border.setAlphaF(0.18f);
    lessonary::styleEditor(editor_, border, 9, scheme);
    if (busy_) {
        button_->setText(UIStrings::text(QStringLiteral("取消请求")));
        lessonary::styleBordered(button_, scheme);
        button_->setEnabled(true);
    } else {
        button_->setText(UIStrings::text(waiting_ ? QStringLiteral("提交答案并批改") : QStringLiteral("发送问题")));
        lessonary::styleProminent(button_, lessonary::componentAccent(), scheme);
        button_->setEnabled(canSave_ && !base::text::trimmed(text).isEmpty());
    }
}

void MeridStudyComposerView::paintEvent(QPaintEvent*) {
    QPainter(this).fillRect(rect(), palette().color(QPalette::Window));
}

}  // namespace velquin
