#include "app/select-anywhere/direct_float_view.h"

#include <QAbstractButton>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QStackedWidget>
#include <QTextEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/select-anywhere/direct_float_model.h"
#include "app/select-anywhere/floating_bulb_view.h"
#include "app/shell/orvel_brand.h"
#include "app/shell/shown_answer.h"
#include "app/shell/symbol_image.h"
#include "app/shell/system_colors.h"
#include "app/shell/ui_strings.h"
#include "app/shell/wrapped_text.h"
#include "app/tutor-lesson/busy_spinner.h"
#include "app/tutor-lesson/lessonary_theme.h"
#include "app/tutor-lesson/lessonary_view_support.h"
#include "base/text.h"

namespace velquin {

using tamsel::StudyMode;

namespace {

// Text sizes, in device-independent pixels.
constexpr int caption2Size = 11;
constexpr int captionSize = 12;
constexpr int calloutSize = 13;
constexpr int bodySize = 14;
constexpr int title3Size = 18;

// A rounded card: a filled rounded rectangle, optionally outlined with the theme's border.
class Card : public QFrame {
public:
    Card(qreal radius, bool bordered, QWidget* parent) : QFrame(parent), radius_(radius), bordered_(bordered) {}
    void setFill(const QColor& fill) {
        fill_ = fill;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QRectF bounds = rect();
        LessonaryTheme::fillRounded(painter, bounds, fill_, radius_);
        if (bordered_) LessonaryTheme::border(painter, bounds, lessonary::currentScheme(), radius_);
    }

private:
    qreal radius_;
    bool bordered_;
    QColor fill_;
};

// A label on one line: text that does not fit ends in an ellipsis.
class OneLineLabel : public QLabel {
public:
    using QLabel::QLabel;
    QSize minimumSizeHint() const override { return QSize(0, QLabel::minimumSizeHint().height()); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(palette().color(foregroundRole()));
        painter.drawText(contentsRect(), int(alignment() | Qt::TextSingleLine),
                         fontMetrics().elidedText(text(), Qt::ElideRight, contentsRect().width()));
    }
};

// One study mode: the current one on a faint accent ground, in accent and semibold.
class ModeButton : public QAbstractButton {
public:
    ModeButton(QColor accent, QWidget* parent) : QAbstractButton(parent), accent_(std::move(accent)) {
        setCheckable(true);
        setAutoExclusive(false);
        setFocusPolicy(Qt::TabFocus);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }
    QSize sizeHint() const override {
        const QFontMetrics metrics(lessonary::font(12, QFont::DemiBold));
        return {metrics.horizontalAdvance(text()) + 16, metrics.height() + 16};
    }
    QSize minimumSizeHint() const override { return {24, sizeHint().height()}; }
    void setSecondary(const QColor& color) {
        secondary_ = color;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        if (!isEnabled()) painter.setOpacity(0.45);
        if (isChecked()) {
            QColor ground = accent_;
            ground.setAlphaF(0.12f);
            LessonaryTheme::fillRounded(painter, rect(), ground, 8);
        }
        painter.setFont(lessonary::font(12, isChecked() ? QFont::DemiBold : QFont::Normal));
        painter.setPen(isChecked() ? accent_ : secondary_);
        painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine,
                         painter.fontMetrics().elidedText(text(), Qt::ElideRight, width() - 4));
    }

private:
    QColor accent_;
    QColor secondary_;
};

// A button whose title shrinks to 0.85 of its size before it is cut with an ellipsis.
class FittingButton : public QPushButton {
public:
    FittingButton(QFont base, QWidget* parent) : QPushButton(parent), base_(std::move(base)) { setFont(base_); }
    void setTitle(const QString& title) {
        title_ = title;
        setAccessibleName(title);
        fit();
    }
    QSize sizeHint() const override {
        QFontMetrics metrics(base_);
        return {metrics.horizontalAdvance(title_) + 28, QPushButton::sizeHint().height()};
    }
    QSize minimumSizeHint() const override { return {48, QPushButton::minimumSizeHint().height()}; }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QPushButton::resizeEvent(event);
        fit();
    }

private:
    void fit() {
        const int room = width() - 20;
        QFont shown = base_;
        const int full = QFontMetrics(base_).horizontalAdvance(title_);
        if (full > room && full > 0)
            shown.setPixelSize(qMax(1, qRound(base_.pixelSize() * qMax(0.85, qreal(room) / full))));
        setFont(shown);
        setText(QFontMetrics(shown).elidedText(title_, Qt::ElideRight, room));
    }

