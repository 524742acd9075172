#include "app/main-window/pdf_range_view.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "app/main-window/home_style.h"
#include "app/shell/system_colors.h"
#include "app/shell/ui_strings.h"
#include "app/tutor-lesson/lessonary_view_support.h"

namespace velquin {

namespace {

constexpr int kMargin = 28;
constexpr int kSpacing = 16;
constexpr int kFieldWidth = 75;

}  // namespace

PDFRangeView::PDFRangeView(const PDFChoice& choice, std::function<void(PageRange)> onImport, QWidget* parent)
    : QDialog(parent), choice_(choice), onImport_(std::move(onImport)) {
    setFixedWidth(width);
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    stack->setSpacing(kSpacing);

    title_ = lessonary::makeLabel(this, lessonary::font(home_style::title2, QFont::Bold), true);
    stack->addWidget(title_);
    fileName_ = lessonary::makeLabel(this, lessonary::font(home_style::callout), true);
    fileName_->setText(choice_.url.fileName());
    fileName_->setMaximumHeight(2 * fileName_->fontMetrics().lineSpacing() + 2);
    stack->addWidget(fileName_);
    pageCount_ = lessonary::makeLabel(this, lessonary::font(home_style::caption), true);
    stack->addWidget(pageCount_);

    // Whole numbers, signs included, so that an unusable page can be typed and is then refused.
    auto* numbers = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("-?[0-9]{0,7}")), this);
    const auto makeField = [this, numbers](int value) {
        auto* field = new QLineEdit(QString::number(value), this);
        field->setFixedWidth(kFieldWidth);
        field->setPlaceholderText(QStringLiteral("1"));
        field->setValidator(numbers);
        connect(field, &QLineEdit::textChanged, this, &PDFRangeView::showValidity);
        return field;
    };
    auto* pages = new QHBoxLayout();
    pages->setSpacing(12);
    firstLabel_ = lessonary::makeLabel(this, lessonary::font(home_style::body), false);
    first_ = makeField(1);
    lastLabel_ = lessonary::makeLabel(this, lessonary::font(home_style::body), false);
    last_ = makeField(std::min(choice_.pageCount, defaultLastPage));
    firstLabel_->setBuddy(first_);
    lastLabel_->setBuddy(last_);
    for (QWidget* widget : {static_cast<QWidget*>(firstLabel_), static_cast<QWidget*>(first_),
                            static_cast<QWidget*>(lastLabel_), static_cast<QWidget*>(last_)})
        pages->addWidget(widget, 0, Qt::AlignVCenter);
    pages->addStretch(1);
    stack->addLayout(pages);

    hint_ = lessonary::makeLabel(this, lessonary::font(home_style::caption), true);
    stack->addWidget(hint_);
    error_ = lessonary::makeLabel(this, lessonary::font(home_style::caption), true);
    stack->addWidget(error_);

    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    cancel_ = new QPushButton(this);
    cancel_->setAutoDefault(false);
    buttons->addWidget(cancel_);
    import_ = new QPushButton(this);
    import_->setAutoDefault(false);
    import_->setDefault(true);
    buttons->addWidget(import_);
    stack->addLayout(buttons);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    connect(import_, &QPushButton::clicked, this, &PDFRangeView::extract);

    lessonary::follow(this, [this] { retranslate(); }, [this] { restyle(); });
    retranslate();
    restyle();
    showValidity();
}

PDFRangeView* PDFRangeView::forStore(AppStore& store, const PDFChoice& choice, QWidget* parent) {
    const QUrl staged = choice.url;
    return new PDFRangeView(
        choice, [&store, staged](PageRange pages) { store.importFile(staged, pages); }, parent);
}

bool PDFRangeView::isValid(int first, int last, int pageCount) {
    return first >= 1 && last >= first && last <= pageCount && last - first < maximumPages;
}

bool PDFRangeView::isValid() const { return isValid(fieldValue(first_), fieldValue(last_), choice_.pageCount); }

int PDFRangeView::fieldValue(const QLineEdit* field) const {
    bool ok = false;
    const int value = field->text().toInt(&ok);
    return ok ? value : 0;
}

void PDFRangeView::showValidity() {
    const bool valid = isValid();
    error_->setVisible(!valid);
    import_->setEnabled(valid);
    fitHeight();
}

void PDFRangeView::fitHeight() { home_style::fitHeightToWidth(this, width); }

void PDFRangeView::extract() {
    if (!isValid()) return;
    onImport_(PageRange{fieldValue(first_), fieldValue(last_)});
    accept();
}

void PDFRangeView::retranslate() {
    title_->setText(UIStrings::text(QStringLiteral("选择 PDF 页码")));
    setWindowTitle(title_->text());
    const QString count = QString::number(choice_.pageCount);
    pageCount_->setText(UIStrings::choose(
        QStringLiteral("共 ") + count + QStringLiteral(" 页 · 每次最多提取 20 页；AI 回答单次最多接收 1,500 字符"),
        count + QStringLiteral(" pages · Up to 20 pages per import; AI requests accept up to 1,500 characters"),
        count + QStringLiteral(" pages · 20 pages par import ; 1 500 caractères maximum par requête IA")));
    firstLabel_->setText(UIStrings::text(QStringLiteral("起始页")));
    lastLabel_->setText(UIStrings::text(QStringLiteral("结束页")));
    hint_->setText(UIStrings::text(QStringLiteral("扫描页会在本机 OCR。提取完成后可先编辑，再手动发送给模型。")));
    error_->setText(UIStrings::text(QStringLiteral("请填写有效页码，且一次不超过 20 页。")));
    cancel_->setText(UIStrings::text(QStringLiteral("取消")));
    import_->setText(UIStrings::text(QStringLiteral("提取文字")));
    fitHeight();
}

void PDFRangeView::restyle() {
    const ColorScheme scheme = home_style::scheme();
    lessonary::setTextColor(pageCount_, home_style::secondary(scheme));
    lessonary::setTextColor(hint_, home_style::secondary(scheme));
    lessonary::setTextColor(error_, SystemColors::orange(scheme));
    home_style::styleProminent(import_, 5);
}

}  // namespace velquin
