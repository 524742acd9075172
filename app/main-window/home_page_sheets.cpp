#include "app/main-window/home_page_sheets.h"

#include <QLabel>
#include <QPushButton>

#include "app/main-window/application_parts.h"
#include "app/main-window/capture_guide_view.h"
#include "app/main-window/home_style.h"
#include "app/shell/ui_strings.h"
#include "app/tutor-lesson/lessonary_view_support.h"

namespace velquin {

namespace {

PDFRangeView::Look homePDFRangeLook() {
    PDFRangeView::Look look;
    look.width = 460;
    look.padding = 28;
    look.rowSpacing = 16;
    look.pageRowSpacing = 12;
    look.fieldWidth = 75;
    look.titleFont = lessonary::font(home_style::title2, QFont::Bold);
    look.fileNameFont = lessonary::font(home_style::callout);
    look.noteFont = lessonary::font(home_style::caption);
    look.labelFont = lessonary::font(home_style::body);
    // The count without grouping, in each language's own wording.
    look.pageCountLine = [](int pageCount) {
        const QString count = QString::number(pageCount);
        return UIStrings::choose(
            QStringLiteral("共 ") + count + QStringLiteral(" 页 · 每次最多提取 20 页；AI 回答单次最多接收 1,500 字符"),
            count + QStringLiteral(" pages · Up to 20 pages per import; AI requests accept up to 1,500 characters"),
            count + QStringLiteral(" pages · 20 pages par import ; 1 500 caractères maximum par requête IA"));
    };
    look.hint = QStringLiteral("扫描页会在本机 OCR。提取完成后可先编辑，再手动发送给模型。");
    look.error = QStringLiteral("请填写有效页码，且一次不超过 20 页。");
    look.importTitle = QStringLiteral("提取文字");
    look.restyle = [](PDFRangeView& view) {
        const ColorScheme scheme = home_style::scheme();
        lessonary::setTextColor(view.pageCountLine(), home_style::secondary(scheme));
        lessonary::setTextColor(view.hintLine(), home_style::secondary(scheme));
        home_style::styleProminent(view.importButton(), 5);
    };
    return look;
}

}  // namespace

PDFRangeView* homePDFRangeView(AppStore& store, const PDFChoice& choice, QWidget* parent) {
    const QUrl staged = choice.url;
    return new PDFRangeView(
        homePDFRangeLook(), choice, [&store, staged](PageRange pages) { store.importFile(staged, pages); }, parent);
}

void addHomePageSheets(ApplicationParts& parts) {
    parts.captureGuideSheet = [](AppStore& store, QWidget* parent) { return new CaptureGuideView(store, parent); };
    parts.pdfRangeSheet = &homePDFRangeView;
}

}  // namespace velquin