    QFont base_;
    QString title_;
};

QLabel* symbolLabel(QWidget* parent, int size) {
    auto* label = new QLabel(parent);
    label->setFixedSize(size, size);
    return label;
}

void setSymbol(QLabel* label, const QString& name, const QColor& color) {
    label->setPixmap(SymbolImage::pixmap(name, label->size(), color, label->devicePixelRatioF()));
}

QToolButton* plainIconButton(QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setAutoRaise(true);
    button->setIconSize(QSize(15, 15));
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

QString trimmed(const QString& text) { return base::text::trimmed(text); }

// The middle of the panel: as tall as the panel leaves it, but never shorter than its parts need
// whole at its width (the scroll area around it then scrolls).
class ScrollColumn : public QWidget {
public:
    using QWidget::QWidget;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override { return layout()->totalMinimumHeightForWidth(width); }
    QSize minimumSizeHint() const override { return layout()->totalMinimumSize(); }
};

// The output's placeholder: its symbol centred above its text, 24 below the top where there is
// room for it; where there is no room for the two one above the other (a message above it in a
// short panel), the symbol stands beside the text. Never cut.
class Placeholder : public QWidget {
public:
    using QWidget::QWidget;

    void hold(QLabel* mark, QLabel* text) {
        mark_ = mark;
        text_ = text;
    }
    QSize sizeHint() const override { return {width(), topSpace + stackedHeight(width())}; }
    QSize minimumSizeHint() const override { return {0, besideHeight(width())}; }

protected:
    bool event(QEvent* event) override {
        // A new text asks its parent to lay it out again.
        if (event->type() == QEvent::LayoutRequest) {
            place();
            updateGeometry();
        }
        return QWidget::event(event);
    }
    void resizeEvent(QResizeEvent*) override {
        place();
        updateGeometry();  // the text's height follows the width
    }

private:
    static constexpr int topSpace = 24;
    static constexpr int stackedGap = 9;
    static constexpr int besideGap = 6;

    int textWidthBeside(int width) const {
        return qMax(
            1, qMin(text_->fontMetrics().horizontalAdvance(text_->text()) + 1, width - mark_->width() - besideGap));
    }
    int stackedHeight(int width) const { return mark_->height() + stackedGap + text_->heightForWidth(qMax(1, width)); }
    int besideHeight(int width) const {
        if (width <= 0) return qMax(mark_->height(), 2 * text_->fontMetrics().lineSpacing());
        return qMax(mark_->height(), text_->heightForWidth(textWidthBeside(width)));
    }

    void place() {
        if (!mark_) return;
        const int width = this->width();
        const int stacked = stackedHeight(width);
        if (height() >= stacked) {
            const int top = qMin(topSpace, height() - stacked);
            mark_->move((width - mark_->width()) / 2, top);
            text_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
            text_->setGeometry(0, top + mark_->height() + stackedGap, width, stacked - mark_->height() - stackedGap);
        } else {
            const int textWidth = textWidthBeside(width);
            const int textHeight = text_->heightForWidth(textWidth);
            const int left = qMax(0, (width - mark_->width() - besideGap - textWidth) / 2);
            const int line = qMax(mark_->height(), textHeight);
            mark_->move(left, (line - mark_->height()) / 2);
            text_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            text_->setGeometry(left + mark_->width() + besideGap, (line - textHeight) / 2, textWidth, textHeight);
        }
    }

    QLabel* mark_ = nullptr;
    QLabel* text_ = nullptr;
};

// The lines an answer keeps however small the panel is made.
constexpr int answerLinesKept = 3;

}  // namespace

// The answer (or the selection in a local preview) as selectable plain text, 5 pixels between
// lines; a very long one shows its beginning (see ShownAnswer). Screen readers read it as written.
class DirectFloatView::AnswerBody : public QTextEdit, public ShownAnswerView {
public:
    using QTextEdit::QTextEdit;

    // Shows `text`, unless it is already shown (keeps a selection).
    void setAnswer(const QString& text) {
        if (text == shown_.answer()) return;
        shown_ = ShownAnswer(text);
        shown_.show(this, 5);
    }
    bool isCut() const { return shown_.isCut(); }
    const ShownAnswer& shownAnswer() const override { return shown_; }
    // The least height is what the view is given (some lines of an answer), not the frame's.
    QSize minimumSizeHint() const override { return {0, 0}; }

protected:
    QMimeData* createMimeDataFromSelection() const override { return shown_.selection(this); }

private:
    ShownAnswer shown_;
};

