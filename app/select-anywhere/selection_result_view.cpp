#include "app/select-anywhere/selection_result_view.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTextBrowser>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/select-anywhere/rounded_fill.h"
#include "app/shell/app_store.h"
#include "app/shell/orvel_brand.h"
#include "app/shell/shown_answer.h"
#include "app/shell/symbol_image.h"
#include "app/shell/system_colors.h"
#include "app/shell/ui_strings.h"
#include "app/shell/wrapped_text.h"
#include "app/tutor-lesson/lessonary_theme.h"
#include "app/tutor-lesson/lessonary_view_support.h"

namespace velquin {

namespace {

// Text sizes in device-independent pixels.
constexpr int kTitle3 = 17;
constexpr int kCallout = 13;
constexpr int kCaption = 12;
constexpr int kCaption2 = 11;
constexpr int kAnswer = 15;
constexpr int kAnswerLineSpacing = 5;
constexpr int kSnippetLines = 3;
constexpr int kDetailLines = 2;
constexpr int kSymbolSize = 18;

QString text(const char* chinese) { return UIStrings::text(QString::fromUtf8(chinese)); }

QPushButton* button(QWidget* parent) {
    auto* pushButton = new QPushButton(parent);
    pushButton->setAutoDefault(false);
    pushButton->setFont(lessonary::font(kCallout));
    return pushButton;
}

// A text that wraps inside a word where it must (selected text, paths, codes), never widening the
// view, in at most `lines` lines (0: all).
WrappedText* wrappedText(QWidget* parent, int size, int lines = 0) {
    auto* text = new WrappedText(parent, lessonary::font(size));
    text->setSelectable(false);
    text->setMaximumLines(lines);
    return text;
}

}  // namespace

// The answer as selectable plain text; a very long one shows its beginning (see ShownAnswer).
// Screen readers read it as written.
class SelectionResultView::AnswerBrowser : public QTextBrowser, public ShownAnswerView {
public:
    using QTextBrowser::QTextBrowser;

    // Shows `text`, unless it is already shown (keeps a selection).
    void setAnswer(const QString& text) {
        if (text == shown_.answer() && !document()->isEmpty()) return;
        shown_ = ShownAnswer(text);
        // The answer's lines stand a little apart.
        shown_.show(this, kAnswerLineSpacing);
    }
    void clearAnswer() {
        shown_ = ShownAnswer();
        clear();
    }
    bool isCut() const { return shown_.isCut(); }
    const ShownAnswer& shownAnswer() const override { return shown_; }

protected:
    QMimeData* createMimeDataFromSelection() const override { return shown_.selection(this); }

private:
    ShownAnswer shown_;
};

SelectionResultView::SelectionResultView(AppStore& store, QWidget* parent) : QWidget(parent), store_(store) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(14);

    auto* header = new QHBoxLayout();
    titleSymbol_ = new QLabel(this);
    titleSymbol_->setFixedSize(kSymbolSize, kSymbolSize);
    title_ = lessonary::makeLabel(this, lessonary::font(kTitle3, QFont::Bold), false);
    settings_ = new QToolButton(this);
    settings_->setAutoRaise(true);
    header->addWidget(titleSymbol_);
    header->addWidget(title_);
    header->addStretch(1);
    header->addWidget(settings_);
    column->addLayout(header);

    auto* snippetBox = new RoundedFill(10, this);
    snippetBox_ = snippetBox;
    auto* snippetInset = new QVBoxLayout(snippetBox);
    snippetInset->setContentsMargins(12, 12, 12, 12);
    snippet_ = wrappedText(snippetBox, kCallout, kSnippetLines);
    snippetInset->addWidget(snippet_);
    column->addWidget(snippetBox);

    error_ = wrappedText(this, kCallout);
    error_->setSelectable(true);
    column->addWidget(error_);

    result_ = new QStackedWidget(this);
    answerPage_ = new QWidget(result_);
    auto* answerColumn = new QVBoxLayout(answerPage_);
    answerColumn->setContentsMargins(0, 0, 0, 0);
    warning_ = wrappedText(answerPage_, kCaption);
    answer_ = new AnswerBrowser(answerPage_);
    answer_->setFrameShape(QFrame::NoFrame);
    answer_->setFont(lessonary::font(kAnswer));
    answer_->setOpenLinks(false);
    answer_->document()->setDocumentMargin(0);
    answer_->viewport()->setAutoFillBackground(false);
    answer_->setAutoFillBackground(false);
    answerColumn->addWidget(warning_);
    answerColumn->addWidget(answer_, 1);
    cutNote_ = lessonary::makeLabel(answerPage_, lessonary::font(kCaption2), true);
    answerColumn->addWidget(cutNote_);
    result_->addWidget(answerPage_);
    waitingPage_ = new QWidget(result_);
    auto* waitingColumn = new QVBoxLayout(waitingPage_);
    waitingColumn->setSpacing(10);
    waitingColumn->addStretch(1);
    busy_ = new QProgressBar(waitingPage_);
    busy_->setRange(0, 0);  // indeterminate
    busy_->setTextVisible(false);
    busy_->setFixedWidth(120);
    waitingColumn->addWidget(busy_, 0, Qt::AlignHCenter);
    placeholder_ = lessonary::makeLabel(waitingPage_, lessonary::font(kCallout), true);
    placeholder_->setAlignment(Qt::AlignHCenter);
    waitingColumn->addWidget(placeholder_);
    waitingColumn->addStretch(1);
    result_->addWidget(waitingPage_);
    column->addWidget(result_, 1);

    detail_ = wrappedText(this, kCaption2, kDetailLines);
    column->addWidget(detail_);

