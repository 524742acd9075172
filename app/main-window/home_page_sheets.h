#pragma once

#include "app/tutor-lesson/pdf_range_view.h"

namespace velquin {

struct ApplicationParts;

// Gives the program the home page's sheets: the screen-capture guide and the PDF page-range sheet.
void addHomePageSheets(ApplicationParts& parts);

// The main window's page-range sheet: "提取文字" hands the range to the store's import of the staged
// copy.
PDFRangeView* homePDFRangeView(AppStore& store, const PDFChoice& choice, QWidget* parent);

}  // namespace velquin