DirectFloatView::DirectFloatView(DirectFloatModel& model, std::function<void()> close,
                                 std::function<void()> openSettings, std::function<void()> openWorkspace,
                                 QWidget* parent)
    : QWidget(parent),
      model_(model),
      close_(std::move(close)),
      openSettings_(std::move(openSettings)),
      openWorkspace_(std::move(openWorkspace)),
      accent_(OrvelBrand::accent()) {
    build();
    connect(&model_, &DirectFloatModel::changed, this, [this] { refresh(); });
    lessonary::follow(this, [this] { retranslate(); }, [this] { restyle(); });
    restyle();
    retranslate();
}

FloatingBulbPhase DirectFloatView::bulbPhase(const DirectFloatModel& model) {
    if (model.isBusy()) return FloatingBulbPhase::querying;
    if (model.answer()) return FloatingBulbPhase::done;
    return FloatingBulbPhase::idle;
}

void DirectFloatView::collapseSelection() {
    showSelection_ = false;
    refresh();
}

void DirectFloatView::build() {
    setMinimumSize(320, 280);
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(15, 15, 15, 15);
    root->setSpacing(12);
    // The header and the bottom bar stay in place; between them the source, the modes and the
    // output scroll when the panel is too small to show them whole.
    middle_ = new QScrollArea(this);
    middle_->setFrameShape(QFrame::NoFrame);
    middle_->setWidgetResizable(true);
    middle_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    middle_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    middle_->viewport()->setAutoFillBackground(false);
    auto* column = new ScrollColumn(middle_);
    auto* middle = new QVBoxLayout(column);
    middle->setContentsMargins(0, 0, 0, 0);
    middle->setSpacing(12);

    // Header.
    auto* header = new QHBoxLayout();
    header->setSpacing(9);
    header->setContentsMargins(0, 0, 0, 5);
    bulb_ = new FloatingBulbView(FloatingBulbPhase::idle, this);
    bulb_->setFixedSize(34, 34);
    header->addWidget(bulb_);
    auto* names = new QVBoxLayout();
    names->setSpacing(1);
    title_ = lessonary::makeLabel(this, lessonary::font(14, QFont::DemiBold), false);
    subtitle_ = lessonary::makeLabel(this, lessonary::font(caption2Size), false);
    names->addWidget(title_);
    names->addWidget(subtitle_);
    header->addLayout(names);
    header->addStretch(1);
    settingsButton_ = plainIconButton(this);
    closeButton_ = plainIconButton(this);
    header->addWidget(settingsButton_);
    header->addSpacing(5);
    header->addWidget(closeButton_);
    root->addLayout(header);
    connect(settingsButton_, &QToolButton::clicked, this, [this] {
        if (openSettings_) openSettings_();
    });
    connect(closeButton_, &QToolButton::clicked, this, [this] {
        if (close_) close_();
    });
    // The close button's key: Escape anywhere in the panel.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, closeButton_, &QToolButton::click);

    // Source snippet.
    auto* snippet = new Card(10, false, this);
    snippet_ = snippet;
    auto* snippetColumn = new QVBoxLayout(snippet_);
    snippetColumn->setContentsMargins(12, 9, 12, 9);
    snippetColumn->setSpacing(6);
    auto* sourceRow = new QHBoxLayout();
    sourceRow->setSpacing(5);
    quoteMark_ = symbolLabel(snippet_, caption2Size + 1);
    sourceLabel_ = new OneLineLabel(snippet_);
    sourceLabel_->setTextFormat(Qt::PlainText);
    sourceLabel_->setFont(lessonary::font(caption2Size));
    toggleButton_ = new QPushButton(snippet_);
    toggleButton_->setFlat(true);
    toggleButton_->setFont(lessonary::font(caption2Size));
    toggleButton_->setCursor(Qt::PointingHandCursor);
    sourceRow->addWidget(quoteMark_);
    sourceRow->addWidget(sourceLabel_, 1);
    sourceRow->addWidget(toggleButton_);
    snippetColumn->addLayout(sourceRow);
    // At most five lines of the selection, broken inside a word (an address) where it must.
    fullText_ = new WrappedText(snippet_, lessonary::font(captionSize));
    fullText_->setMaximumLines(5);
    snippetColumn->addWidget(fullText_);
    middle->addWidget(snippet_);
    connect(toggleButton_, &QPushButton::clicked, this, [this] {
        showSelection_ = !showSelection_;
        refresh();
    });

    // Study modes.
    auto* modes = new Card(10, false, this);
    modes_ = modes;
    auto* modeRow = new QHBoxLayout(modes_);
    modeRow->setContentsMargins(3, 3, 3, 3);
    modeRow->setSpacing(6);
    for (const StudyMode mode : base::allCases<StudyMode>()) {
        auto* button = new ModeButton(accent_, modes_);
        modeRow->addWidget(button);
        modeButtons_.append(button);
        // A mode is chosen by a click, the keyboard or a screen reader's toggle alike. Unchecking
        // the current mode changes nothing: it shows checked again.
        connect(button, &QAbstractButton::toggled, this, [this, mode](bool checked) {
            if (checked) model_.changeMode(mode);
            refresh();
        });
    }
    middle->addWidget(modes_);

    // Output area.
    auto* output = new Card(12, true, this);
    output_ = output;
    auto* outputColumn = new QVBoxLayout(output_);
    outputColumn->setContentsMargins(13, 13, 13, 13);
    outputColumn->setSpacing(10);
    auto* titleRow = new QHBoxLayout();
    outputTitle_ = lessonary::makeLabel(output_, lessonary::font(calloutSize, QFont::DemiBold), false);
    spinner_ = new BusySpinner(16, output_);
    titleRow->addWidget(outputTitle_);
    titleRow->addStretch(1);
    titleRow->addWidget(spinner_);
    outputColumn->addLayout(titleRow);
    errorRow_ = new QWidget(output_);
    auto* errorLine = new QHBoxLayout(errorRow_);
    errorLine->setContentsMargins(0, 0, 0, 0);
    errorLine->setSpacing(6);
    errorMark_ = symbolLabel(errorRow_, calloutSize + 2);
    // Whole, however long (a file's path): it wraps inside a word and the middle scrolls.
    errorLabel_ = new WrappedText(errorRow_, lessonary::font(calloutSize));
    errorLabel_->setObjectName(QStringLiteral("outputMessage"));
    errorLine->addWidget(errorMark_, 0, Qt::AlignTop);
    errorLine->addWidget(errorLabel_, 1);
    outputColumn->addWidget(errorRow_);

    body_ = new QStackedWidget(output_);
    bodyText_ = new AnswerBody(body_);
    bodyText_->setReadOnly(true);
    bodyText_->setAcceptRichText(false);
    bodyText_->setFrameShape(QFrame::NoFrame);
    bodyText_->setFont(lessonary::font(bodySize));
    bodyText_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    bodyText_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    bodyText_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    bodyText_->document()->setDocumentMargin(0);
    bodyText_->viewport()->setAutoFillBackground(false);
    auto* placeholder = new Placeholder(body_);
    placeholder_ = placeholder;
    placeholderMark_ = symbolLabel(placeholder_, title3Size + 4);
    placeholderLabel_ = lessonary::makeLabel(placeholder_, lessonary::font(calloutSize), true);
    placeholder->hold(placeholderMark_, placeholderLabel_);
    body_->addWidget(bodyText_);
    body_->addWidget(placeholder_);
    outputColumn->addWidget(body_, 1);
    cutNote_ = lessonary::makeLabel(output_, lessonary::font(caption2Size), true);
    outputColumn->addWidget(cutNote_);
    middle->addWidget(output_, 1);
    middle_->setWidget(column);
    column->setAutoFillBackground(false);  // the panel's paper shows through
    root->addWidget(middle_, 1);
    // A new outcome scrolls the output into view, also once the middle has taken its new height;
    // the person's own scrolling ends that.
    QScrollBar* bar = middle_->verticalScrollBar();
    connect(bar, &QScrollBar::rangeChanged, this, [this] {
        if (followOutput_) middle_->verticalScrollBar()->setValue(output_->y());
    });
    connect(bar, &QScrollBar::actionTriggered, this, [this] { followOutput_ = false; });

    // Bottom bar.
    auto* bottom = new QVBoxLayout();
    bottom->setSpacing(9);
    warningLabel_ = new WrappedText(this, lessonary::font(caption2Size));
    warningLabel_->setSelectable(false);
    bottom->addWidget(warningLabel_);
    auto* statusRow = new QHBoxLayout();
    statusRow->setSpacing(8);
    detailLabel_ = new OneLineLabel(this);
    detailLabel_->setTextFormat(Qt::PlainText);
    detailLabel_->setFont(lessonary::font(caption2Size));
    stopButton_ = new QPushButton(this);
    retryButton_ = new QPushButton(this);
    for (QPushButton* button : {stopButton_, retryButton_}) button->setFont(lessonary::font(captionSize));
    statusRow->addWidget(detailLabel_, 1);
    statusRow->addWidget(stopButton_);
    statusRow->addWidget(retryButton_);
    bottom->addLayout(statusRow);
    auto* actionRow = new QHBoxLayout();
    actionRow->setSpacing(8);
    continueButton_ = new FittingButton(lessonary::font(captionSize), this);
    continueButton_->setObjectName(QStringLiteral("orvel.reader.continue-in-workspace"));
    copyButton_ = new QPushButton(this);
    copyButton_->setCursor(Qt::PointingHandCursor);
    copyButton_->setFont(lessonary::font(captionSize));
    actionRow->addWidget(continueButton_, 0);
    actionRow->addStretch(1);
    actionRow->addSpacing(3);
    actionRow->addWidget(copyButton_);
    bottom->addLayout(actionRow);
    root->addLayout(bottom);

    connect(stopButton_, &QPushButton::clicked, this, [this] { model_.cancel(); });
    connect(retryButton_, &QPushButton::clicked, this, [this] { model_.request(true); });
    connect(continueButton_, &QPushButton::clicked, this, [this] {
        if (openWorkspace_) openWorkspace_();
    });
    connect(copyButton_, &QPushButton::clicked, this, [this] { model_.copy(); });
}

