#include "app/main-window/home_page_sheets.h"

#include "app/main-window/application_parts.h"
#include "app/main-window/capture_guide_view.h"
#include "app/main-window/pdf_range_view.h"

namespace velquin {

void addHomePageSheets(ApplicationParts& parts) {
    parts.captureGuideSheet = [](AppStore& store, QWidget* parent) { return new CaptureGuideView(store, parent); };
    parts.pdfRangeSheet = [](AppStore& store, const PDFChoice& choice, QWidget* parent) {
        return PDFRangeView::forStore(store, choice, parent);
    };
}

}  // namespace velquin
