#include "app/tutor-workspace/merid_formal_pdf_range_view.h"

#include <QLabel>

#include "app/shell/ui_strings.h"
#include "app/tutor-lesson/lessonary_view_support.h"

namespace velquin {

PDFRangeView::Look meridFormalPDFRangeLook() {
    PDFRangeView::Look look;
    look.width = 440;
    look.padding = 20;
    look.rowSpacing = 12;
    look.fieldWidth = 80;
    look.titleFont = lessonary::font(15, QFont::DemiBold);
    look.fileNameFont = lessonary::font(11);
    look.noteFont = lessonary::font(11);
    look.labelFont = lessonary::font(13);
    look.pageCountLine = [](int pageCount) {
        return UIStrings::text(QStringLiteral("共 %1 页 · 单次最多选择 20 页。不会自动将文件上传给 AI。")).arg(pageCount);
    };
    look.error = QStringLiteral("请填写有效范围且单次不超过 20 页。");
    look.importTitle = QStringLiteral("导入选中页");
    look.objectName = QStringLiteral("orvel.merid.pdf-range");
    look.firstFieldName = QStringLiteral("orvel.merid.pdf-range-first");
    look.lastFieldName = QStringLiteral("orvel.merid.pdf-range-last");
    look.importButtonName = QStringLiteral("orvel.merid.pdf-range-import");
    look.restyle = [](PDFRangeView& view) { view.pageCountLine()->setForegroundRole(QPalette::PlaceholderText); };
    return look;
}

}  // namespace velquin
