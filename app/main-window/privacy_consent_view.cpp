#include "app/main-window/privacy_consent_view.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QVBoxLayout>

#include <algorithm>

#include "app/main-window/account_view_style.h"
#include "app/main-window/home_style.h"
#include "app/main-window/privacy_disclosure_view.h"
#include "app/main-window/sheet_binding.h"
#include "app/shell/symbol_image.h"
#include "app/tutor-lesson/lessonary_theme.h"
#include "app/tutor-lesson/lessonary_view_support.h"
#include "core/consent.h"

namespace velquin {

namespace {

using account_style::choose;

constexpr int kMargin = 24;
constexpr int kSymbolSize = 21;

// A check box whose title wraps to the width it is given, the box beside its first line: the
// sheet's least width is narrower than the title on one line in English and French.
class WrappingCheckBox : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override { return std::max(firstLine(), titleRect(width).bottom() + 1); }
    QSize sizeHint() const override {
        const int width = QCheckBox::sizeHint().width();
        return {width, heightForWidth(width)};
    }
    QSize minimumSizeHint() const override {
        int widest = 0;
        for (const QString& word : text().split(u' ', Qt::SkipEmptyParts))
            widest = std::max(widest, fontMetrics().horizontalAdvance(word));
        const int width = indent() + widest;
        return {width, heightForWidth(width)};
    }

protected:
    bool hitButton(const QPoint& point) const override { return rect().contains(point); }
    void paintEvent(QPaintEvent*) override {
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        option.text.clear();
        option.rect.setHeight(firstLine());
        painter.drawControl(QStyle::CE_CheckBox, option);
        painter.drawItemText(titleRect(width()), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, palette(),
                             isEnabled(), text(), QPalette::WindowText);
    }

private:
    int indent() const {
        return style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this) +
               style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, this);
    }
    int firstLine() const {
        return std::max(style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, this), fontMetrics().height());
    }
    QRect titleRect(int width) const {
        const QRect room(indent(), (firstLine() - fontMetrics().height()) / 2, std::max(1, width - indent()),
                         QWIDGETSIZE_MAX);
        return fontMetrics().boundingRect(room, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text());
    }
};

}  // namespace

PrivacyConsentView::PrivacyConsentView(base::DefaultsStore& defaults, QWidget* parent)
    : QDialog(parent), defaults_(defaults) {
    setMinimumWidth(minimumWidth);
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    stack->setSpacing(15);

    auto* header = new QHBoxLayout();
    header->setSpacing(8);
    symbol_ = new QLabel(this);
    header->addWidget(symbol_, 0, Qt::AlignTop);
    title_ = lessonary::makeLabel(this, lessonary::font(home_style::title2, QFont::Bold), true);
    header->addWidget(title_, 1);
    stack->addLayout(header);
    summary_ = lessonary::makeLabel(this, lessonary::font(home_style::body), true);
    stack->addWidget(summary_);
    caution_ = lessonary::makeLabel(this, lessonary::font(home_style::callout), true);
    stack->addWidget(caution_);
    fullNotice_ = account_style::makeButton(this, QStringLiteral("fullNoticeButton"));
    stack->addWidget(fullNotice_, 0, Qt::AlignLeft);
    checked_ = new WrappingCheckBox(this);
    stack->addWidget(checked_);
    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    stack->addWidget(divider);

    auto* buttons = new QHBoxLayout();
    decline_ = account_style::makeButton(this, QStringLiteral("declineButton"));
    buttons->addWidget(decline_);
    buttons->addStretch(1);
    agree_ = account_style::makeButton(this, QStringLiteral("agreeButton"));
    buttons->addWidget(agree_);
    stack->addLayout(buttons);

    // Each showing starts with the box clear.
    agree_->setEnabled(false);
    connect(checked_, &QCheckBox::toggled, agree_, &QPushButton::setEnabled);
    connect(decline_, &QPushButton::clicked, this, &QDialog::reject);
    connect(agree_, &QPushButton::clicked, this, [this] {
        if (!checked_->isChecked()) return;
        tamsel::AIPrivacyConsent::set(true, defaults_);
        accept();
    });
    connect(fullNotice_, &QPushButton::clicked, this,
            [this] { openSheetOverParent(new PrivacyDisclosureView(this)); });

    lessonary::follow(this, [this] { retranslate(); }, [this] { restyle(); });
    retranslate();
    restyle();
    resize(idealWidth, height());
    fitHeight();
}

void PrivacyConsentView::retranslate() {
    title_->setText(choose("发送文字前，请确认隐私说明", "Before sending text, please review the privacy notice",
                           "Avant d’envoyer du texte, consultez la notice de confidentialité"));
    setWindowTitle(title_->text());
    summary_->setText(choose(
        "你主动要求 AI 解释、翻译、回答或教学时，选中的文字和必要上下文将通过 Orvel 服务发送给第三方 AI 服务处理。"
        "AI 老师可能包含你主动导入的笔记。",
        "When you ask the AI to explain, translate, answer or teach, the selected text and the context it needs are "
        "sent through the Orvel service to a third-party AI service. The AI tutor may include notes you imported.",
        "Lorsque vous demandez à l’IA d’expliquer, de traduire, de répondre ou d’enseigner, le texte choisi et le "
        "contexte nécessaire sont envoyés via le service Orvel à un service d’IA tiers. Le tuteur IA peut inclure "
        "des notes que vous avez importées."));
    caution_->setText(choose(
        "跨应用划词需要开启桌面的辅助技术；本机学习历史和账号数据用途不同。请避免提交密码、支付信息或未经授权的敏感材料。",
        "Selecting text in other applications needs the desktop’s assistive technologies. Local learning history "
        "and account data serve different purposes. Do not submit passwords, payment details or sensitive material "
        "you are not allowed to share.",
        "La sélection dans d’autres applications nécessite les technologies d’assistance du bureau. L’historique "
        "local et les données du compte ont des usages distincts. N’envoyez ni mots de passe, ni données de "
        "paiement, ni contenu sensible non autorisé."));
    account_style::setTitle(fullNotice_, choose("阅读完整隐私说明…", "Read the full privacy notice…",
                                                "Lire la notice complète…"));
    checked_->setText(choose("我已阅读并同意上述 AI 内容共享处理",
                             "I have read and agree to sharing content with AI as described above",
                             "J’ai lu et j’accepte le partage de contenu avec l’IA décrit ci-dessus"));
    checked_->setAccessibleName(checked_->text());
    account_style::setTitle(decline_, choose("暂不同意", "Not now", "Pas maintenant"));
    account_style::setTitle(agree_, choose("同意并返回", "Agree and return", "Accepter et revenir"));
    fitHeight();
}

void PrivacyConsentView::restyle() {
    const ColorScheme scheme = home_style::scheme();
    symbol_->setPixmap(SymbolImage::pixmap(QStringLiteral("hand.raised.fill"), QSize(kSymbolSize, kSymbolSize),
                                           palette().color(QPalette::WindowText), devicePixelRatioF()));
    lessonary::setTextColor(caution_, home_style::secondary(scheme));
    home_style::styleProminent(agree_, 5);
}

void PrivacyConsentView::fitHeight() {
    // The texts wrap: the sheet is as high as they need at its width.
    layout()->activate();
    const int needed = layout()->totalHeightForWidth(width());
    setMinimumHeight(needed);
    if (height() != needed) resize(width(), needed);
}

void PrivacyConsentView::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    fitHeight();
}

}  // namespace velquin
