#include "app/main-window/capture_guide_view.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

#include "app/main-window/home_style.h"
#include "app/shell/app_store.h"
#include "app/shell/ui_strings.h"
#include "app/tutor-lesson/lessonary_theme.h"
#include "app/tutor-lesson/lessonary_view_support.h"

namespace velquin {

namespace {

constexpr int kMargin = 28;
constexpr int kSpacing = 16;
constexpr int kStepLineSpacing = 6;
constexpr int kStepCount = 3;

}  // namespace

CaptureGuideView::CaptureGuideView(AppStore& store, QWidget* parent) : QDialog(parent), store_(store) {
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    stack->setSpacing(kSpacing);

    title_ = lessonary::makeLabel(this, lessonary::font(home_style::title2, QFont::Bold), true);
    stack->addWidget(title_);
    intro_ = lessonary::makeLabel(this, lessonary::font(home_style::body), true);
    stack->addWidget(intro_);
    auto* steps = new QVBoxLayout();
    steps->setSpacing(kStepLineSpacing);
    for (int i = 0; i < kStepCount; ++i) {
        QLabel* line = lessonary::makeLabel(this, lessonary::font(home_style::callout), true);
        steps->addWidget(line);
        steps_.append(line);
    }
    stack->addLayout(steps);
    wholePdf_ = lessonary::makeLabel(this, lessonary::font(home_style::callout), true);
    stack->addWidget(wholePdf_);
    clipboardHint_ = lessonary::makeLabel(this, lessonary::font(home_style::caption), true);
    stack->addWidget(clipboardHint_);

    auto* buttons = new QHBoxLayout();
    buttonRow_ = buttons;
    paste_ = new QPushButton(this);
    paste_->setAutoDefault(false);
    buttons->addWidget(paste_);
    buttons->addStretch(1);
    cancel_ = new QPushButton(this);
    cancel_->setAutoDefault(false);
    buttons->addWidget(cancel_);
    capture_ = new QPushButton(this);
    capture_->setAutoDefault(false);
    capture_->setDefault(true);
    buttons->addWidget(capture_);
    stack->addLayout(buttons);

    connect(paste_, &QPushButton::clicked, this, [this] {
        if (store_.isBusy()) return;
        AppStore& store = store_;
        accept();
        store.pasteImage();
    });
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    connect(capture_, &QPushButton::clicked, this, [this] {
        if (store_.isBusy()) return;
        accept();
        // Once the sheet is gone from the screen; the store outlives the sheet.
        QTimer::singleShot(captureDelayMs, &store_, [store = QPointer<AppStore>(&store_)] {
            if (store) store->captureScreenText();
        });
    });

    connect(&store_, &AppStore::isBusyChanged, this, &CaptureGuideView::showBusy);
    lessonary::follow(this, [this] { retranslate(); }, [this] { restyle(); });
    retranslate();
    restyle();
    showBusy();
}

void CaptureGuideView::showBusy() {
    const bool busy = store_.isBusy();
    paste_->setEnabled(!busy);
    capture_->setEnabled(!busy);
}

void CaptureGuideView::retranslate() {
    title_->setText(UIStrings::text(QStringLiteral("读取课件或软件里的字")));
    setWindowTitle(title_->text());
    intro_->setText(UIStrings::text(QStringLiteral("适合 Brightspace 课件阅读器、扫描图片，以及普通软件里无法划选的文字。")));
    // One text of three numbered lines, translated as a whole.
    const QStringList lines =
        UIStrings::text(QStringLiteral("1. 先把要读的内容显示在屏幕上。\n2. 点击开始后，拖动鼠标框选文字区域；按 Esc 取消。\n"
                                       "3. OCR 在本机执行。核对文字后，再选择翻译、讲解或练习题并生成。"))
            .split(u'\n');
    for (qsizetype i = 0; i < steps_.size(); ++i) steps_[i]->setText(lines.value(i));
    wholePdf_->setText(UIStrings::text(
        QStringLiteral("整份 PDF：请先下载，再点“导入文件”选择页码。Word / PowerPoint 可先导出为 PDF。")));
    clipboardHint_->setText(UIStrings::text(
        QStringLiteral("也可以用桌面的截图工具（通常按 Print 键）框选截图并复制到剪贴板，然后点“粘贴图片”。系统限制截图的内容无法识别。")));
    paste_->setText(UIStrings::text(QStringLiteral("粘贴已有截图")));
    cancel_->setText(UIStrings::text(QStringLiteral("取消")));
    capture_->setText(UIStrings::text(QStringLiteral("开始框选截图")));
    fitSize();
}

void CaptureGuideView::restyle() {
    const ColorScheme scheme = home_style::scheme();
    lessonary::setTextColor(intro_, home_style::secondary(scheme));
    lessonary::setTextColor(clipboardHint_, home_style::secondary(scheme));
    home_style::styleProminent(capture_, 5);
    fitSize();
}

void CaptureGuideView::fitSize() {
    // Wider than usual only where the buttons' titles need it (French): a button is never cut.
    buttonRow_->invalidate();  // the titles may have changed since the row last measured them
    const int shownWidth = std::max(width, buttonRow_->sizeHint().width() + 2 * kMargin);
    setFixedWidth(shownWidth);
    home_style::fitHeightToWidth(this, shownWidth);
}

}  // namespace velquin
