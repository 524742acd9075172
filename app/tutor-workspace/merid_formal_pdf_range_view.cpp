#include "app/tutor-workspace/merid_formal_pdf_range_view.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "app/shell/system_colors.h"
#include "app/shell/ui_strings.h"
#include "app/tutor-lesson/lessonary_merid_palette.h"
#include "app/tutor-lesson/lessonary_view_support.h"

namespace velquin {

namespace {

constexpr int kPadding = 20;
constexpr int kRowSpacing = 12;
constexpr int kFieldWidth = 80;

int fieldValue(const QLineEdit* field) {
    bool ok = false;
    const int value = field->text().toInt(&ok);
    return ok ? value : 0;
}

}  // namespace

MeridFormalPDFRangeView::MeridFormalPDFRangeView(const MeridFormalPDFChoice& choice,
                                                 std::function<void(PageRange)> onImport, QWidget* parent)
    : QDialog(parent), choice_(choice), onImport_(std::move(onImport)) {
    setObjectName(QStringLiteral("orvel.merid.pdf-range"));
    setFixedWidth(width);
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    stack->setSpacing(kRowSpacing);

    title_ = lessonary::makeLabel(this, lessonary::font(15, QFont::DemiBold), true);
    stack->addWidget(title_);
    fileName_ = lessonary::makeLabel(this, lessonary::font(11), true);
    fileName_->setText(choice_.url.fileName());
    fileName_->setMaximumHeight(2 * fileName_->fontMetrics().lineSpacing());
    stack->addWidget(fileName_);
    pageCount_ = lessonary::makeLabel(this, lessonary::font(11), true);
    pageCount_->setForegroundRole(QPalette::PlaceholderText);
    stack->addWidget(pageCount_);

    // Any whole number can be typed, so that an unusable range is shown as such, not clamped.
    auto* numbers = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("-?[0-9]{0,7}")), this);
    const auto makeField = [this, numbers](int value) {
        auto* field = new QLineEdit(QString::number(value), this);
        field->setFixedWidth(kFieldWidth);
        field->setPlaceholderText(QStringLiteral("1"));
        field->setValidator(numbers);
        connect(field, &QLineEdit::textChanged, this, &MeridFormalPDFRangeView::showValidity);
        return field;
    };
    auto* pages = new QHBoxLayout();
    firstLabel_ = lessonary::makeLabel(this, lessonary::font(13), false);
    first_ = makeField(1);
    lastLabel_ = lessonary::makeLabel(this, lessonary::font(13), false);
    last_ = makeField(std::min(choice_.pageCount, defaultLastPage));
    first_->setObjectName(QStringLiteral("orvel.merid.pdf-range-first"));
    last_->setObjectName(QStringLiteral("orvel.merid.pdf-range-last"));
    firstLabel_->setBuddy(first_);
    lastLabel_->setBuddy(last_);
    pages->addWidget(firstLabel_);
    pages->addWidget(first_);
    pages->addWidget(lastLabel_);
    pages->addWidget(last_);
    pages->addStretch(1);
    stack->addLayout(pages);

    error_ = lessonary::makeLabel(this, lessonary::font(11), true);
    stack->addWidget(error_);

    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    cancel_ = new QPushButton(this);
    cancel_->setAutoDefault(false);
    buttons->addWidget(cancel_);
    import_ = new QPushButton(this);
    import_->setObjectName(QStringLiteral("orvel.merid.pdf-range-import"));
    import_->setAutoDefault(false);
    import_->setDefault(true);
    buttons->addWidget(import_);
    stack->addLayout(buttons);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    connect(import_, &QPushButton::clicked, this, &MeridFormalPDFRangeView::importRange);

    lessonary::follow(this, [this] { retranslate(); }, [this] { restyle(); });
    retranslate();
    restyle();
    showValidity();
}

bool MeridFormalPDFRangeView::isValid(int first, int last, int pageCount) {
    return first >= 1 && last >= first && last <= pageCount && last - first < maximumPages;
}

bool MeridFormalPDFRangeView::isValid() const {
    return isValid(fieldValue(first_), fieldValue(last_), choice_.pageCount);
}

void MeridFormalPDFRangeView::showValidity() {
    const bool valid = isValid();
    error_->setVisible(!valid);
    import_->setEnabled(valid);
    fitHeight();
}

void MeridFormalPDFRangeView::fitHeight() {
    layout()->activate();
    setFixedHeight(layout()->totalHeightForWidth(width));
}

void MeridFormalPDFRangeView::importRange() {
    if (!isValid()) return;
    if (const auto onImport = std::exchange(onImport_, nullptr)) onImport(PageRange{fieldValue(first_), fieldValue(last_)});
    accept();
}

void MeridFormalPDFRangeView::retranslate() {
    title_->setText(UIStrings::text(QStringLiteral("选择 PDF 页码")));
    setWindowTitle(title_->text());
    pageCount_->setText(UIStrings::text(QStringLiteral("共 %1 页 · 单次最多选择 20 页。不会自动将文件上传给 AI。"))
                            .arg(choice_.pageCount));
    firstLabel_->setText(UIStrings::text(QStringLiteral("起始页")));
    lastLabel_->setText(UIStrings::text(QStringLiteral("结束页")));
    error_->setText(UIStrings::text(QStringLiteral("请填写有效范围且单次不超过 20 页。")));
    cancel_->setText(UIStrings::text(QStringLiteral("取消")));
    import_->setText(UIStrings::text(QStringLiteral("导入选中页")));
    fitHeight();
}

void MeridFormalPDFRangeView::restyle() {
    lessonary::setTextColor(error_, SystemColors::orange(lessonary::currentScheme()));
}

}  // namespace velquin