void DirectFloatView::refresh() {
    const bool busy = model_.isBusy();
    const bool preview = model_.isLocalPreview();
    const bool hasText = !model_.text().isEmpty();
    const auto& answer = model_.answer();

    bulb_->setPhase(bulbPhase(model_));

    snippet_->setVisible(hasText);
    // A program's name stays as it is; the name of the text service (this program's own) is translated.
    sourceLabel_->setText(
        UIStrings::text(model_.sourceApp().isEmpty() ? QStringLiteral("查看原文") : model_.sourceApp()));
    toggleButton_->setText(UIStrings::text(showSelection_ ? QStringLiteral("收起原文") : QStringLiteral("展开原文")));
    fullText_->setVisible(showSelection_);
    fullText_->setText(model_.text());

    modes_->setEnabled(!preview && hasText);
    const auto& modes = base::allCases<StudyMode>();
    for (int i = 0; i < modeButtons_.size(); ++i) {
        modeButtons_[i]->setText(UIStrings::text(tamsel::title(modes.at(i))));
        modeButtons_[i]->setChecked(modes.at(i) == model_.mode());
        modeButtons_[i]->setAccessibleName(modeButtons_[i]->text());
    }

    const QString outcome =
        QStringLiteral("%1 %2 %3 ").arg(busy).arg(preview).arg(answer.has_value()) + model_.error().value_or(QString());
    if (outcome != outcome_) {
        outcome_ = outcome;
        followOutput_ = true;
        middle_->verticalScrollBar()->setValue(output_->y());
    }
    spinner_->setVisible(busy);
    errorRow_->setVisible(model_.error().has_value());
    errorLabel_->setText(model_.error() ? UIStrings::text(*model_.error()) : QString());
    if (preview || answer) {
        bodyText_->setAnswer(preview ? model_.text() : answer->text);
        body_->setCurrentWidget(bodyText_);
        bodyText_->setMinimumHeight(answerLinesKept * (bodyText_->fontMetrics().lineSpacing() + 5));
    } else {
        body_->setCurrentWidget(placeholder_);
        bodyText_->setMinimumHeight(0);
        setSymbol(placeholderMark_, busy ? QStringLiteral("ellipsis.bubble") : QStringLiteral("sparkles"), accent_);
        placeholderLabel_->setText(
            UIStrings::text(busy ? QStringLiteral("Orvel AI 正在思考…") : QStringLiteral("清晰解释你选中的内容")));
    }

    // A local preview shows the selection: its "…" is note enough.
    cutNote_->setVisible(!preview && answer && bodyText_->isCut());
    cutNote_->setText(UIStrings::text(ShownAnswer::cutNote));

    const bool warned = answer && answer->warning;
    warningLabel_->setVisible(warned);
    warningLabel_->setText(warned ? UIStrings::text(*answer->warning) : QString());
    detailLabel_->setText(UIStrings::text(model_.detail()));
    stopButton_->setVisible(busy);
    retryButton_->setVisible(!busy && !preview);
    retryButton_->setEnabled(hasText);
    continueButton_->setEnabled(!trimmed(model_.text()).isEmpty());
    copyButton_->setEnabled(answer.has_value());
}

