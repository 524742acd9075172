#include "app/main-window/input_card.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTextDocument>
#include <QVBoxLayout>

#include "app/main-window/home_style.h"
#include "app/shell/app_store.h"
#include "app/shell/file_chooser.h"
#include "app/shell/orvel_brand.h"
#include "app/shell/system_colors.h"
#include "app/shell/ui_strings.h"
#include "app/shell/wrapped_text.h"
#include "app/tutor-lesson/lessonary_theme.h"
#include "app/tutor-lesson/lessonary_view_support.h"
#include "base/text.h"
#include "core/local_document_reference.h"

namespace velquin {

namespace {

constexpr qreal kCardRadius = 16;
constexpr int kCardPadding = 17;
constexpr int kCardSpacing = 11;
constexpr qreal kEditorRadius = 13;
constexpr int kEditorPadding = 8;
constexpr int kEditorFontSize = 15;
constexpr int kPlaceholderFontSize = 14;
constexpr int kPlaceholderX = 13;
constexpr int kPlaceholderY = 15;
constexpr int kSymbolSize = 15;

// The editor's ground: the text background in a rounded rectangle outlined in the accent.
class EditorFrame : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QRectF bounds(rect());
        LessonaryTheme::fillRounded(painter, bounds, palette().color(QPalette::Base), kEditorRadius);
        QColor outline = OrvelBrand::accent();
        outline.setAlphaF(0.28f);
        LessonaryTheme::strokeInside(painter, bounds, outline, kEditorRadius);
    }
};

}  // namespace

InputCard::InputCard(AppStore& store, std::shared_ptr<FileChooser> chooser, QWidget* parent)
    : SurfaceCard(kCardRadius, kCardPadding, kCardSpacing, parent), store_(store), chooser_(std::move(chooser)) {
    // The heading row.
    auto* headingRow = new QHBoxLayout();
    headingRow->setSpacing(10);
    heading_ = lessonary::makeLabel(this, lessonary::font(home_style::subheadline, QFont::DemiBold), false);
    headingRow->addWidget(heading_);
    headingRow->addStretch(1);
    counter_ = lessonary::makeLabel(this, lessonary::font(home_style::caption), false);
    headingRow->addWidget(counter_);
    clear_ = new QPushButton(this);
    clear_->setFont(lessonary::font(home_style::body));
    clear_->setCursor(Qt::PointingHandCursor);
    headingRow->addWidget(clear_);
    column()->addLayout(headingRow);
    connect(clear_, &QPushButton::clicked, this, [this] { store_.clear(); });

    // The editor with its placeholder.
    editorFrame_ = new EditorFrame(this);
    editorFrame_->setFixedHeight(editorHeight);
    auto* frameLayout = new QVBoxLayout(editorFrame_);
    frameLayout->setContentsMargins(0, 0, 0, 0);
    editor_ = new QPlainTextEdit(editorFrame_);
    editor_->setFrameShape(QFrame::NoFrame);
    editor_->setFont(lessonary::font(kEditorFontSize));
    editor_->document()->setDocumentMargin(kEditorPadding);
    home_style::clearBase(editor_);
    frameLayout->addWidget(editor_);
    placeholder_ = lessonary::makeLabel(editorFrame_, lessonary::font(kPlaceholderFontSize), false);
    placeholder_->setAttribute(Qt::WA_TransparentForMouseEvents);
    placeholder_->move(kPlaceholderX, kPlaceholderY);
    column()->addWidget(editorFrame_);
    connect(editor_, &QPlainTextEdit::textChanged, this, [this] {
        if (!showingSource_) store_.setSource(editorText());
    });

    // The action row.
    actionRow_ = new QWidget(this);
    auto* actions = new QHBoxLayout(actionRow_);
    actions->setContentsMargins(0, 0, 0, 0);
    actions->setSpacing(8);
    paste_ = new QPushButton(actionRow_);
    paste_->setCursor(Qt::PointingHandCursor);
    paste_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    actions->addWidget(paste_);
    connect(paste_, &QPushButton::clicked, this, [this] { store_.pasteText(); });
    importMenu_ = new QPushButton(actionRow_);
    importMenu_->setCursor(Qt::PointingHandCursor);
    importMenu_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    auto* menu = new QMenu(importMenu_);
    pasteImage_ = menu->addAction(QString(), this, [this] { store_.pasteImage(); });
    capture_ = menu->addAction(QString(), this, [this] { store_.setShowCaptureGuide(true); });
    importFile_ = menu->addAction(QString(), this, &InputCard::openImportDialog);
    importMenu_->setMenu(menu);
    actions->addWidget(importMenu_);
    // Where the text came from may name a file or a program: the note takes the rest of the row,
    // set to the right, and wraps, inside a word where it must, rather than being cut. The row is
    // as tall as its lines. Without a note the rest of the row stays empty.
    actions->addStretch(0);
    note_ = new WrappedText(actionRow_, lessonary::font(home_style::caption2));
    note_->setSelectable(false);
    note_->setMinimumHeightFollowsWidth(true);
    note_->setAlignment(Qt::AlignRight);
    actions->addWidget(note_, 1, Qt::AlignVCenter);
    column()->addWidget(actionRow_);

    connect(&store_, &AppStore::sourceChanged, this, &InputCard::showSource);
    connect(&store_, &AppStore::sourceNoteChanged, this,
            [this] { note_->setText(UIStrings::text(store_.sourceNote())); });
    connect(&store_, &AppStore::isBusyChanged, this, &InputCard::showBusy);
    lessonary::follow(
        this, [this] { retranslate(); }, [this] { restyle(); });
    retranslate();
    restyle();
    showBusy();
}

