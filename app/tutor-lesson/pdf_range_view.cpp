#include "app/tutor-lesson/pdf_range_view.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTextLayout>
#include <QVBoxLayout>

#include "app/shell/system_colors.h"
#include "app/shell/ui_strings.h"
#include "app/tutor-lesson/lessonary_view_support.h"

namespace velquin {

namespace {

int fieldValue(const QLineEdit* field) {
    bool ok = false;
    const int value = field->text().toInt(&ok);
    return ok ? value : 0;
}

}  // namespace

PDFRangeView::PDFRangeView(Look look, const PDFChoice& choice, std::function<void(PageRange)> onImport,
                           QWidget* parent)
    : QDialog(parent), look_(std::move(look)), choice_(choice), onImport_(std::move(onImport)) {
    if (!look_.objectName.isEmpty()) setObjectName(look_.objectName);
    setFixedWidth(look_.width);
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(look_.padding, look_.padding, look_.padding, look_.padding);
    stack->setSpacing(look_.rowSpacing);

    title_ = lessonary::makeLabel(this, look_.titleFont, true);
    stack->addWidget(title_);
    fileName_ = lessonary::makeLabel(this, look_.fileNameFont, true);
    fileName_->setText(twoLines(choice_.url.fileName(), fileName_->font(), look_.width - 2 * look_.padding));
    stack->addWidget(fileName_);
    pageCount_ = lessonary::makeLabel(this, look_.noteFont, true);
    stack->addWidget(pageCount_);

    // Whole numbers, signs included, so that an unusable page can be typed and is then refused
    // rather than clamped.
    auto* numbers = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("-?[0-9]{0,7}")), this);
    const auto makeField = [this, numbers](int value, const QString& name) {
        auto* field = new QLineEdit(QString::number(value), this);
        if (!name.isEmpty()) field->setObjectName(name);
        field->setFixedWidth(look_.fieldWidth);
        field->setPlaceholderText(QStringLiteral("1"));
        field->setValidator(numbers);
        connect(field, &QLineEdit::textChanged, this, &PDFRangeView::showValidity);
        return field;
    };
    auto* pages = new QHBoxLayout();
    if (look_.pageRowSpacing) pages->setSpacing(*look_.pageRowSpacing);
    firstLabel_ = lessonary::makeLabel(this, look_.labelFont, false);
    first_ = makeField(1, look_.firstFieldName);
    lastLabel_ = lessonary::makeLabel(this, look_.labelFont, false);
    last_ = makeField(std::min(choice_.pageCount, defaultLastPage), look_.lastFieldName);
    firstLabel_->setBuddy(first_);
    lastLabel_->setBuddy(last_);
    for (QWidget* widget : {static_cast<QWidget*>(firstLabel_), static_cast<QWidget*>(first_),
                            static_cast<QWidget*>(lastLabel_), static_cast<QWidget*>(last_)})
        pages->addWidget(widget, 0, Qt::AlignVCenter);
    pages->addStretch(1);
    stack->addLayout(pages);

    if (!look_.hint.isEmpty()) {
        hint_ = lessonary::makeLabel(this, look_.noteFont, true);
        stack->addWidget(hint_);
    }
    error_ = lessonary::makeLabel(this, look_.noteFont, true);
    stack->addWidget(error_);

    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    cancel_ = new QPushButton(this);
    cancel_->setAutoDefault(false);
    buttons->addWidget(cancel_);
    import_ = new QPushButton(this);
    if (!look_.importButtonName.isEmpty()) import_->setObjectName(look_.importButtonName);
    import_->setAutoDefault(false);
    import_->setDefault(true);
    buttons->addWidget(import_);
    stack->addLayout(buttons);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    connect(import_, &QPushButton::clicked, this, &PDFRangeView::importRange);

    lessonary::follow(this, [this] { retranslate(); }, [this] { restyle(); });
    retranslate();
    restyle();
    showValidity();
}

bool PDFRangeView::isValid(int first, int last, int pageCount) {
    return first >= 1 && last >= first && last <= pageCount && last - first < maximumPages;
}

QString PDFRangeView::twoLines(const QString& text, const QFont& font, int width) {
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    QList<QTextLine> lines;
    for (QTextLine line = layout.createLine(); line.isValid() && lines.size() < 3; line = layout.createLine()) {
        line.setLineWidth(width);
        lines.append(line);
    }
    layout.endLayout();
    if (lines.size() < 2) return text;
    const QString first = text.left(lines[1].textStart()).trimmed();
    QString second = text.mid(lines[1].textStart());
    if (lines.size() > 2)
        second = QFontMetrics(font).elidedText(second, Qt::ElideRight, width);
    else
        second = second.trimmed();
    return first + u'\n' + second;
}

bool PDFRangeView::isValid() const { return isValid(fieldValue(first_), fieldValue(last_), choice_.pageCount); }

void PDFRangeView::showValidity() {
    const bool valid = isValid();
    error_->setVisible(!valid);
    import_->setEnabled(valid);
    fitHeight();
}

void PDFRangeView::fitHeight() {
    layout()->activate();
    setFixedHeight(layout()->totalHeightForWidth(look_.width));
}

void PDFRangeView::importRange() {
    if (!isValid()) return;
    if (const auto onImport = std::exchange(onImport_, nullptr)) onImport(PageRange{fieldValue(first_), fieldValue(last_)});
    accept();
}

void PDFRangeView::retranslate() {
    title_->setText(UIStrings::text(QStringLiteral("选择 PDF 页码")));
    setWindowTitle(title_->text());
    pageCount_->setText(look_.pageCountLine(choice_.pageCount));
    firstLabel_->setText(UIStrings::text(QStringLiteral("起始页")));
    lastLabel_->setText(UIStrings::text(QStringLiteral("结束页")));
    if (hint_) hint_->setText(UIStrings::text(look_.hint));
    error_->setText(UIStrings::text(look_.error));
    cancel_->setText(UIStrings::text(QStringLiteral("取消")));
    import_->setText(UIStrings::text(look_.importTitle));
    fitHeight();
}

void PDFRangeView::restyle() {
    lessonary::setTextColor(error_, SystemColors::orange(lessonary::currentScheme()));
    if (look_.restyle) look_.restyle(*this);
}

}  // namespace velquin