    auto* actions = new QHBoxLayout();
    fullWindow_ = button(this);
    stop_ = button(this);
    regenerate_ = button(this);
    copy_ = button(this);
    actions->addWidget(fullWindow_);
    actions->addStretch(1);
    actions->addWidget(stop_);
    actions->addWidget(regenerate_);
    actions->addWidget(copy_);
    column->addLayout(actions);

    connect(settings_, &QToolButton::clicked, &store_, [this] { store_.setShowSettings(true); });
    connect(fullWindow_, &QPushButton::clicked, &store_, &AppStore::showFullWorkspace);
    connect(stop_, &QPushButton::clicked, &store_, &AppStore::cancel);
    connect(regenerate_, &QPushButton::clicked, &store_, &AppStore::submit);
    connect(copy_, &QPushButton::clicked, &store_, &AppStore::copyAnswer);
    for (auto signal : {&AppStore::sourceChanged, &AppStore::modeChanged, &AppStore::answerChanged,
                        &AppStore::resultDetailChanged, &AppStore::statusChanged, &AppStore::errorMessageChanged,
                        &AppStore::isBusyChanged})
        connect(&store_, signal, this, &SelectionResultView::refresh);

    lessonary::follow(this, [this] { retranslate(); }, [this] { restyle(); });
    retranslate();
    restyle();
}

QTextBrowser* SelectionResultView::answerText() const { return answer_; }

void SelectionResultView::retranslate() {
    settings_->setToolTip(text("账户与隐私设置"));
    settings_->setAccessibleName(settings_->toolTip());
    fullWindow_->setText(text("完整窗口"));
    stop_->setText(text("停止"));
    regenerate_->setText(text("重新生成"));
    copy_->setText(text("复制"));
    refresh();
}

void SelectionResultView::refresh() {
    const tamsel::StudyMode mode = store_.mode();
    const QString modeTitle = UIStrings::text(title(mode));
    title_->setText(UIStrings::choose(QStringLiteral("划词") + title(mode), QStringLiteral("Selection · ") + modeTitle,
                                      QStringLiteral("Sélection · ") + modeTitle));
    titleSymbol_->setProperty("symbol", symbol(mode));

    snippet_->setText(store_.source());
    const std::optional<QString>& error = store_.errorMessage();
    error_->setVisible(error.has_value());
    error_->setText(error ? UIStrings::text(*error) : QString());

    const std::optional<tamsel::ModelAnswer>& answer = store_.answer();
    if (answer) {
        const bool hasWarning = answer->warning && !answer->warning->isEmpty();
        warning_->setVisible(hasWarning);
        warning_->setText(hasWarning ? UIStrings::text(*answer->warning) : QString());
        answer_->setAnswer(answer->text);
        cutNote_->setVisible(answer_->isCut());
        cutNote_->setText(UIStrings::text(ShownAnswer::cutNote));
        result_->setCurrentWidget(answerPage_);
    } else {
        answer_->clearAnswer();
        busy_->setVisible(store_.isBusy());
        placeholder_->setText(store_.isBusy() ? text("正在回答…") : UIStrings::text(store_.status()));
        result_->setCurrentWidget(waitingPage_);
    }
    detail_->setText(store_.resultDetail().isEmpty() ? text("由你主动触发 · 所选文字发送至 第三方 AI 服务")
                                                     : UIStrings::text(store_.resultDetail()));

    // Stop and regenerate take one place: exactly one of them is there.
    stop_->setVisible(store_.isBusy());
    regenerate_->setVisible(!store_.isBusy());
    regenerate_->setEnabled(store_.canSubmit());
    copy_->setEnabled(answer.has_value());
    restyle();
}

void SelectionResultView::restyle() {
    const ColorScheme scheme = lessonary::currentScheme();
    const QColor ink = LessonaryTheme::ink(scheme);
    const QColor secondary = LessonaryTheme::inkSecondary(scheme);
    const QColor accent = OrvelBrand::accent();
    const qreal ratio = devicePixelRatioF();
    lessonary::setTextColor(title_, ink);
    lessonary::setTextColor(answer_, ink);
    for (QWidget* label : std::initializer_list<QWidget*>{snippet_, placeholder_, detail_, cutNote_})
        lessonary::setTextColor(label, secondary);
    for (QWidget* label : std::initializer_list<QWidget*>{error_, warning_})
        lessonary::setTextColor(label, SystemColors::orange(scheme));
    titleSymbol_->setPixmap(SymbolImage::pixmap(titleSymbol_->property("symbol").toString(), titleSymbol_->size(),
                                                accent, ratio));
    settings_->setIcon(QIcon(SymbolImage::pixmap(QStringLiteral("gearshape"), QSize(16, 16), secondary, ratio)));
    QColor wash = accent;
    wash.setAlphaF(0.06);
    snippetBox_->setFill(wash);
    copy_->setIcon(QIcon(SymbolImage::pixmap(QStringLiteral("doc.on.doc"), QSize(14, 14),
                                             palette().color(QPalette::BrightText), ratio)));
    // The copy button is the prominent one: the accent behind light text.
    copy_->setStyleSheet(QStringLiteral("QPushButton { background: %1; color: %2; border: none; border-radius: 6px; "
                                        "padding: 4px 12px; } QPushButton:disabled { background: %3; color: %4; }")
                             .arg(accent.name(), palette().color(QPalette::BrightText).name(),
                                  LessonaryTheme::divider(scheme).name(), secondary.name()));
    busy_->setStyleSheet(QStringLiteral("QProgressBar::chunk { background: %1; }").arg(accent.name()));
}

}  // namespace velquin