QString InputCard::editorText() const {
    // The document's own text with its paragraph breaks as line feeds; no-break spaces and line
    // separators stay as they are.
    QString text = editor_->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, u'\n');
    return text;
}

void InputCard::openImportDialog() {
    if (store_.isBusy()) return;
    FileChooser::Request request;
    request.title = UIStrings::choose(QStringLiteral("导入文件"), QStringLiteral("Import file"),
                                      QStringLiteral("Importer un fichier"));
    request.message = UIStrings::choose(
        QStringLiteral("支持图片、PDF、TXT 和 Markdown。文件先在本机读取，不会自动发送给 AI。"),
        QStringLiteral("Choose an image, PDF, TXT or Markdown file. It is read locally and not automatically sent "
                       "to AI."),
        QStringLiteral("Choisissez une image, un PDF, un fichier TXT ou Markdown. La lecture se fait sur cet "
                       "ordinateur."));
    for (const QString& extension : tamsel::LocalDocumentReference::supportedExtensions())
        request.patterns.append(QStringLiteral("*.") + extension);
    request.patternsTitle =
        UIStrings::choose(QStringLiteral("图片、PDF、TXT 和 Markdown"), QStringLiteral("Images, PDF, TXT and Markdown"),
                          QStringLiteral("Images, PDF, TXT et Markdown"));
    QPointer<InputCard> guard(this);
    chooser_->chooseFileToOpen(window(), request, [guard](const QUrl& file) {
        if (guard) guard->store_.importURL(file);
    });
}

void InputCard::showSource() {
    const QString& source = store_.source();
    if (editorText() != source) {
        QScopedValueRollback<bool> showing(showingSource_, true);
        editor_->setPlainText(source);
    }
    const qsizetype count = base::text::graphemeCount(source);
    const bool over = count > AppStore::submitLimit;
    counter_->setText(QString::number(count) + QStringLiteral(" / 1,500"));
    counter_->setProperty("overLimit", over);
    const ColorScheme scheme = home_style::scheme();
    lessonary::setTextColor(counter_, over ? SystemColors::red(scheme) : home_style::secondary(scheme));
    placeholder_->setVisible(source.isEmpty());
    note_->setVisible(!source.isEmpty());
    clear_->setEnabled(!store_.isBusy() && !source.isEmpty());
}

void InputCard::showBusy() {
    const bool busy = store_.isBusy();
    editor_->setEnabled(!busy);
    actionRow_->setEnabled(!busy);
    clear_->setEnabled(!busy && !store_.source().isEmpty());
}

void InputCard::retranslate() {
    heading_->setText(UIStrings::text(QStringLiteral("学习内容")));
    editor_->setAccessibleName(heading_->text());
    clear_->setText(UIStrings::text(QStringLiteral("清空")));
    placeholder_->setText(UIStrings::text(QStringLiteral("在这里写下你想理解的内容…")));
    placeholder_->adjustSize();
    paste_->setText(UIStrings::text(QStringLiteral("粘贴文字")));
    importMenu_->setText(UIStrings::text(QStringLiteral("更多导入")));
    pasteImage_->setText(UIStrings::text(QStringLiteral("粘贴图片")));
    capture_->setText(UIStrings::text(QStringLiteral("截图取字")));
    importFile_->setText(UIStrings::text(QStringLiteral("导入文件…")));
    note_->setText(UIStrings::text(store_.sourceNote()));
}

void InputCard::restyle() {
    const ColorScheme scheme = home_style::scheme();
    const qreal ratio = devicePixelRatioF();
    const QColor ink = LessonaryTheme::ink(scheme);
    lessonary::setTextColor(heading_, ink);
    lessonary::setTextColor(editor_, ink);
    lessonary::setTextColor(placeholder_, home_style::tertiary(scheme));
    lessonary::setTextColor(note_, home_style::secondary(scheme));
    home_style::styleBorderless(clear_, OrvelBrand::accent());
    paste_->setIcon(home_style::symbolIcon(QStringLiteral("doc.on.clipboard"), ink, kSymbolSize, ratio));
    importMenu_->setIcon(home_style::symbolIcon(QStringLiteral("plus"), ink, kSymbolSize, ratio));
    pasteImage_->setIcon(home_style::symbolIcon(QStringLiteral("photo"), ink, kSymbolSize, ratio));
    capture_->setIcon(home_style::symbolIcon(QStringLiteral("viewfinder"), ink, kSymbolSize, ratio));
    importFile_->setIcon(home_style::symbolIcon(QStringLiteral("square.and.arrow.down"), ink, kSymbolSize, ratio));
    editorFrame_->update();
    showSource();
}

}  // namespace velquin
