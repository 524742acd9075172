#include "app/main-window/privacy_disclosure_view.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "app/main-window/account_view_style.h"
#include "app/main-window/home_style.h"
#include "app/shell/symbol_image.h"
#include "app/tutor-lesson/lessonary_view_support.h"

namespace velquin {

namespace {

using account_style::choose;

constexpr int kMargin = 22;
constexpr int kSymbolSize = 21;

struct Section {
    const char* heading;
    const char* body;
};

// The notice itself; a body of several sentences is one paragraph.
constexpr Section kSections[] = {
    {"我们会接触什么",
     "Orvel 在你开启跨应用划词时，使用桌面的辅助功能接口读取所选文字；你也可以主动粘贴文字、导入文档或提取截图中的文字。"
     "请勿选中密码、银行信息或不希望提交的私密内容。"},
    {"什么时候发送至云端", "读取或显示选区不等于提交给 AI。部分文本服务入口可能直接触发发送，请先确认下方授权。"},
    {"发送的内容", "可能包含你提交的文字、选择的任务模式与语言。请勿把未经允许的他人敏感信息交给 AI。"},
    {"学习历史",
     "当前 Linux 客户端将已完成的解释和学习笔记存储在本机专属目录，不读取 Orvel Beta 的记录。"
     "你可以在「学习历史与笔记」里删除单条或清空全部本地记录。发送给 AI 的内容仍可能由处理服务在其保留政策下处理。"},
    {"第三方与跨境处理",
     "AI 请求经 Orvel 服务转发给第三方 AI 服务供应商，数据可能跨境处理。"
     "正式隐私政策必须公布实际服务提供方、适用地区及经核实的保留规则；这些信息在上线前仍需确认。"},
    {"同意与撤回",
     "AI 内容共享由你单独选择；不同意仍可查看本机已有记录、管理账户或修改设置，但不能发送新的 AI 请求。"
     "你可随时在「设置 → 隐私与 AI」撤回，同意撤回后将阻止此设备后续 AI 请求；撤回不会自动删除供应商已处理的数据。"},
    {"联系与更正、删除请求",
     "本地历史可在应用内清理。账户、服务器用量及其他服务端数据的查询、更正或删除渠道尚需在正式发布前核实并公示；"
     "卸载软件不等于自动删除云端账户。"},
};

}  // namespace

PrivacyDisclosureView::PrivacyDisclosureView(QWidget* parent) : QDialog(parent) {
    setMinimumSize(minimum);
    resize(ideal);

    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    stack->setSpacing(12);

    auto* header = new QHBoxLayout();
    header->setSpacing(8);
    symbol_ = new QLabel(this);
    header->addWidget(symbol_);
    title_ = lessonary::makeLabel(this, lessonary::font(home_style::title2, QFont::Bold), false);
    header->addWidget(title_);
    header->addStretch(1);
    close_ = account_style::makeButton(this, QStringLiteral("closeButton"));
    header->addWidget(close_);
    stack->addLayout(header);

    scroll_ = new QScrollArea(this);
    scroll_->setWidgetResizable(true);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    auto* content = new QWidget(scroll_);
    content->setAutoFillBackground(false);
    auto* sections = new QVBoxLayout(content);
    sections->setContentsMargins(0, 0, 8, 0);
    sections->setSpacing(16);
    for (const Section& section : kSections) {
        auto* block = new QVBoxLayout();
        block->setSpacing(5);
        QLabel* heading = lessonary::makeLabel(content, lessonary::font(home_style::headline, QFont::DemiBold), true);
        heading->setText(QString::fromUtf8(section.heading));
        block->addWidget(heading);
        QLabel* body = lessonary::makeLabel(content, lessonary::font(home_style::callout), true);
        body->setText(QString::fromUtf8(section.body));
        body->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        block->addWidget(body);
        sections->addLayout(block);
        headings_.append(heading);
        bodies_.append(body);
    }
    closingNote_ = lessonary::makeLabel(content, lessonary::font(home_style::caption), true);
    sections->addWidget(closingNote_);
    sections->addStretch(1);
    scroll_->setWidget(content);
    scroll_->viewport()->setAutoFillBackground(false);
    stack->addWidget(scroll_, 1);

    connect(close_, &QPushButton::clicked, this, &QDialog::reject);
    lessonary::follow(this, [this] { retranslate(); }, [this] { restyle(); });
    retranslate();
    restyle();
}

void PrivacyDisclosureView::retranslate() {
    title_->setText(choose("Orvel 隐私说明", "Orvel privacy notice", "Confidentialité d’Orvel"));
    setWindowTitle(title_->text());
    account_style::setTitle(close_, choose("关闭", "Close", "Fermer"));
    closingNote_->setText(choose(
        "这份应用内说明描述当前候选版的行为；正式上线前仍须发布完整隐私政策，核实处理方、数据保留期限、联系方式及账号删除流程。",
        "This in-app notice describes the current release candidate. A full privacy policy naming the processors, "
        "retention periods, contact details and the account deletion process must be published before release.",
        "Cette notice décrit la version candidate actuelle. Une politique de confidentialité complète (sous-traitants, "
        "durées de conservation, contact, suppression du compte) doit être publiée avant la sortie."));
}

void PrivacyDisclosureView::restyle() {
    const ColorScheme scheme = home_style::scheme();
    const QColor ink = palette().color(QPalette::WindowText);
    symbol_->setPixmap(SymbolImage::pixmap(QStringLiteral("hand.raised.shield"), QSize(kSymbolSize, kSymbolSize), ink,
                                           devicePixelRatioF()));
    lessonary::setTextColor(closingNote_, home_style::secondary(scheme));
}

}  // namespace velquin