void DirectFloatView::retranslate() {
    setLocale(velquin::locale(InterfaceSettings::shared().language()));
    // The product name stays as it is in every language.
    title_->setText(QStringLiteral("Orvel"));
    subtitle_->setText(UIStrings::text(QStringLiteral("直接划词的小助手")));
    const QString settings = UIStrings::text(QStringLiteral("划词设置"));
    settingsButton_->setToolTip(settings);
    settingsButton_->setAccessibleName(settings);
    const QString close = UIStrings::text(QStringLiteral("关闭窗口"));
    closeButton_->setToolTip(close);
    closeButton_->setAccessibleName(close);
    outputTitle_->setText(UIStrings::text(QStringLiteral("回答结果")));
    stopButton_->setText(UIStrings::text(QStringLiteral("停止")));
    retryButton_->setText(UIStrings::text(QStringLiteral("重试")));
    static_cast<FittingButton*>(continueButton_)
        ->setTitle(UIStrings::choose(QStringLiteral("在主窗口继续"), QStringLiteral("Continue in Lessonary"),
                                     QStringLiteral("Continuer dans Lessonary")));
    copyButton_->setText(UIStrings::text(QStringLiteral("复制")));
    refresh();
}

void DirectFloatView::restyle() {
    const ColorScheme scheme = lessonary::currentScheme();
    const QColor secondary = LessonaryTheme::inkSecondary(scheme);
    const QColor ink = LessonaryTheme::ink(scheme);
    const QColor orange = SystemColors::orange(scheme);
    const QColor control = ApplicationAppearance::palette(scheme).color(QPalette::Base);
    const qreal ratio = devicePixelRatioF();

    // Only the labels get colours of their own: the buttons keep following the application's palette.
    for (QWidget* widget : std::initializer_list<QWidget*>{title_, outputTitle_, fullText_})
        lessonary::setTextColor(widget, ink);
    for (QWidget* widget : std::initializer_list<QWidget*>{subtitle_, sourceLabel_, toggleButton_, detailLabel_,
                                                           placeholderLabel_, cutNote_})
        lessonary::setTextColor(widget, secondary);
    lessonary::setTextColor(errorLabel_, orange);
    lessonary::setTextColor(warningLabel_, orange);
    for (QAbstractButton* button : modeButtons_) static_cast<ModeButton*>(button)->setSecondary(secondary);
    static_cast<Card*>(snippet_)->setFill(control);
    static_cast<Card*>(modes_)->setFill(control);
    static_cast<Card*>(output_)->setFill(LessonaryTheme::surface(scheme));

    settingsButton_->setIcon(SymbolImage::pixmap(QStringLiteral("slider.horizontal.3"), QSize(15, 15), ink, ratio));
    closeButton_->setIcon(SymbolImage::pixmap(QStringLiteral("xmark"), QSize(15, 15), ink, ratio));
    setSymbol(quoteMark_, QStringLiteral("text.quote"), secondary);
    setSymbol(errorMark_, QStringLiteral("exclamationmark.circle"), orange);

    // The copy button is filled in the accent colour.
    lessonary::styleProminent(copyButton_, accent_, scheme);
    copyButton_->setIconSize(QSize(13, 13));
    copyButton_->setIcon(SymbolImage::pixmap(QStringLiteral("doc.on.doc"), QSize(13, 13),
                                             palette().color(QPalette::Active, QPalette::HighlightedText), ratio));

    QPalette clear = ApplicationAppearance::palette(scheme);
    clear.setColor(QPalette::Base, Qt::transparent);
    clear.setColor(QPalette::Text, ink);
    bodyText_->setPalette(clear);
    refresh();
    update();
}

void DirectFloatView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), LessonaryTheme::paper(lessonary::currentScheme()));
}

}  // namespace velquin
